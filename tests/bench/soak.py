#!/usr/bin/env python3
"""Soak benchmark, not a test: varnocle.exe under Wine with ACCOUNTS accounts at "checkmins" 0
(a check right after another) against a private Dovecot, for MINUTES minutes. Prints, every
EVERY checks, the program's resident and anonymous resident memory (the Wine process's VmRSS
and RssAnon), and its private bytes, GDI and USER objects and kernel handles as Windows reports
them (proc_counters.exe; Wine reports 0 for these of another process), then the growth per
10,000 checks after the first 1,000.

    source scripts/lib/display.sh && start_display
    scripts/test-env python3 tests/bench/soak.py --exe build/windows-release/src/app/varnocle.exe \\
        --counters build/windows/tests/bench/proc_counters.exe \\
        --driver build/windows/tests/e2e/vtdriver.exe [--accounts 1] [--minutes 20] \\
        [--every 10000] [--messages 1000] [--hidden]
    stop_display

Runs in the tests' Wine prefix (scripts/test-env), whose program settings it replaces. Needs
root (Dovecot's mail files belong to nobody). A check is counted when Dovecot logs the end
of a session the client closed with QUIT ("Logged out").
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import demo_mailbox  # noqa: E402
from e2e_test import data_folder, post_exit, windows_path  # noqa: E402


def memory_kib(pid):
    """Resident and anonymous resident memory of the Wine process (Wine reports no private
    bytes of another process; the anonymous part is what the heap holds)."""
    found = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "RssAnon"):
                found[key] = int(value.split()[0])
    return found.get("VmRSS", 0), found.get("RssAnon", 0)


def counters(exe):
    out = subprocess.run(["wine", exe], capture_output=True, text=True).stdout
    return dict(pair.split("=") for pair in out.split())


class CheckCounter:
    """Counts the sessions Dovecot's log shows ended by QUIT, reading only what is new."""

    def __init__(self, log):
        self.log, self.offset, self.count, self.rest = log, 0, 0, b""

    def read(self):
        with open(self.log, "rb") as f:
            f.seek(self.offset)
            data = self.rest + f.read()
        self.offset += len(data) - len(self.rest)
        lines = data.split(b"\n")
        self.rest = lines.pop()
        self.count += sum(1 for line in lines if b"Logged out" in line and b"pop3(" in line)
        return self.count


def write_settings(folder, port, accounts, hidden):
    shutil.rmtree(folder, ignore_errors=True)
    sections = []
    for i in range(accounts):
        name, lines = demo_mailbox.account_section(f"soak{i + 1}", "secret", port, True)
        sections.append((name, lines.replace("checkmins=5", "checkmins=0")))
    demo_mailbox.write_settings(os.path.join(folder, "varnocle.ini"), sections)
    with open(os.path.join(folder, "varnocle.ini"), "a", newline="\r\n") as f:
        f.write("[position]\nx=400\ny=300\nvisible=%s\n" % ("false" if hidden else "true"))


def fit(points):
    """Slope of a least-squares line through (x, y) points."""
    n = len(points)
    mx = sum(x for x, _ in points) / n
    my = sum(y for _, y in points) / n
    den = sum((x - mx) ** 2 for x, _ in points)
    return sum((x - mx) * (y - my) for x, y in points) / den if den else 0.0


def soak(args, root):
    env = demo_mailbox.read_env(root)
    write_settings(data_folder(), int(env["TLS_PORT"]), args.accounts, args.hidden)
    program = subprocess.Popen(["wine", windows_path(args.exe)], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    checks = CheckCounter(os.path.join(root, "dovecot.log"))
    rows, next_at = [], 1000
    end = time.time() + args.minutes * 60
    # Under Wine, GetGuiResources and the private bytes of another process read 0.
    print("checks  rss_kib  anon_kib  private_kib  gdi  user  handles", flush=True)
    try:
        while time.time() < end and program.poll() is None:
            time.sleep(1)
            n = checks.read()
            if n < next_at:
                continue
            c = counters(args.counters)
            rss, anon = memory_kib(program.pid)
            row = (n, rss, anon, int(c.get("private", 0)) // 1024, int(c.get("gdi", 0)),
                   int(c.get("user", 0)), int(c.get("handles", 0)))
            rows.append(row)
            print("%6d  %7d  %8d  %11d  %3d  %4d  %7d" % row, flush=True)
            next_at = (n // args.every + 1) * args.every
    finally:
        post_exit(args.driver)
        try:
            program.wait(timeout=20)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
    if len(rows) >= 2:
        per = 10000
        print("growth per %d checks after the first 1,000: resident %.1f KiB, anonymous %.1f "
              "KiB, private %.1f KiB; GDI %d..%d, USER %d..%d, handles %d..%d" % (
                  per, fit([(r[0], r[1]) for r in rows]) * per,
                  fit([(r[0], r[2]) for r in rows]) * per, fit([(r[0], r[3]) for r in rows]) * per,
                  min(r[4] for r in rows), max(r[4] for r in rows),
                  min(r[5] for r in rows), max(r[5] for r in rows),
                  min(r[6] for r in rows), max(r[6] for r in rows)))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--counters", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--accounts", type=int, default=1)
    parser.add_argument("--minutes", type=float, default=20)
    parser.add_argument("--every", type=int, default=10000)
    parser.add_argument("--messages", type=int, default=1000)
    parser.add_argument("--hidden", action="store_true")
    args = parser.parse_args()
    base = tempfile.mkdtemp(prefix="vt-soak-")
    os.chmod(base, 0o755)  # Dovecot's mail processes run as "nobody"
    root = os.path.join(base, "dovecot")
    command = [sys.executable, demo_mailbox.__file__, "start", root]
    for i in range(args.accounts):
        command += ["--user", f"soak{i + 1}:secret:{args.messages}"]
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL)
    try:
        soak(args, root)
    finally:
        subprocess.run([sys.executable, demo_mailbox.__file__, "stop", root])
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    main()
