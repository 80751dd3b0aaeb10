#!/usr/bin/env python3
"""Runs a command while a private Dovecot POP3 server runs on loopback.

    dovecot_peer.py [--user NAME:PASSWORD[:MESSAGES]]... [--plain-port N] [--tls-port N]
                    [--keep] -- COMMAND...

Everything lives in a fresh temporary folder: configuration, self-signed certificate,
passwd-file, maildirs, logs. The command gets, in its environment:
    VARNOCLE_DOVECOT_DIR         the folder (maildir of USER: DIR/mail/USER/Maildir)
    VARNOCLE_DOVECOT_PLAIN_PORT  plain POP3 port on 127.0.0.1
    VARNOCLE_DOVECOT_TLS_PORT    POP3 over TLS port on 127.0.0.1
    VARNOCLE_DOVECOT_USERS       NAME:PASSWORD,... as given
A command ending in ".exe" runs under Wine (scripts/wine-run); it reaches the same server.
Exit status: the command's, or 77 (skipped) when Dovecot is not installed.
Without --user there is one user "user" with password "secret" and 3 messages.
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
import demo_mailbox  # noqa: E402  (the private Dovecot instance)

SKIP = 77


def wait_for_ports(ports, process, seconds=15):
    end = time.time() + seconds
    for port in ports:
        while True:
            if process.poll() is not None:
                return False
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=1):
                    break
            except OSError:
                if time.time() > end:
                    return False
                time.sleep(0.05)
    return True


def main():
    args, command = demo_mailbox.wrapper_arguments(sys.argv, __doc__,
                                                   ("--plain-port", "--tls-port"))
    if args is None:
        return 2
    dovecot = demo_mailbox.dovecot_binary()
    if not dovecot:
        print("dovecot is not installed: skipped", file=sys.stderr)
        return SKIP

    users = demo_mailbox.parse_users(args.user)

    root = tempfile.mkdtemp(prefix="varnocle-dovecot-")
    os.chmod(root, 0o755)  # Dovecot's processes must reach the maildirs below
    plain = args.plain_port or demo_mailbox.free_port()
    tls = args.tls_port or demo_mailbox.free_port()
    process = None
    try:
        demo_mailbox.prepare(root, users)
        for name, _, _ in users:
            for folder, _, _ in os.walk(os.path.join(root, "mail", name)):
                os.chmod(folder, 0o777)  # tests add and remove messages
        with open(os.path.join(root, "dovecot.conf"), "w") as f:
            f.write(demo_mailbox.config_text(root, plain, tls))
        process = subprocess.Popen([dovecot, "-F", "-c", os.path.join(root, "dovecot.conf")],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        if not wait_for_ports([plain, tls], process):
            log = os.path.join(root, "dovecot.log")
            if os.path.exists(log):
                sys.stderr.write(open(log).read())
            print("dovecot did not start", file=sys.stderr)
            return 1
        env = dict(os.environ)
        env["VARNOCLE_DOVECOT_DIR"] = root
        env["VARNOCLE_DOVECOT_PLAIN_PORT"] = str(plain)
        env["VARNOCLE_DOVECOT_TLS_PORT"] = str(tls)
        env["VARNOCLE_DOVECOT_USERS"] = ",".join("%s:%s" % (n, p) for n, p, _ in users)
        return subprocess.call(demo_mailbox.peer_command(command), env=env)
    finally:
        if process and process.poll() is None:
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        if args.keep:
            print("kept " + root, file=sys.stderr)
        else:
            shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
