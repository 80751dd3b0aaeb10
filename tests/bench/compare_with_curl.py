#!/usr/bin/env python3
"""A whole check of our own next to curl fetching the same UIDL listing, run inside
tests/support/dovecot_peer.py (user "big", password "secret"):

    python3 tests/support/dovecot_peer.py --user big:secret:100000 -- \
        python3 tests/bench/compare_with_curl.py BUILD/tests/bench/bench_check [ROUNDS]

Alternates the two, ROUNDS each (default 9) after one warm-up of each, and prints the medians
of the whole processes (start-up included for both) and our time divided by curl's.
"""
import os
import statistics
import subprocess
import sys
import time


def main():
    bench = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    port = os.environ["VARNOCLE_DOVECOT_TLS_PORT"]
    ours, inside, theirs = [], [], []
    for i in range(rounds + 1):
        start = time.perf_counter()
        out = subprocess.run([bench, "127.0.0.1", port, "big", "secret", "1", "1"],
                             check=True, capture_output=True, text=True).stdout.split()
        ours_ms = (time.perf_counter() - start) * 1000
        start = time.perf_counter()
        subprocess.run(["curl", "-sk", "-X", "UIDL", "--user", "big:secret",
                        "pop3s://127.0.0.1:%s/" % port], check=True, stdout=subprocess.DEVNULL)
        curl_ms = (time.perf_counter() - start) * 1000
        if i == 0:
            print("warm-up: ours %.1f ms (%s UIDLs), curl %.1f ms" % (ours_ms, out[1], curl_ms))
            continue
        ours.append(ours_ms)
        inside.append(float(out[0]))
        theirs.append(curl_ms)
    a, b = statistics.median(ours), statistics.median(theirs)
    print("medians of %d, whole processes: ours %.1f ms, curl %.1f ms, ratio %.2f"
          % (rounds, a, b, a / b))
    print("our check alone (without process start): %.1f ms, ratio to curl %.2f"
          % (statistics.median(inside), statistics.median(inside) / b))


if __name__ == "__main__":
    main()
