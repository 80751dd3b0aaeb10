#!/usr/bin/env python3
"""The first start of varnocle.exe under Wine: with no settings the accounts dialog opens;
an account added there (host, user name, password and port typed into the details dialog)
is checked as soon as the user presses "Done", and Exit stores it. Later an account typed in
letters beyond ASCII (user name, UTF-8 password, mail program and sound file paths) logs in,
plays its sound and opens its mail program. All of it runs for a Windows user whose roaming
folder is named in such letters. Driven from outside by vtdriver; needs DISPLAY and
WINEPREFIX (scripts/lib/display.sh) and root for Dovecot.

  first_start_test.py --exe varnocle.exe --driver vtdriver.exe --mailbox demo_mailbox.py
"""
import argparse
import configparser
import contextlib
import os
import re
import shutil
import subprocess
import sys
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from e2e_test import run_against_mailbox, waited, windows_path  # noqa: E402

WM_COMMAND, WM_LBUTTONDOWN, WM_LBUTTONDBLCLK = 0x0111, 0x0201, 0x0203
EXIT, CONFIGURE = 40001, 40004
TRAY_MESSAGE, NEW_MAIL_FILL = 0x8002, "5FFF5F"
SKIPPED = 77
ACCOUNTS, DETAILS = "Edit Account Details", "Varnocle"
ADD, EDIT, ACCOUNT_LIST, DONE, OK = 1017, 1020, 1021, 1, 1
HOST, USER, PASSWORD, MAIL_PROGRAM, PORT = 1001, 1002, 1003, 1004, 1008
SOUND_FILE, PLAY_SOUND = 1009, 1013
# No legacy code page holds both names: only UTF-8 keeps them.
HOME = "C:\\users\\Jörg Пётр"
JOSE, JOSE_PASSWORD = "josé", "пароль-pässwörd"


def stored_values(path):
    """The settings file as {section: {key: value}}, with one pair of quotes removed as the
    program's reader does; key names keep their case."""
    parser = configparser.RawConfigParser(strict=False, interpolation=None)
    parser.optionxform = str
    parser.read(path, encoding="utf-8")
    out = {}
    for section in parser.sections():
        values = {}
        for key, value in parser.items(section):
            if len(value) >= 2 and value[0] == value[-1] and value[0] in "\"'":
                value = value[1:-1]
            values[key] = value
        out[section] = values
    return out


def prefix_path(windows):
    """The Linux path of a path on the prefix's drive C:."""
    return os.path.join(os.environ["WINEPREFIX"], "drive_c", *windows[3:].split("\\"))


