#!/usr/bin/env python3
"""Exit of varnocle.exe under Wine while its checks are in flight, many times over.

Each run writes a settings file with several TLS accounts checked with "checkmins" 0 (a
new check starts as soon as one ends) and a seen file per account, starts the program,
waits a random short time, chooses Exit and waits for the process. A run is abnormal when
the exit code is not 0 (a crash or an abort gives another), when the process is still there
after --bound seconds (it is then killed), or when what was stored is not whole: the
window's position, the account list, every account's server, user name and password, and
every seen file with exactly the identifiers it had (all of them are still on the server,
and nothing is marked read meanwhile).

Two servers: a private Dovecot (--runs), and one that accepts connections and never
answers (--stalled-runs), which shows that Exit does not wait for a server.
Needs DISPLAY (scripts/lib/display.sh) and root for Dovecot. It wipes the program's data
folder in WINEPREFIX: run it through scripts/test-env, which points that at the tests' own
prefix (ctest does).

  scripts/test-env exit_stress.py --exe varnocle.exe --driver vtdriver.exe \\
                 --mailbox demo_mailbox.py [--runs 200] [--stalled-runs 20] [--accounts 4] [--seed N]
"""
import argparse
import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from e2e_test import data_folder, server_uidls, windows_path  # noqa: E402
from first_start_test import stored_values  # noqa: E402

WM_COMMAND, EXIT = 0x0111, 40001
SKIPPED = 77


