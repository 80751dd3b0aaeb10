#!/usr/bin/env python3
"""Runs a command while the servers of the certificate and STARTTLS tests run on loopback.

    tls_peers.py [--user NAME:PASSWORD[:MESSAGES]]... [--keep] -- COMMAND...

Everything lives in a fresh temporary folder (TLS_DIR below):
  - a test certificate authority and TLS_DIR/cacert.pem holding only it (a test binary puts
    it alone in its certificate store; varnocle.exe finds such a file beside itself);
  - Dovecot "self" with a self-signed certificate: plain POP3 (STLS offered) and POP3 over
    TLS on 127.0.0.1, and a plain port on 127.0.0.2 that refuses plain-text logins before
    STLS;
  - Dovecot "signed" with a certificate for "localhost" signed by the test authority: POP3
    over TLS and plain POP3 (STLS offered) on 127.0.0.1;
  - a man-in-the-middle relay with a self-signed key of its own in front of self's TLS port:
    it ends the TLS, goes on over TLS and logs every line the client sent;
  - a relay in front of self's plain port that deletes "STLS" from CAPA replies and logs
    every line the client sent (until STLS, after which it only passes bytes);
  - a small POP3 server that answers CAPA with "-ERR" and takes the first user's name and
    password (UIDL lists MESSAGES identifiers "noc-1" ...), logging what the client sent;
  - a relay in front of self's plain port that sends "-ERR injected..." right behind the
    server's "+OK" to STLS, in the same packet, as an attacker would (logs like the other);
  - a relay in front of self's plain port that hangs up right after the server's "+OK" to
    STLS, as a reset would (logs like the other);
  - a TLS port with a self-signed key of its own that completes the handshake and hangs up;
  - a man in the middle in front of self's plain port that answers STLS with a handshake of
    its own (the mitm relay's key), logging every line the client sent.
The command gets, in its environment (ports on 127.0.0.1 unless said otherwise):
    VARNOCLE_TLS_DIR             the folder; VARNOCLE_TLS_CACERT its cacert.pem
    VARNOCLE_TLS_SELF_PLAIN_PORT, VARNOCLE_TLS_SELF_TLS_PORT
    VARNOCLE_TLS_STRICT_ADDRESS, VARNOCLE_TLS_STRICT_PORT
    VARNOCLE_TLS_SIGNED_PLAIN_PORT, VARNOCLE_TLS_SIGNED_TLS_PORT
    VARNOCLE_TLS_MITM_PORT, VARNOCLE_TLS_MITM_LOG
    VARNOCLE_TLS_STRIP_PORT, VARNOCLE_TLS_STRIP_LOG
    VARNOCLE_TLS_NOCAPA_PORT, VARNOCLE_TLS_NOCAPA_LOG
    VARNOCLE_TLS_INJECT_PORT, VARNOCLE_TLS_INJECT_LOG
    VARNOCLE_TLS_BREAK_PORT, VARNOCLE_TLS_BREAK_LOG, VARNOCLE_TLS_HANGUP_PORT
    VARNOCLE_TLS_STLSMITM_PORT, VARNOCLE_TLS_STLSMITM_LOG
    VARNOCLE_DOVECOT_DIR, VARNOCLE_DOVECOT_PLAIN_PORT, VARNOCLE_DOVECOT_TLS_PORT: "self", as
    dovecot_peer.py gives them, so that the tests' DovecotPeer finds it
A command ending in ".exe" runs under Wine (scripts/wine-run). The log files are appended to
as lines arrive; a test may empty them. Exit status: the command's, or 77 (skipped) when
Dovecot is not installed. Without --user there is one user "user" with password "secret" and
3 messages. Importable: TlsPeers(users).start() returns that environment, stop() ends it.
"""
import os
import select
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
import demo_mailbox  # noqa: E402  (the private Dovecot instance)

SKIP = 77
STRICT_ADDRESS = "127.0.0.2"


free_port, answers = demo_mailbox.free_port, demo_mailbox.answers
dovecot_binary = demo_mailbox.dovecot_binary


class LineLog:
    """Lines a client sent, appended to a file as they arrive (several connections at once)."""

    def __init__(self, path):
        self.path = path
        self.guard = threading.Lock()
        open(path, "w").close()

    def write(self, line):
        with self.guard, open(self.path, "a", encoding="latin-1") as f:
            f.write(line.rstrip("\r\n") + "\n")