@contextlib.contextmanager
def roaming_folder(home):
    """Makes home\\AppData\\Roaming the roaming application-data folder of the prefix's user
    for the block, as it is for a Windows user of that name, and yields the program's data
    folder in it. Wine ignores a folder that does not exist, so it is made first."""
    key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
    roaming = home + "\\AppData\\Roaming"

    def point_at(value):
        subprocess.run(["wine", "reg", "add", key, "/v", "AppData", "/t", "REG_EXPAND_SZ",
                        "/d", value, "/f"], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    os.makedirs(prefix_path(roaming), exist_ok=True)
    try:
        point_at(roaming)
        yield os.path.join(prefix_path(roaming), "varnocle")
    finally:
        point_at(r"%USERPROFILE%\AppData\Roaming")  # Wine's own value
        shutil.rmtree(prefix_path(home), ignore_errors=True)


def fill_in(run, *fields):
    """Types (item, text) pairs into the open details dialog, presses OK, then "Done"."""
    for item, text in fields:
        run.check(run.driver("dialog", DETAILS, "type", item, text)["rc"] == 0,
                  f"typed {text!r} into item {item}")
    run.driver("dialog", DETAILS, "click", OK)
    time.sleep(1)  # the details dialog closes before "Done" is pressed
    run.driver("dialog", ACCOUNTS, "click", DONE)


def scenario(run, args, root, folder):
    from demo_mailbox import read_env, stored_password
    env = read_env(root)
    tls = env["TLS_PORT"]
    shutil.rmtree(folder, ignore_errors=True)
    exe = os.path.abspath(args.exe)
    program = subprocess.Popen(["wine", windows_path(exe)], cwd=os.path.dirname(exe),
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        run.check(run.driver("dialog", ACCOUNTS, "click", ADD)["rc"] == 0,
                  "the first start opens the accounts dialog")
        fill_in(run, (HOST, "127.0.0.1"), (USER, "alice"), (PASSWORD, "secret1"), (PORT, tls))
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
    want = {"server": "127.0.0.1", "username": "alice", "password": stored_password("secret1"),
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
    beyond_ascii(run, args, folder, tls, stored_password)


def restart_reads(run, exe, what, *lines):
    """Starts the program again and checks that its accounts show lines on the normal
    background; returns the pid."""
    started = run.driver("launch", windows_path(exe))
    state = run.driver("wait", f"lines={len(lines)}", f"nofill={NEW_MAIL_FILL}", "timeout=30")
    run.check(state["rc"] == 0 and run.lines(*lines), f"{what}: {' | '.join(lines)}, no new mail")
    return started.get("pid", 0)


def read_state_survives(run, exe, folder):
    """What was marked read stays read across restarts, also after the host is edited."""
    pid = restart_reads(run, exe, "after a restart", "0 / 3")
    run.driver("post", WM_COMMAND, CONFIGURE, 0)
    run.driver("dialog", ACCOUNTS, "select", ACCOUNT_LIST, 0)
    run.driver("dialog", ACCOUNTS, "click", EDIT)
    fill_in(run, (HOST, "localhost"))
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
    pid = restart_reads(run, exe, "after the edit and a restart", "0 / 3")
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.driver("wait-exit", pid)


def beyond_ascii(run, args, folder, tls, stored_password):
    """An account typed in letters beyond ASCII: user name, a UTF-8 password, a mail program
    and a sound file in folders so named. The check logs in and counts the mail, the sound
    file is played, a double click starts the mail program, and all of it is stored whole."""
    exe = os.path.abspath(args.exe)
    program, sound = HOME + "\\Почта\\почта.exe", HOME + "\\Klänge\\neue Post.wav"
    for path in (program, sound):
        os.makedirs(os.path.dirname(prefix_path(path)), exist_ok=True)
    shutil.copy(args.driver, prefix_path(program))  # started without words, it leaves a mark
    with wave.open(prefix_path(sound), "wb") as w:
        w.setparams((1, 1, 8000, 0, "NONE", "not compressed"))
        w.writeframes(b"\x80" * 800)  # a tenth of a second of silence
    # Read at all, the file's access time moves past its modification time (relatime, the
    # default mount option).
    mtime = os.stat(prefix_path(sound)).st_mtime
    os.utime(prefix_path(sound), (mtime - 3600, mtime))

    pid = restart_reads(run, exe, "before the account is added", "0 / 3")
    run.driver("post", WM_COMMAND, CONFIGURE, 0)
    run.check(run.driver("dialog", ACCOUNTS, "type", SOUND_FILE, sound)["rc"] == 0,
              f"typed the sound file {sound}")
    run.driver("dialog", ACCOUNTS, "click", PLAY_SOUND)
    run.driver("dialog", ACCOUNTS, "click", ADD)
    fill_in(run, (HOST, "127.0.0.1"), (USER, JOSE), (PASSWORD, JOSE_PASSWORD), (PORT, tls),
            (MAIL_PROGRAM, program))
    run.check(run.lines("0 / 3", "2 / 2"), f"{JOSE} logs in with {JOSE_PASSWORD!r}: 2 / 2")
    run.check(waited(lambda: os.stat(prefix_path(sound)).st_atime > mtime),
              "the new mail plays the sound file")
    run.driver("post", WM_LBUTTONDBLCLK, 0, 0)
    run.check(waited(lambda: os.path.exists(prefix_path(program) + ".opened")),
              "a double click starts the mail program")
    run.check(run.lines("0 / 3", "0 / 2"), "and marks the mail read")
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.check(run.driver("wait-exit", pid)["rc"] == 0, "Exit")

    stored = stored_values(os.path.join(folder, "varnocle.ini"))
    account = stored.get(f"{JOSE} - 127.0.0.1", {})
    want = {"username": JOSE, "password": stored_password(JOSE_PASSWORD), "doubleclick": program}
    got = {key: account.get(key) for key in want}
    run.check(got == want, f"stored whole: {got}")
    options = stored.get("newmail", {})
    run.check(options.get("customsound") == sound and options.get("playsound") == "true",
              f"[newmail] keeps the sound file: {options}")
    pid = restart_reads(run, exe, "read back after a restart", "0 / 3", "0 / 2")
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.driver("wait-exit", pid)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--mailbox", required=True)
    args = parser.parse_args()
    sys.path.insert(0, os.path.dirname(os.path.abspath(args.mailbox)))
    if os.geteuid() != 0:
        print("first_start_test: Dovecot's mail user needs root", file=sys.stderr)
        return SKIPPED
    with roaming_folder(HOME) as folder:
        return run_against_mailbox(args, ["alice:secret1:3", f"{JOSE}:{JOSE_PASSWORD}:2"],
                                   lambda run, root: scenario(run, args, root, folder))


if __name__ == "__main__":
    sys.exit(main())