class StalledServer:
    """Accepts every connection and keeps it open without a word, until closed."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        self.held = []
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            self.held.append(connection)

    def close(self):
        self.listener.close()
        for connection in self.held:
            connection.close()


def write_settings(folder, users, port, seen):
    """The settings file and the seen files of the accounts; returns what a whole store
    holds: {section: ((server, user name, stored password), seen identifiers)}."""
    from demo_mailbox import account_section, stored_password, write_settings as write
    sections, stored = [], {}
    for user, password in users:
        name, lines = account_section(user, password, port, True)
        sections.append((name, lines.replace("checkmins=5", "checkmins=0")))
        stored[name] = (("127.0.0.1", user, stored_password(password)), sorted(seen[user]))
    shutil.rmtree(folder, ignore_errors=True)
    write(os.path.join(folder, "varnocle.ini"), sections)
    for name, (_, uidls) in stored.items():
        with open(os.path.join(folder, name + ".uidl"), "w") as f:
            f.write("".join(u + "\n" for u in uidls))
    return stored


def stored_whole(folder, expected):
    """What is wrong with the store after an exit, or None when it is whole."""
    ini = stored_values(os.path.join(folder, "varnocle.ini"))
    listed = ini.get("main", {}).get("accounts")
    if "position" not in ini or listed != ",".join(expected):
        return f"settings not saved whole: position {ini.get('position')}, accounts {listed!r}"
    for name, (account, uidls) in expected.items():
        got = tuple(ini.get(name, {}).get(key) for key in ("server", "username", "password"))
        if got != account:
            return f"section {name!r}: {got}"
        path = os.path.join(folder, name + ".uidl")
        lines = sorted(open(path).read().splitlines()) if os.path.exists(path) else None
        if lines != uidls:
            return f"seen file of {name!r}: {lines and len(lines)} of {len(uidls)} identifiers"
    left = [n for n in os.listdir(folder) if not n.endswith((".ini", ".uidl"))]
    return f"left behind: {left}" if left else None


def driver(args, *words, timeout=60):
    with tempfile.TemporaryFile("w+") as out:
        r = subprocess.run(["wine", args.driver, *map(str, words)], stdout=out,
                           stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        return r.returncode, out.read().strip()


def one_exit(args, folder, expected, pause):
    """Starts the program, waits pause seconds after its window appears, chooses Exit.
    Returns (verdict, seconds from Exit to the end of the process); verdict "ok" or what
    went wrong."""
    exe = os.path.abspath(args.exe)
    program = subprocess.Popen(["wine", windows_path(exe)], cwd=os.path.dirname(exe),
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        rc, text = driver(args, "wait", "timeout=30")
        if rc != 0:
            return f"no window ({text})", 0.0
        time.sleep(pause)
        driver(args, "post", WM_COMMAND, EXIT, 0)
        asked = time.time()
        try:
            code = program.wait(timeout=args.bound)
        except subprocess.TimeoutExpired:
            return f"still running {args.bound} s after Exit", time.time() - asked
        took = time.time() - asked
        if code != 0:
            return f"exit code {code}", took
        return stored_whole(folder, expected) or "ok", took
    finally:
        if program.poll() is None:
            program.kill()  # only the program this run started, by its own pid
            program.wait()


def series(args, name, runs, users, port, seen):
    folder = data_folder()
    abnormal = []
    times = []
    for i in range(runs):
        expected = write_settings(folder, users, port, seen)
        pause = random.choice([0.0, random.uniform(0.05, 0.4), random.uniform(0.4, 1.5)])
        verdict, took = one_exit(args, folder, expected, pause)
        times.append(took)
        if verdict != "ok":
            abnormal.append((i, pause, verdict))
            print(f"  {name} run {i}: after {pause:.2f} s: {verdict}", flush=True)
        elif (i + 1) % 25 == 0:
            print(f"  {name}: {i + 1} runs", flush=True)
    times.sort()
    median = times[len(times) // 2] if times else 0
    print(f"{name}: {runs} exits, {len(abnormal)} abnormal; Exit to end of process: median "
          f"{median:.2f} s, longest {times[-1] if times else 0:.2f} s", flush=True)
    return len(abnormal)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--mailbox", required=True)
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--stalled-runs", type=int, default=20)
    parser.add_argument("--accounts", type=int, default=4)
    parser.add_argument("--bound", type=float, default=15.0, help="seconds Exit may take")
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("DISPLAY is not set: source scripts/lib/display.sh and start_display")
    if not os.environ.get("WINEPREFIX"):
        sys.exit("WINEPREFIX is not set: run this through scripts/test-env")
    sys.path.insert(0, os.path.dirname(os.path.abspath(args.mailbox)))
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    random.seed(seed)
    print(f"seed {seed}", flush=True)
    users = [(f"user{i}", f"secret{i}") for i in range(args.accounts)]
    abnormal = 0

    if args.runs:
        if os.geteuid() != 0:
            print("exit_stress: Dovecot's mail user needs root", file=sys.stderr)
            return SKIPPED
        base = tempfile.mkdtemp(prefix="vt-exit-")
        os.chmod(base, 0o755)  # Dovecot's mail processes run as "nobody"
        root = os.path.join(base, "dovecot")
        try:
            command = [sys.executable, args.mailbox, "start", root]
            for user, password in users:
                command += ["--user", f"{user}:{password}:20"]
            subprocess.run(command, check=True, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL)
            from demo_mailbox import read_env
            env = read_env(root)
            # Half of each mailbox already read: a check keeps those identifiers.
            seen = {user: server_uidls(int(env["PLAIN_PORT"]), user, password)[::2]
                    for user, password in users}
            abnormal += series(args, "dovecot", args.runs, users, int(env["TLS_PORT"]), seen)
        finally:
            subprocess.run([sys.executable, args.mailbox, "stop", root],
                           stdin=subprocess.DEVNULL)
            shutil.rmtree(base, ignore_errors=True)

    if args.stalled_runs:
        stalled = StalledServer()
        try:
            seen = {user: [f"{user}-{k}" for k in range(10)] for user, _ in users}
            abnormal += series(args, "stalled server", args.stalled_runs, users, stalled.port,
                               seen)
        finally:
            stalled.close()
    return 1 if abnormal else 0


if __name__ == "__main__":
    sys.exit(main())