class Listener:
    """Accepts on address:port in a thread and hands each connection to serve(socket) in a
    thread of its own. close() stops accepting; connections end with the process."""

    def __init__(self, serve, address="127.0.0.1", port=0):
        self.serve = serve
        self.socket = socket.socket()
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.socket.bind((address, port))
        self.socket.listen(16)
        self.port = self.socket.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                client, _ = self.socket.accept()
            except OSError:
                return
            threading.Thread(target=self.guarded, args=(client,), daemon=True).start()

    def guarded(self, client):
        try:
            self.serve(client)
        except (OSError, ValueError):
            pass  # a client that goes away mid-way, or a failed handshake
        finally:
            client.close()

    def close(self):
        self.socket.close()


def readable(sockets, timeout=60):
    """The sockets with bytes to read (TLS ones may hold decrypted bytes already)."""
    ready = [s for s in sockets if isinstance(s, ssl.SSLSocket) and s.pending()]
    return ready or select.select(sockets, [], [], timeout)[0]


def split_lines(buffer, data):
    """Adds data to buffer (a bytearray) and returns the complete lines taken from it."""
    buffer += data
    lines = []
    while b"\n" in buffer:
        cut = buffer.index(b"\n") + 1
        lines.append(bytes(buffer[:cut]))
        del buffer[:cut]
    return lines


class MitmRelay:
    """Ends the client's TLS with its own self-signed key and goes on over TLS to target. With
    starttls, the client meets target's plain port, and the relay answers STLS with a
    handshake of its own (having made the server switch to TLS too)."""

    def __init__(self, folder, target_port, log, starttls=False):
        key, cert = os.path.join(folder, "mitm-key.pem"), os.path.join(folder, "mitm-cert.pem")
        if not os.path.exists(cert):
            demo_mailbox.make_certificate(key, cert, "localhost")
        self.server = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.server.load_cert_chain(cert, key)
        self.client = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        self.client.check_hostname = False
        self.client.verify_mode = ssl.CERT_NONE
        self.target, self.log, self.starttls = target_port, log, starttls
        self.listener = Listener(self.serve)

    def serve(self, raw):
        raw.settimeout(30)
        outer = socket.create_connection(("127.0.0.1", self.target), timeout=30)
        if self.starttls:
            if not self.pump(raw, outer, stop_at=b"STLS"):
                return
            outer.sendall(b"STLS\r\n")
            outer.recv(4096)  # the server's consent
            raw.sendall(b"+OK Begin TLS negotiation\r\n")
        with self.server.wrap_socket(raw, server_side=True) as inner, \
                self.client.wrap_socket(outer) as outer:
            self.pump(inner, outer)

    def pump(self, inner, outer, stop_at=None):
        """Passes bytes both ways, logging the client's lines; with stop_at, returns True
        (without passing it on) when the client sends that line."""
        pending = bytearray()
        while True:
            for s in readable([inner, outer]):
                data = s.recv(65536)
                if not data:
                    return False
                if s is inner:
                    for line in split_lines(pending, data):
                        self.log.write(line.decode("latin-1"))
                        if stop_at and line.strip().upper() == stop_at:
                            return True
                (outer if s is inner else inner).sendall(data)


