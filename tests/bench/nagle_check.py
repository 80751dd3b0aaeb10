#!/usr/bin/env python3
"""Whole checks over STARTTLS with TCP_NODELAY and with Nagle's algorithm, side by side.

After a TLS 1.3 handshake the client writes its last handshake message and then USER. A
server that sends no session ticket has nothing to say at that point, so nothing carries its
acknowledgement early, and with Nagle's algorithm USER waits for the delayed one. Dovecot
cannot be told to send no TLS 1.3 ticket (its "ssl_options = no_ticket" only makes OpenSSL's
tickets stateful), so a front of ours answers CAPA and STLS, makes the TLS handshake without a
ticket, and relays the decrypted conversation to a private Dovecot's plain port. Needs root
(the mail files belong to "nobody"):

    python3 tests/bench/nagle_check.py BUILD/tests/bench/bench_check [RUNS]

Prints bench_check's lines ("nagle" mode, RUNS default 30) and the ratio of the medians.
"""
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
import demo_mailbox  # noqa: E402  (the private Dovecot instance)
from tls_peers import Listener, readable  # noqa: E402


class TicketlessFront:
    """POP3 up to STLS, then TLS 1.3 without tickets, relayed to Dovecot's plain port."""

    def __init__(self, root, target):
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(os.path.join(root, "cert.pem"), os.path.join(root, "key.pem"))
        self.context.num_tickets = 0
        self.target = target
        self.listener = Listener(self.serve)

    def serve(self, client):
        client.settimeout(30)
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)  # only the client's counts
        server = socket.create_connection(("127.0.0.1", self.target), timeout=30)
        server.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        server.makefile("rb").readline()  # Dovecot's greeting; ours goes to the client
        client.sendall(b"+OK ready\r\n")
        lines = client.makefile("rb")
        while True:
            verb = lines.readline().strip().upper()
            if verb == b"CAPA":
                client.sendall(b"+OK\r\nSTLS\r\nUSER\r\nUIDL\r\n.\r\n")
            elif verb == b"STLS":
                client.sendall(b"+OK Begin TLS\r\n")
                break
            else:
                return
        with self.context.wrap_socket(client, server_side=True) as inner, server:
            while True:
                for s in readable([inner, server]):
                    data = s.recv(65536)
                    if not data:
                        return
                    (server if s is inner else inner).sendall(data)


def main():
    bench = os.path.abspath(sys.argv[1])
    runs = sys.argv[2] if len(sys.argv) > 2 else "30"
    root = tempfile.mkdtemp(prefix="varnocle-nagle-")
    os.chmod(root, 0o755)  # Dovecot's mail processes run as "nobody"
    try:
        demo_mailbox.prepare(root, [("user", "secret", 100)])
        plain, tls = demo_mailbox.free_port(), demo_mailbox.free_port()
        demo_mailbox.run_dovecot(root, demo_mailbox.config_text(root, plain, tls))
        if not demo_mailbox.wait_for(plain):
            sys.exit("dovecot did not start; see %s/dovecot.log" % root)
        front = TicketlessFront(root, plain)
        return subprocess.call([bench, "127.0.0.1", str(front.listener.port), "user", "secret",
                                "0", runs, "nagle"])
    finally:
        try:
            with open(os.path.join(root, "run", "master.pid")) as f:
                os.kill(int(f.read().strip()), signal.SIGTERM)
            time.sleep(0.5)
        except (OSError, ValueError):
            pass
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
