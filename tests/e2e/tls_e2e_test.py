#!/usr/bin/env python3
"""varnocle.exe under Wine with an old settings file (no "certpin", no "starttls") whose
accounts sit behind the servers and relays of tests/support/tls_peers.py.

The program's own folder holds the test authority's cacert.pem; it is started in another
folder, whose cacert.pem (the intercepting relay's certificate) it must ignore. Six accounts,
one line each:
  alice  Dovecot, self-signed, POP3 over TLS            3 / 3, learns its key's pin
  bob    Dovecot of the test authority, by "localhost"   3 / 3, learns certpin=ca
  carol  Dovecot's plain port that wants STLS first      3 / 3, learns starttls=true and a pin
  user   a server that answers CAPA with -ERR            3 / 3, learns nothing
  dave   starttls=true, behind the STLS-stripping relay  Encryption unavailable
  erin   pinned to Dovecot's key, behind the TLS relay   Certificate not trusted
The learned keys must reach the settings file while the program runs; the relays must see no
password. Needs DISPLAY (Xvfb) and WINEPREFIX (scripts/lib/display.sh), and root.

  tls_e2e_test.py --exe varnocle.exe --driver vtdriver.exe --shots DIR
"""
import argparse
import base64
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
sys.path.insert(0, os.path.join(ROOT, "scripts", "lib"))
from e2e_test import Run, data_folder, post_exit, windows_path  # noqa: E402
import demo_mailbox  # noqa: E402
import tls_peers  # noqa: E402

WM_COMMAND, EXIT, TRAY_MESSAGE, WM_LBUTTONDOWN = 0x0111, 40001, 0x8002, 0x0201
SKIPPED = 77
USERS = ["user", "alice", "bob", "carol", "dave", "erin"]  # "user" first: the CAPA -ERR one
LINES = ["3 / 3"] * 4 + ["Encryption unavailable", "Certificate not trusted"]
# Keys the program had before and must write back unchanged.
KEPT = ("server", "username", "password", "ssl", "port", "checkmins", "doubleclick")


def key_pin(certificate):
    """SHA-256 of the certificate's SubjectPublicKeyInfo, lowercase hex."""
    pem = subprocess.run(["openssl", "x509", "-in", certificate, "-pubkey", "-noout"],
                         check=True, capture_output=True, text=True).stdout
    body = "".join(line for line in pem.splitlines() if not line.startswith("-----"))
    return hashlib.sha256(base64.b64decode(body)).hexdigest()


def accounts(env, pin):
    port = {k: int(env["VARNOCLE_TLS_%s_PORT" % k]) for k in
            ("SELF_TLS", "SIGNED_TLS", "STRICT", "NOCAPA", "STRIP", "MITM")}
    section = demo_mailbox.account_section
    return [section("alice", "secret", port["SELF_TLS"], True),
            section("bob", "secret", port["SIGNED_TLS"], True, server="localhost"),
            section("carol", "secret", port["STRICT"], False,
                    server=env["VARNOCLE_TLS_STRICT_ADDRESS"]),
            section("user", "secret", port["NOCAPA"], False),
            section("dave", "secret", port["STRIP"], False, extra="starttls=true\n"),
            section("erin", "secret", port["MITM"], True, extra=f"certpin={pin}\n")]


def read_sections(path):
    """{section: {key: value}} with lower-case names, values as written."""
    sections, current = {}, None
    for line in open(path, encoding="latin-1").read().splitlines():
        line = line.strip()
        m = re.match(r"\[(.*)\]$", line)
        if m:
            current = sections.setdefault(m.group(1).lower(), {})
        elif current is not None and "=" in line:
            key, _, value = line.partition("=")
            current.setdefault(key.strip().lower(), value.strip())
    return sections


def edit(path, section, key, value):
    """Replaces the value of key in section, as a user editing the file would."""
    lines, current = open(path, encoding="latin-1", newline="").read().split("\n"), None
    for i, line in enumerate(lines):
        m = re.match(r"\s*\[(.*)\]", line)
        if m:
            current = m.group(1).lower()
        elif current == section and line.split("=")[0].strip().lower() == key:
            lines[i] = "%s=%s\r" % (line.split("=")[0], value)
    with open(path, "w", encoding="latin-1", newline="") as f:
        f.write("\n".join(lines))


def wait_for_keys(path, expected, seconds=15):
    """Waits until every (section, key) of expected has its value in the file, None meaning
    absent; returns the sections read last."""
    end = time.time() + seconds
    while True:
        sections = read_sections(path)
        if all(sections.get(s, {}).get(k) == v for (s, k), v in expected.items()):
            return sections
        if time.time() > end:
            return sections
        time.sleep(0.2)


def crop_window(shots, name, state):
    """The floating window alone, cut from a screenshot of the whole screen."""
    whole = os.path.join(shots, name + "-screen.png")
    subprocess.run(["import", "-window", "root", whole], check=True, stdin=subprocess.DEVNULL)
    geometry = "%sx%s+%s+%s" % (state["width"], state["height"], state["left"], state["top"])
    path = os.path.join(shots, name + ".png")
    subprocess.run(["convert", whole, "-crop", geometry, "+repage", path], check=True)
    os.remove(whole)
    print("  screenshot " + path)