class StripRelay:
    """Plain POP3 relay that hides the server's STLS capability from the client, or (strip
    False) passes it on and slips inject in behind the server's consent to STLS, where a
    client must not take it for the encrypted server's words."""

    def __init__(self, target_port, log, strip=True, inject=b"", hang_up=False,
                 target_address="127.0.0.1", address="127.0.0.1", port=0):
        self.target, self.log, self.strip, self.inject = target_port, log, strip, inject
        self.hang_up, self.target_address = hang_up, target_address
        self.listener = Listener(self.serve, address, port)

    def serve(self, client):
        client.settimeout(30)
        with socket.create_connection((self.target_address, self.target), timeout=30) as server:
            asked, from_client, from_server = [], bytearray(), bytearray()
            state = {"multi": False, "raw": False}
            while True:
                for s in readable([client, server]):
                    data = s.recv(65536)
                    if not data:
                        return
                    if state["raw"]:
                        (server if s is client else client).sendall(data)
                    elif s is client:
                        for line in split_lines(from_client, data):
                            self.log.write(line.decode("latin-1"))
                            asked.append(line.strip().split(b" ")[0].upper())
                        server.sendall(data)
                    else:
                        replies = split_lines(from_server, data)
                        client.sendall(b"".join(self.filter(replies, asked, state)))
                        if state["raw"] and self.hang_up:
                            return
                        if state["raw"] and from_server:
                            client.sendall(bytes(from_server))

    def filter(self, lines, asked, state):
        """The server's lines as the client gets them; asked holds the client's verbs in
        order, the greeting answering none."""
        kept = []
        for line in lines:
            if state["multi"]:
                state["multi"] = line.rstrip(b"\r\n") != b"."
                if not self.strip or line.strip().upper() != b"STLS":
                    kept.append(line)
                continue
            verb = asked.pop(0) if state.get("greeted") and asked else b""
            state["greeted"] = True
            positive = line.startswith(b"+OK")
            state["multi"] = positive and verb in (b"CAPA", b"UIDL", b"LIST")
            state["raw"] = positive and verb == b"STLS"
            kept.append(line + (self.inject if state["raw"] else b""))
        return kept


class HangUpTls:
    """Completes a TLS handshake with a self-signed key of its own, then hangs up."""

    def __init__(self, folder):
        key, cert = os.path.join(folder, "hangup-key.pem"), os.path.join(folder, "hangup-cert.pem")
        demo_mailbox.make_certificate(key, cert, "localhost")
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(cert, key)
        self.listener = Listener(self.serve)

    def serve(self, raw):
        raw.settimeout(30)
        self.context.wrap_socket(raw, server_side=True).close()


class NoCapaServer:
    """A POP3 server from before CAPA: one user, a fixed listing."""

    def __init__(self, user, password, count, log):
        self.user, self.password, self.log = user, password, log
        self.listing = "".join(f"{i} noc-{i}\r\n" for i in range(1, count + 1))
        self.listener = Listener(self.serve)

    def serve(self, client):
        client.settimeout(30)
        reader = client.makefile("rb")
        client.sendall(b"+OK POP3 ready\r\n")
        name, logged_in = None, False
        for raw in reader:
            line = raw.decode("latin-1").rstrip("\r\n")
            self.log.write(line)
            verb, _, argument = line.partition(" ")
            verb = verb.upper()
            if verb == "USER":
                name = argument
                reply = "+OK"
            elif verb == "PASS" and name is not None:
                logged_in = name == self.user and argument == self.password
                reply = "+OK logged in" if logged_in else "-ERR invalid password"
            elif verb == "UIDL" and logged_in and not argument:
                reply = "+OK\r\n" + self.listing + "."
            elif verb == "QUIT":
                client.sendall(b"+OK bye\r\n")
                return
            else:
                reply = "-ERR unknown command"
            client.sendall(reply.encode("latin-1") + b"\r\n")


