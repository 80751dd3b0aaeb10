#!/usr/bin/env python3
"""Exit of varnocle.exe under Wine while its checks are in flight, many times over.

Each run writes a settings file with several TLS accounts checked with "checkmins" 0 (a
new check starts as soon as one ends), starts the program, waits a random short time,
chooses Exit and waits for the process. A run is abnormal when the exit code is not 0
(a crash or an abort gives another), when the process is still there after --bound
seconds (it is then killed), or when the settings were not saved.

Two servers: a private Dovecot (--runs), and one that accepts connections and never
answers (--stalled-runs), which shows that Exit does not wait for a server.
Needs DISPLAY and WINEPREFIX (scripts/lib/display.sh) and root for Dovecot.

  exit_stress.py --exe varnocle.exe --driver vtdriver.exe --mailbox demo_mailbox.py \\
                 [--runs 200] [--stalled-runs 20] [--accounts 4] [--seed N]
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
from e2e_test import data_folder, windows_path  # noqa: E402

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


def write_settings(folder, users, port):
    from demo_mailbox import account_section, write_settings as write
    sections = []
    for user, password in users:
        name, lines = account_section(user, password, port, True)
        sections.append((name, lines.replace("checkmins=5", "checkmins=0")))
    shutil.rmtree(folder, ignore_errors=True)
    path = os.path.join(folder, "varnocle.ini")
    write(path, sections)
    return path


def driver(args, *words, timeout=60):
    with tempfile.TemporaryFile("w+") as out:
        r = subprocess.run(["wine", args.driver, *map(str, words)], stdout=out,
                           stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        return r.returncode, out.read().strip()


def one_exit(args, settings, pause):
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
        with open(settings) as f:
            if "[position]" not in f.read().replace("[Position]", "[position]"):
                return "settings not saved", took
        return "ok", took
    finally:
        if program.poll() is None:
            program.kill()  # only the program this run started, by its own pid
            program.wait()


def series(args, name, runs, users, port):
    folder = data_folder()
    abnormal = []
    times = []
    for i in range(runs):
        settings = write_settings(folder, users, port)
        pause = random.choice([0.0, random.uniform(0.05, 0.4), random.uniform(0.4, 1.5)])
        verdict, took = one_exit(args, settings, pause)
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
    for name in ("DISPLAY", "WINEPREFIX"):
        if not os.environ.get(name):
            sys.exit(f"{name} is not set: source scripts/lib/display.sh and start_display")
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
            port = int(read_env(root)["TLS_PORT"])
            abnormal += series(args, "dovecot", args.runs, users, port)
        finally:
            subprocess.run([sys.executable, args.mailbox, "stop", root],
                           stdin=subprocess.DEVNULL)
            shutil.rmtree(base, ignore_errors=True)

    if args.stalled_runs:
        stalled = StalledServer()
        try:
            abnormal += series(args, "stalled server", args.stalled_runs, users, stalled.port)
        finally:
            stalled.close()
    return 1 if abnormal else 0


if __name__ == "__main__":
    sys.exit(main())