def install(env, exe):
    """The program's folder (the program and the test authority's cacert.pem) and another
    one to start it in, whose cacert.pem would make the intercepting relay an authority."""
    program = os.path.join(env["VARNOCLE_TLS_DIR"], "program")
    elsewhere = os.path.join(env["VARNOCLE_TLS_DIR"], "elsewhere")
    os.makedirs(program)
    os.makedirs(elsewhere)
    shutil.copy(exe, os.path.join(program, "varnocle.exe"))
    shutil.copy(env["VARNOCLE_TLS_CACERT"], os.path.join(program, "cacert.pem"))
    shutil.copy(os.path.join(env["VARNOCLE_TLS_DIR"], "mitm-cert.pem"),
                os.path.join(elsewhere, "cacert.pem"))
    return windows_path(os.path.join(program, "varnocle.exe")), windows_path(elsewhere)


def show(run, exe, lines):
    """Starts the program (path, working folder) and waits for the lines; returns its pid."""
    started = time.time()
    launched = run.driver("launch", *exe)
    run.check(launched["rc"] == 0, "the program starts")
    run.driver("wait", f"lines={len(lines)}", "timeout=30")
    run.check(run.lines(*lines, timeout=30), "the lines read " + " | ".join(lines))
    print(f"  statuses after {time.time() - started:.1f} s", flush=True)
    return launched.get("pid", 0)


def leave(run, pid):
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.check(run.driver("wait-exit", pid)["rc"] == 0, "Exit ends the program")


def no_password(run, env, when):
    """Neither relay got a user name or password (the stripping one did get CAPA)."""
    for log in ("VARNOCLE_TLS_MITM_LOG", "VARNOCLE_TLS_STRIP_LOG"):
        sent = open(env[log]).read()
        run.check(not re.search(r"^(USER|PASS)", sent, re.M), f"{when}, {log}: no USER, no PASS")
    run.check("CAPA" in open(env["VARNOCLE_TLS_STRIP_LOG"]).read(),
              f"{when}: the stripping relay saw CAPA")


def differences(sections, expected):
    return [f"[{s}] {k}={sections.get(s, {}).get(k)} (expected {v})"
            for (s, k), v in expected.items() if sections.get(s, {}).get(k) != v]


def scenario(run, args, env):
    pin = key_pin(os.path.join(env["VARNOCLE_TLS_DIR"], "self", "cert.pem"))
    folder = data_folder()
    shutil.rmtree(folder, ignore_errors=True)
    ini = os.path.join(folder, "varnocle.ini")
    sections = accounts(env, pin)
    demo_mailbox.write_settings(ini, sections)
    before = read_sections(ini)
    names = [name.lower() for name, _ in sections]
    alice, bob, carol, user, dave, erin = names
    exe = install(env, args.exe)

    pid = show(run, exe, LINES)
    crop_window(args.shots, "certificate-not-trusted", run.driver("state"))
    # What was learned is in the file while the program still runs; nothing else is.
    learned = {(alice, "certpin"): pin, (bob, "certpin"): "ca", (carol, "certpin"): pin,
               (carol, "starttls"): "true", (user, "certpin"): None, (user, "starttls"): None,
               (dave, "starttls"): "true", (dave, "certpin"): None, (erin, "certpin"): pin,
               (alice, "starttls"): None, (bob, "starttls"): None}
    wrong = differences(wait_for_keys(ini, learned), learned)
    run.check(not wrong, "learned keys stored while running " + " ".join(wrong))
    no_password(run, env, "first start")
    nocapa = open(env["VARNOCLE_TLS_NOCAPA_LOG"]).read()
    run.check(nocapa.startswith("CAPA\nUSER user\nPASS secret\n"),
              "the server without CAPA got a plain login")
    run.driver("post", TRAY_MESSAGE, 103, WM_LBUTTONDOWN)  # all read: the restart shows 0 / 3
    leave(run, pid)

    # Exit writes the old keys back unchanged, next to the learned ones.
    kept = {(n, k): before[n].get(k) for n in names for k in KEPT}
    wrong = differences(read_sections(ini), {**kept, **learned})
    run.check(not wrong, "after Exit the old keys are kept " + " ".join(wrong))

    # Another start on a hostile network: alice's server is now the relay with another key,
    # carol's plain port the relay that hides STLS. The stored keys stop both before USER.
    for log in ("VARNOCLE_TLS_MITM_LOG", "VARNOCLE_TLS_STRIP_LOG"):
        open(env[log], "w").close()
    edit(ini, alice, "port", env["VARNOCLE_TLS_MITM_PORT"])
    edit(ini, carol, "server", "127.0.0.1")
    edit(ini, carol, "port", env["VARNOCLE_TLS_STRIP_PORT"])
    pid = show(run, exe, ["Certificate not trusted", "0 / 3", "Encryption unavailable",
                          "0 / 3", "Encryption unavailable", "Certificate not trusted"])
    no_password(run, env, "after the restart")
    leave(run, pid)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--shots", required=True)
    args = parser.parse_args()
    for name in ("DISPLAY", "WINEPREFIX"):
        if not os.environ.get(name):
            sys.exit(f"{name} is not set: source scripts/lib/display.sh and start_display")
    if not tls_peers.dovecot_binary():
        print("dovecot is not installed: skipped")
        return SKIPPED
    os.makedirs(args.shots, exist_ok=True)
    run = Run(argparse.Namespace(driver=args.driver, shots=args.shots))
    peers = tls_peers.TlsPeers([(u, "secret", 3) for u in USERS])
    started = time.time()
    try:
        scenario(run, args, peers.start())
    finally:
        post_exit(args.driver)
        peers.stop()
    print(f"  {time.time() - started:.1f} s in all")
    return run.verdict()


if __name__ == "__main__":
    sys.exit(main())
