#!/usr/bin/env python3
"""varnocle.exe under Wine against a Dovecot of its own, watched from outside.

One account (alice, over TLS) has 3 messages; a second one (bob) has a wrong password.
The run checks what a user sees (window size and colour, the tray's icon and its new-mail
notification, from vtdriver and from screenshots of the whole screen), what a click on the
notification starts, and what the program stores when it exits.
Needs DISPLAY (Xvfb) and WINEPREFIX, as scripts/lib/display.sh sets them; root, for
Dovecot's mail user.

  e2e_test.py --exe varnocle.exe --driver vtdriver.exe --mailbox demo_mailbox.py --shots DIR
"""
import argparse
import glob
import os
import poplib
import re
import shutil
import subprocess
import sys
import tempfile
import time

NEW_MAIL_FILL = "5FFF5F"  # the default new-mail colour, 95,255,95
NORMAL_FILL = "FFFFFF"  # COLOR_WINDOW in a fresh prefix
TRAY_GREEN = "00FF00"  # the flap of icon 104
WM_COMMAND, WM_LBUTTONDOWN = 0x0111, 0x0201
WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC = 0x0218, 0x12
TRAY_MESSAGE, EXIT, CHECK_NOW = 0x8002, 40001, 40003
BALLOON_CLICK = 0x405  # NIN_BALLOONUSERCLICK, as the shell reports a click on the notification


class Run:
    def __init__(self, args):
        self.args = args
        self.failures = []
        self.shots = args.shots
        os.makedirs(self.shots, exist_ok=True)

    def check(self, ok, what):
        print(("ok   " if ok else "FAIL ") + what, flush=True)
        if not ok:
            self.failures.append(what)
        return ok

    def driver(self, *words, timeout=60):
        # Output goes to a file, not a pipe: a program that vtdriver launches may inherit the
        # handle, and a pipe would then stay open as long as that program runs.
        with tempfile.TemporaryFile("w+", encoding="utf-8", errors="replace") as out:
            r = subprocess.run(["wine", self.args.driver, *map(str, words)], stdout=out,
                               stderr=subprocess.DEVNULL, timeout=timeout,
                               stdin=subprocess.DEVNULL)
            out.seek(0)
            text = out.read().strip()
        print(f"  vtdriver {' '.join(map(str, words))}: {text}", flush=True)
        fields = dict(re.findall(r"(\w+)=(\S+)", text))
        fields["rc"] = r.returncode
        fields["output"] = text
        return fields

    def verdict(self):
        """The exit status of a scenario run: 0 when every check held."""
        if self.failures:
            print(f"{len(self.failures)} check(s) failed")
            return 1
        print("all checks passed")
        return 0

    def balloon(self, unwanted=None, timeout=20):
        """The title and text (line ends as "\\n") of the notification balloon shown, waited
        for; one whose text is unwanted does not count. None when none came."""
        found = {}

        def came():
            out = self.driver("balloon", f"timeout={timeout}")["output"]
            found.clear()
            found.update(line.split(": ", 1) for line in out.splitlines() if ": " in line)
            return found.get("text", unwanted) != unwanted

        return found if waited(came, timeout) else None

    def lines(self, *lines, timeout=20):
        """Waits until the window shows exactly these lines; True when it did."""
        return waited(lambda: self.driver("lines", *lines)["rc"] == 0, timeout)

    def screenshot(self, name, state):
        """Saves the whole screen and returns the colour of the window's inside and the
        number of pure green pixels in the notification area, both read from the file."""
        path = os.path.join(self.shots, name + ".png")
        subprocess.run(["import", "-window", "root", path], check=True,
                       stdin=subprocess.DEVNULL)
        x, y = int(state["left"]) + 3, int(state["top"]) + 3
        pixel = subprocess.run(["convert", path, "-format", f"%[hex:p{{{x},{y}}}]", "info:-"],
                               capture_output=True, text=True).stdout.strip()[:6]
        tray = self.driver("tray")
        green = 0
        if tray.get("tray") == "1":
            crop = f"{tray['width']}x{tray['height']}+{tray['left']}+{tray['top']}"
            histogram = subprocess.run(["convert", path, "-crop", crop, "-format", "%c",
                                        "histogram:info:-"], capture_output=True,
                                       text=True).stdout
            for line in histogram.splitlines():
                m = re.match(r"\s*(\d+):.*#00FF00\b", line)
                if m:
                    green += int(m.group(1))
        print(f"  screenshot {path}: window inside #{pixel}, tray green pixels {green}")
        return pixel.upper(), green


