#!/usr/bin/env python3
"""The first start of varnocle.exe under Wine: with no settings the accounts dialog opens;
an account added there (host, user name, password and port typed into the details dialog)
is checked as soon as the user presses "Done", and Exit stores it. Driven from outside by
vtdriver; needs DISPLAY and WINEPREFIX (scripts/lib/display.sh) and root for Dovecot.

  first_start_test.py --exe varnocle.exe --driver vtdriver.exe --mailbox demo_mailbox.py
"""
import argparse
import configparser
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from e2e_test import data_folder, run_against_mailbox, windows_path  # noqa: E402

WM_COMMAND, WM_LBUTTONDOWN, EXIT, CONFIGURE = 0x0111, 0x0201, 40001, 40004
TRAY_MESSAGE, NEW_MAIL_FILL = 0x8002, "5FFF5F"
SKIPPED = 77
ACCOUNTS, DETAILS = "Edit Account Details", "Varnocle"
ADD, EDIT, ACCOUNT_LIST, DONE, OK = 1017, 1020, 1021, 1, 1
HOST, USER, PASSWORD, PORT = 1001, 1002, 1003, 1008


def stored_values(path):
    """The settings file as {section: {key: value}}, with one pair of quotes removed as the
    program's reader does; key names keep their case."""
    parser = configparser.RawConfigParser(strict=False, interpolation=None)
    parser.optionxform = str
    parser.read(path)
    out = {}
    for section in parser.sections():
        values = {}
        for key, value in parser.items(section):
            if len(value) >= 2 and value[0] == value[-1] and value[0] in "\"'":
                value = value[1:-1]
            values[key] = value
        out[section] = values
    return out


def scenario(run, args, root, obfuscate):
    from demo_mailbox import read_env
    env = read_env(root)
    tls = env["TLS_PORT"]
    folder = data_folder()
    shutil.rmtree(folder, ignore_errors=True)
    exe = os.path.abspath(args.exe)
    program = subprocess.Popen(["wine", windows_path(exe)], cwd=os.path.dirname(exe),
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        run.check(run.driver("dialog", ACCOUNTS, "click", ADD)["rc"] == 0,
                  "the first start opens the accounts dialog")
        for item, text in ((HOST, "127.0.0.1"), (USER, "alice"), (PASSWORD, "secret1"),
                           (PORT, tls)):
            run.check(run.driver("dialog", DETAILS, "type", item, text)["rc"] == 0,
                      f"typed {text!r} into item {item}")
        run.driver("dialog", DETAILS, "click", OK)
        time.sleep(1)  # the details dialog closes before "Done" is pressed
        run.driver("dialog", ACCOUNTS, "click", DONE)
        state = run.driver("wait", "lines=1", "timeout=30")
        run.check(state["rc"] == 0, "after Done the window shows one account")
        run.check(run.driver("lines", "3 / 3")["rc"] == 0, "the new account reads 3 / 3")
        run.driver("post", TRAY_MESSAGE, 103, WM_LBUTTONDOWN)
        run.check(run.lines("0 / 3"), "a tray click marks its mail read")
        run.driver("post", WM_COMMAND, EXIT, 0)
        program.wait(timeout=30)
    finally:
        if program.poll() is None:
            program.kill()

    name = "alice - 127.0.0.1"
    stored = stored_values(os.path.join(folder, "varnocle.ini"))
    run.check(stored.get("main", {}).get("accounts") == name, "[main] accounts lists it")
    want = {"server": "127.0.0.1", "username": "alice", "password": obfuscate("secret1"),
            "SSL": "true", "port": tls, "checkmins": "5", "doubleclick": ""}
    got = {key.lower() if key.lower() == "port" else key: value
           for key, value in stored.get(name, {}).items()}
    # Dovecot's certificate is self-signed: the first check trusted it and kept its key.
    pin = got.pop("certpin", "")
    run.check(re.fullmatch(r"[0-9a-f]{64}", pin) is not None,
              f"[{name}] certpin is the key's SHA-256: {pin!r}")
    run.check(got == want, f"[{name}] holds {want}, found {got}")
    options = stored.get("newmail", {})
    run.check(options.get("changecolour") == "true" and
              options.get("newmailcolour") == "95,255,95" and
              options.get("playsound") == "false", f"[newmail] has the defaults: {options}")
    read_state_survives(run, exe, folder)


def restart_reads(run, exe, line, what):
    """Starts the program again and checks that its one account shows line on the normal
    background; returns the pid."""
    started = run.driver("launch", windows_path(exe))
    state = run.driver("wait", "lines=1", f"nofill={NEW_MAIL_FILL}", "timeout=30")
    run.check(state["rc"] == 0 and run.lines(line), f"{what}: {line}, no new mail")
    return started.get("pid", 0)


def read_state_survives(run, exe, folder):
    """What was marked read stays read across restarts, also after the host is edited."""
    pid = restart_reads(run, exe, "0 / 3", "after a restart")
    run.driver("post", WM_COMMAND, CONFIGURE, 0)
    run.driver("dialog", ACCOUNTS, "select", ACCOUNT_LIST, 0)
    run.driver("dialog", ACCOUNTS, "click", EDIT)
    run.driver("dialog", DETAILS, "type", HOST, "localhost")
    run.driver("dialog", DETAILS, "click", OK)
    time.sleep(1)
    run.driver("dialog", ACCOUNTS, "click", DONE)
    run.check(run.lines("0 / 3"), "after editing the host: 0 / 3")
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.check(run.driver("wait-exit", pid)["rc"] == 0, "Exit after the edit")
    stored = stored_values(os.path.join(folder, "varnocle.ini"))
    old, new = "alice - 127.0.0.1", "alice - localhost"
    run.check(new in stored and old not in stored,
              f"[{new}] replaces [{old}]: sections {sorted(stored)}")
    run.check(os.path.exists(os.path.join(folder, new + ".uidl")) and
              not os.path.exists(os.path.join(folder, old + ".uidl")),
              "the seen file moved with the name")
    pid = restart_reads(run, exe, "0 / 3", "after the edit and a restart")
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.driver("wait-exit", pid)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--mailbox", required=True)
    args = parser.parse_args()
    sys.path.insert(0, os.path.dirname(os.path.abspath(args.mailbox)))
    from demo_mailbox import obfuscate
    if os.geteuid() != 0:
        print("first_start_test: Dovecot's mail user needs root", file=sys.stderr)
        return SKIPPED
    return run_against_mailbox(args, ["alice:secret1:3"],
                               lambda run, root: scenario(run, args, root, obfuscate))


if __name__ == "__main__":
    sys.exit(main())
