#!/usr/bin/env python3
"""Whole checks of our own next to curl fetching the same UIDL listing, run inside
tests/support/dovecot_peer.py with a 100,000-message user "big" and a 1,000-message user
"small" (password "secret" for both):

    python3 tests/support/dovecot_peer.py --user big:secret:100000 --user small:secret:1000 -- \
        python3 tests/bench/compare_with_curl.py BUILD/tests/bench/bench_check [ROUNDS]

Both run in a fresh folder; bench_check loads the authorities the program would (natively
OpenSSL's default bundle, Debian's). Alternates the two, ROUNDS each (default 9) after one
warm-up of each, and prints medians and our figure divided by curl's:
  - "big": whole processes (start-up included for both), wall time and peak resident size;
  - "small": one process checking 6 times; the checks after the first (as a running program
    repeats them) against curl's whole fetch.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def run(command, cwd):
    """Wall milliseconds, peak resident KiB and standard output of one process. GNU time
    starts it: the peak of a child forked from this script would count the script's own."""
    start = time.perf_counter()
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, cwd=cwd,
                          capture_output=True, text=True)
    ms = (time.perf_counter() - start) * 1000
    if done.returncode != 0:
        sys.exit("%s failed with %d" % (command[0], done.returncode))
    return ms, int(done.stderr.split()[-1]), done.stdout


def curl(user, port, cwd):
    return run(["curl", "-sk", "-X", "UIDL", "--user", user + ":secret",
                "pop3s://127.0.0.1:%s/" % port], cwd)


def ratio_line(what, ours, theirs, unit):
    a, b = statistics.median(ours), statistics.median(theirs)
    print("%s: ours %.1f %s, curl %.1f %s, ratio %.2f" % (what, a, unit, b, unit, a / b))


def main():
    bench = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    port = os.environ["VARNOCLE_DOVECOT_TLS_PORT"]
    folder = tempfile.mkdtemp(prefix="varnocle-bench-")
    big = {"ours": [], "ours_kb": [], "inside": [], "curl": [], "curl_kb": []}
    small = {"repeat": [], "curl": []}
    try:
        for i in range(rounds + 1):
            ms, kb, out = run([bench, "127.0.0.1", port, "big", "secret", "1", "1"], folder)
            curl_ms, curl_kb, _ = curl("big", port, folder)
            _, _, repeated = run([bench, "127.0.0.1", port, "small", "secret", "1", "6"],
                                 folder)
            small_ms, _, _ = curl("small", port, folder)
            if i == 0:
                print("warm-up: ours %.1f ms (%s UIDLs), curl %.1f ms"
                      % (ms, out.split()[1], curl_ms))
                continue
            big["ours"].append(ms)
            big["ours_kb"].append(kb)
            big["inside"].append(float(out.split()[0]))
            big["curl"].append(curl_ms)
            big["curl_kb"].append(curl_kb)
            lines = repeated.split("\n")
            small["repeat"] += [float(line.split()[0]) for line in lines[1:] if line]
            small["curl"].append(small_ms)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    print("medians of %d rounds" % rounds)
    ratio_line("100,000 messages, whole processes, wall time", big["ours"], big["curl"], "ms")
    ratio_line("100,000 messages, whole processes, peak resident size", big["ours_kb"],
               big["curl_kb"], "KiB")
    ratio_line("100,000 messages, our check alone (no process start) against curl's process",
               big["inside"], big["curl"], "ms")
    ratio_line("1,000 messages, repeated check in a running process against curl's process",
               small["repeat"], small["curl"], "ms")


if __name__ == "__main__":
    main()
