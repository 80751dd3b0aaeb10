#!/usr/bin/env python3
"""The mail servers that the account dialog's probe meets, started inside the private
network namespace of run_in_netns.py (which runs this with --peer and stops it afterwards).

One private Dovecot instance answers on the probe's fixed ports:
  127.0.0.10  POP3 over TLS on 995 and plain POP3 on 110   ("tls.probe.test", "pop.gmail.com")
  127.0.0.11  plain POP3 on 110 only                        ("plain.probe.test",
                                                             "outlook.office365.com")
Relays in front of 127.0.0.11:110, on 110, each logging the lines the client sent to
$VARNOCLE_PROBE_LOGS/<name>.log (and nothing on 995):
  127.0.0.12  hides STLS from CAPA                          ("strip.probe.test")
  127.0.0.13  hangs up right after the server's consent to STLS  ("broken.probe.test")
The names are added to the namespace's /etc/hosts; any other name does not resolve there.
One user: "probe" with the password "secret". Prints "ready" when the ports answer, then
runs until stdin closes or it is terminated.
"""
import os
import shutil
import signal
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
import demo_mailbox  # noqa: E402  (the private Dovecot instance)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import tls_peers  # noqa: E402  (the relays)

TLS_ADDRESS, PLAIN_ADDRESS = "127.0.0.10", "127.0.0.11"
STRIP_ADDRESS, BROKEN_ADDRESS = "127.0.0.12", "127.0.0.13"
HOSTS = [(TLS_ADDRESS, "tls.probe.test"), (TLS_ADDRESS, "pop.gmail.com"),
         (PLAIN_ADDRESS, "plain.probe.test"), (PLAIN_ADDRESS, "outlook.office365.com"),
         (STRIP_ADDRESS, "strip.probe.test"), (BROKEN_ADDRESS, "broken.probe.test")]

answers = demo_mailbox.answers


def start(root):
    demo_mailbox.prepare(root, [("probe", "secret", 2)], common_name="tls.probe.test")
    demo_mailbox.run_dovecot(root, demo_mailbox.config_text(
        root, 110, 995, plain_address=f"{TLS_ADDRESS} {PLAIN_ADDRESS}", tls_address=TLS_ADDRESS))
    end = time.time() + 20
    while time.time() < end:
        if all(answers(a, p) for a, p in
               ((TLS_ADDRESS, 995), (TLS_ADDRESS, 110), (PLAIN_ADDRESS, 110))):
            return
        time.sleep(0.05)
    sys.exit("dovecot did not start; see %s/dovecot.log" % root)


def stop(root):
    try:
        with open(os.path.join(root, "run", "master.pid")) as f:
            os.kill(int(f.read().strip()), signal.SIGTERM)
    except (OSError, ValueError):
        pass
    time.sleep(0.2)
    shutil.rmtree(root, ignore_errors=True)


def main():
    root = tempfile.mkdtemp(prefix="varnocle-probe-", dir="/tmp")
    os.chmod(root, 0o755)  # Dovecot's mail processes run as "nobody"
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        start(root)
        logs = os.environ.get("VARNOCLE_PROBE_LOGS", os.path.join(root, "logs"))
        os.makedirs(logs, exist_ok=True)
        relays = [tls_peers.StripRelay(110, tls_peers.LineLog(os.path.join(logs, name + ".log")),
                                       strip=strip, hang_up=not strip,
                                       target_address=PLAIN_ADDRESS, address=address, port=110)
                  for name, address, strip in (("strip", STRIP_ADDRESS, True),
                                               ("broken", BROKEN_ADDRESS, False))]
        with open("/etc/hosts", "a") as f:
            f.write("".join("%s %s\n" % pair for pair in HOSTS))
        print("ready", flush=True)
        sys.stdin.read()  # until the runner closes it
        for relay in relays:
            relay.listener.close()
    finally:
        stop(root)


if __name__ == "__main__":
    main()