def waited(condition, seconds=20):
    """Waits until condition() holds; True when it did in time."""
    end = time.time() + seconds
    while not condition():
        if time.time() > end:
            return False
        time.sleep(0.2)
    return True


def post_exit(driver):
    """Asks the running program to exit, as its menu's Exit does."""
    subprocess.run(["wine", driver, "post", hex(WM_COMMAND), str(EXIT), "0"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)


def data_folder():
    prefix = os.environ["WINEPREFIX"]
    roaming = [p for p in glob.glob(os.path.join(prefix, "drive_c/users/*/AppData/Roaming"))
               if "/Public/" not in p]
    if not roaming:
        sys.exit("no roaming application-data folder in " + prefix)
    return os.path.join(roaming[0], "varnocle")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def server_uidls(port, user, password):
    pop = poplib.POP3("127.0.0.1", port, timeout=10)
    try:
        pop.user(user)
        pop.pass_(password)
        return sorted(line.split()[1].decode() for line in pop.uidl()[1])
    finally:
        pop.quit()


def write_settings(folder, plain, tls, program):
    from demo_mailbox import account_section, write_settings as write
    alice = account_section("alice", "secret1", tls, True, doubleclick=program)
    bob = account_section("bob", "wrong", plain, False)
    write(os.path.join(folder, "varnocle.ini"), [alice, bob])
    return os.path.join(folder, alice[0] + ".uidl")


def scenario(run, args, root):
    from demo_mailbox import read_env
    env = read_env(root)
    plain, tls = int(env["PLAIN_PORT"]), int(env["TLS_PORT"])
    folder = data_folder()
    shutil.rmtree(folder, ignore_errors=True)
    # alice's mail program: vtdriver, which leaves a mark beside itself when it starts.
    program = os.path.join(root, "..", "mail-program.exe")
    shutil.copy(args.driver, program)
    clicked = program + ".opened"
    uidl_file = write_settings(folder, plain, tls, windows_path(program))
    exe = windows_path(args.exe)
    lines = ["3 / 3", "Bad username/password"]

    # First start: both accounts report, alice's 3 messages are new.
    started = run.driver("launch", exe)
    run.check(started["rc"] == 0, f"first status line after {started.get('first_refresh_ms')} ms")
    state = run.driver("wait", "lines=2", f"fill={NEW_MAIL_FILL}", "timeout=30")
    run.check(state["rc"] == 0, "two lines on the new-mail colour")
    run.check(run.lines(*lines), "the lines read " + " | ".join(lines))
    run.check(int(run.driver("tray-colour", TRAY_GREEN).get("count", 0)) > 0,
              "the tray shows the green icon")
    pixel, green = run.screenshot("1-first-check", state)
    run.check(pixel == NEW_MAIL_FILL and green > 0, "screenshot: green window and green icon")
    # One notification names the three messages.
    shown = run.balloon()
    run.check(shown and shown["title"] == "New mail for alice - 127.0.0.1",
              "the notification is titled for alice")
    run.check(shown and re.fullmatch(r"(Demo Sender: Demo message \S+\\n){2}"
                                     r"Demo Sender: Demo message \S+", shown["text"]),
              "the notification names three senders and subjects")

    # A single click on the tray icon marks everything read.
    run.driver("post", TRAY_MESSAGE, 103, WM_LBUTTONDOWN)
    state = run.driver("wait", "lines=2", f"fill={NORMAL_FILL}")
    run.check(state["rc"] == 0, "after a tray click the window is back to normal")
    run.check(run.lines("0 / 3", lines[1]), "alice shows 0 / 3")
    run.check(int(run.driver("tray-colour", TRAY_GREEN).get("count", 1)) == 0,
              "the tray icon is no longer green")
    pixel, green = run.screenshot("2-after-mark-as-read", state)
    run.check(pixel == NORMAL_FILL and green == 0, "screenshot: normal window, plain icon")

    # Exit stores the settings and the three seen identifiers.
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.check(run.driver("wait-exit", started.get("pid", 0))["rc"] == 0, "Exit ends the program")
    settings = open(os.path.join(folder, "varnocle.ini")).read()
    run.check("[position]" in settings.replace("[Position]", "[position]"),
              "the position is saved")
    expected = server_uidls(plain, "alice", "secret1")
    seen = sorted(open(uidl_file).read().split()) if os.path.exists(uidl_file) else []
    run.check(len(expected) == 3 and seen == expected, f"the seen file holds {expected}")

    # A restart shows 0 / 3 and signals nothing.
    started = run.driver("launch", exe)
    state = run.driver("wait", "lines=2", f"fill={NORMAL_FILL}", "timeout=30")
    run.check(run.lines("0 / 3", lines[1]), "after a restart: 0 / 3")
    run.check(int(run.driver("tray-colour", TRAY_GREEN).get("count", 1)) == 0,
              "after a restart: no green icon")
    run.screenshot("3-restart", run.driver("state"))

    # A fourth message, its headers encoded, and check-now: new mail again.
    subprocess.run([sys.executable, args.mailbox, "add", root, "alice", "1",
                    "--from", "=?UTF-8?B?w5xsaQ==?= <uli@example.org>",
                    "--subject", "=?ISO-8859-1?Q?Caf=E9_at_noon?="], check=True)
    run.driver("post", WM_COMMAND, CHECK_NOW, 0)
    state = run.driver("wait", "lines=2", f"fill={NEW_MAIL_FILL}", "timeout=15")
    run.check(state["rc"] == 0, "check-now finds the fourth message")
    run.check(run.lines("1 / 4", lines[1]), "alice shows 1 / 4")
    pixel, green = run.screenshot("4-new-mail-again", state)
    run.check(pixel == NEW_MAIL_FILL and green > 0, "screenshot: green again")
    shown = run.balloon(unwanted=shown and shown["text"])
    run.check(shown and shown["text"] == "Üli: Café at noon",
              "the notification decodes the sender and subject")

    # A click on the notification starts alice's mail program and marks the mail read.
    run.driver("post", TRAY_MESSAGE, 103, BALLOON_CLICK)
    run.check(waited(lambda: os.path.exists(clicked)),
              "a click on the notification starts the mail program")
    run.check(run.driver("wait", "lines=2", f"fill={NORMAL_FILL}")["rc"] == 0,
              "after the click the window is back to normal")

    # A fifth message, and the system says it has woken from sleep: checked at once, not
    # at the end of the five minutes.
    subprocess.run([sys.executable, args.mailbox, "add", root, "alice", "1"], check=True)
    run.driver("post", WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0)
    run.check(run.lines("1 / 5", lines[1], timeout=10), "a resume finds the fifth message")
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.check(run.driver("wait-exit", started.get("pid", 0))["rc"] == 0, "second Exit")


def run_against_mailbox(args, users, scenario, shots=None):
    """Starts a private Dovecot with users ["name:password:count"], runs
    scenario(run, root) against it, and always asks the program to exit and stops the
    server. Returns the exit code of the test."""
    for name in ("DISPLAY", "WINEPREFIX"):
        if not os.environ.get(name):
            sys.exit(f"{name} is not set: source scripts/lib/display.sh and start_display")
    base = tempfile.mkdtemp(prefix="vt-e2e-")
    os.chmod(base, 0o755)  # Dovecot's mail processes run as "nobody"
    root = os.path.join(base, "dovecot")
    run = Run(argparse.Namespace(driver=args.driver, shots=shots or os.path.join(base, "shots")))
    try:
        command = [sys.executable, args.mailbox, "start", root]
        for user in users:
            command += ["--user", user]
        subprocess.run(command, check=True, stdin=subprocess.DEVNULL)
        scenario(run, root)
    finally:
        post_exit(args.driver)
        subprocess.run([sys.executable, args.mailbox, "stop", root], stdin=subprocess.DEVNULL)
        shutil.rmtree(base, ignore_errors=True)
    return run.verdict()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--mailbox", required=True)
    parser.add_argument("--shots", required=True)
    args = parser.parse_args()
    sys.path.insert(0, os.path.dirname(os.path.abspath(args.mailbox)))
    return run_against_mailbox(args, ["alice:secret1:3", "bob:right:0"],
                               lambda run, root: scenario(run, args, root), shots=args.shots)


if __name__ == "__main__":
    sys.exit(main())