class TlsPeers:
    def __init__(self, users, root=None):
        """users: [(name, password, messages)]; the first one is the no-CAPA server's."""
        self.users = users
        self.root = root or tempfile.mkdtemp(prefix="varnocle-tls-")
        os.chmod(self.root, 0o755)  # Dovecot's mail processes run as "nobody"
        self.processes, self.listeners = [], []

    def start_dovecot(self, name, plain, tls, authority=None, strict=None):
        folder = os.path.join(self.root, name)
        os.makedirs(folder)
        os.chmod(folder, 0o755)
        demo_mailbox.prepare(folder, self.users, authority=authority)
        for user, _, _ in self.users:
            for sub, _, _ in os.walk(os.path.join(folder, "mail", user)):
                os.chmod(sub, 0o777)  # tests add and remove messages
        conf = os.path.join(folder, "dovecot.conf")
        with open(conf, "w") as f:
            f.write(demo_mailbox.config_text(folder, plain, tls, strict=strict))
        self.processes.append(subprocess.Popen(
            [dovecot_binary(), "-F", "-c", conf], stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        return folder

    def wait(self, endpoints, seconds=20):
        end = time.time() + seconds
        for address, port in endpoints:
            while not answers(address, port):
                if time.time() > end or any(p.poll() is not None for p in self.processes):
                    logs = [os.path.join(self.root, n, "dovecot.log") for n in ("self", "signed")]
                    raise RuntimeError("the peers did not start; see " + " ".join(logs))
                time.sleep(0.05)

    def start(self):
        """Starts everything; returns the environment for the command."""
        authority = (os.path.join(self.root, "ca-cert.pem"), os.path.join(self.root, "ca-key.pem"))
        demo_mailbox.openssl("req", "-x509", "-newkey", "ec", "-pkeyopt",
                             "ec_paramgen_curve:prime256v1", "-nodes", "-days", "3650",
                             "-subj", "/CN=Varnocle Test Authority", "-keyout", authority[1],
                             "-out", authority[0])
        cacert = os.path.join(self.root, "cacert.pem")
        shutil.copy(authority[0], cacert)
        ports = {name: free_port() for name in ("self_plain", "self_tls", "signed_plain",
                                                "signed_tls")}
        strict_port = free_port(STRICT_ADDRESS)
        self_dir = self.start_dovecot("self", ports["self_plain"], ports["self_tls"],
                                      strict=(STRICT_ADDRESS, strict_port))
        self.start_dovecot("signed", ports["signed_plain"], ports["signed_tls"], authority)
        logs = {n: LineLog(os.path.join(self.root, n + ".log"))
                for n in ("mitm", "strip", "nocapa", "inject", "break", "stlsmitm")}
        name, password, count = self.users[0]
        self.listeners = [MitmRelay(self.root, ports["self_tls"], logs["mitm"]),
                          StripRelay(ports["self_plain"], logs["strip"]),
                          NoCapaServer(name, password, count, logs["nocapa"]),
                          StripRelay(ports["self_plain"], logs["inject"], strip=False,
                                     inject=b"-ERR injected before the handshake\r\n"),
                          StripRelay(ports["self_plain"], logs["break"], strip=False,
                                     hang_up=True),
                          MitmRelay(self.root, ports["self_plain"], logs["stlsmitm"],
                                    starttls=True)]
        self.hangup = HangUpTls(self.root)
        self.wait([("127.0.0.1", p) for p in ports.values()] + [(STRICT_ADDRESS, strict_port)])
        env = {"VARNOCLE_TLS_DIR": self.root, "VARNOCLE_TLS_CACERT": cacert,
               "VARNOCLE_TLS_STRICT_ADDRESS": STRICT_ADDRESS,
               "VARNOCLE_TLS_STRICT_PORT": str(strict_port),
               "VARNOCLE_DOVECOT_DIR": self_dir,
               "VARNOCLE_DOVECOT_PLAIN_PORT": str(ports["self_plain"]),
               "VARNOCLE_DOVECOT_TLS_PORT": str(ports["self_tls"])}
        for key, port in ports.items():
            env["VARNOCLE_TLS_%s_PORT" % key.upper()] = str(port)
        for (key, log), listener in zip(logs.items(), self.listeners):
            env["VARNOCLE_TLS_%s_PORT" % key.upper()] = str(listener.listener.port)
            env["VARNOCLE_TLS_%s_LOG" % key.upper()] = log.path
        env["VARNOCLE_TLS_HANGUP_PORT"] = str(self.hangup.listener.port)
        return env

    def stop(self, keep=False):
        for listener in self.listeners + ([self.hangup] if hasattr(self, "hangup") else []):
            listener.listener.close()
        for process in self.processes:
            if process.poll() is None:
                process.terminate()
        for process in self.processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if keep:
            print("kept " + self.root, file=sys.stderr)
        else:
            shutil.rmtree(self.root, ignore_errors=True)


def main():
    args, command = demo_mailbox.wrapper_arguments(sys.argv, __doc__)
    if args is None:
        return 2
    if not dovecot_binary():
        print("dovecot is not installed: skipped", file=sys.stderr)
        return SKIP
    peers = TlsPeers(demo_mailbox.parse_users(args.user))
    # A time-out of the test run ends this script with SIGTERM: the servers go with it.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        try:
            env = dict(os.environ, **peers.start())
        except RuntimeError as e:
            print(e, file=sys.stderr)
            return 1
        return subprocess.call(demo_mailbox.peer_command(command), env=env)
    finally:
        peers.stop(args.keep)


if __name__ == "__main__":
    sys.exit(main())
