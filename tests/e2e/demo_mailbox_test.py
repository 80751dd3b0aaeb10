#!/usr/bin/env python3
"""The demo mailbox of scripts/run, started, stopped as by a restart of the machine, and
started again: the server keeps its key (the program pinned it at its first check) and the
settings file the user may have edited is left alone.

  demo_mailbox_test.py DEMO_MAILBOX_PY
"""
import os
import subprocess
import sys
import tempfile

SKIP = 77


def main():
    tool = sys.argv[1]
    if os.geteuid() != 0:
        print("needs root (Dovecot's mail files belong to nobody): skipped")
        return SKIP
    base = tempfile.mkdtemp(prefix="vt-demo-")
    os.chmod(base, 0o755)
    root, keep, ini = (os.path.join(base, n) for n in ("mailbox", "keep", "varnocle.ini"))
    # Any free ports: a demo of scripts/run may hold the usual ones.
    demo = [sys.executable, tool, "demo", root, keep, ini, "--plain-port", "0", "--tls-port", "0"]
    certificates = []
    try:
        for _ in range(2):
            subprocess.run(demo, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
            certificates.append(open(os.path.join(root, "cert.pem")).read())
            with open(ini, "a") as f:
                f.write("; edited\n")
            subprocess.run([sys.executable, tool, "stop", root], check=True)
    finally:
        subprocess.run([sys.executable, tool, "stop", root])
    failures = []
    if certificates[0] != certificates[1]:
        failures.append("the second start made a new key")
    if open(ini).read().count("; edited") != 2:
        failures.append("the settings file was written again")
    for failure in failures:
        print("FAIL:", failure)
    subprocess.run(["rm", "-rf", base])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
