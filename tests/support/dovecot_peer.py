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
import argparse
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def message(seq):
    return ("From: sender%d@example.com\r\nTo: user@example.com\r\n"
            "Subject: message %d\r\n\r\nbody %d\r\n" % (seq, seq, seq))


def write_messages(maildir, start, count, uid, gid):
    """Writes messages straight into cur/, sizes in the names so Dovecot need not read them."""
    cur = os.path.join(maildir, "cur")
    now = int(time.time())
    for seq in range(start, start + count):
        body = message(seq).encode()
        name = "%d.M%dP%d.varnocle,S=%d,W=%d:2," % (now, seq, os.getpid(), len(body), len(body))
        path = os.path.join(cur, name)
        with open(path, "wb") as f:
            f.write(body)
        os.chown(path, uid, gid)


CONFIG = """\
base_dir = {dir}/run
state_dir = {dir}/state
log_path = {dir}/log/dovecot.log
info_log_path = {dir}/log/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <{dir}/cert.pem
ssl_key = <{dir}/key.pem
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
login_trusted_networks = 127.0.0.0/8
mail_max_userip_connections = 0
mail_location = maildir:~/Maildir
first_valid_uid = 1
passdb {{
  driver = static
  args = noauthenticate nodelay=yes
  result_success = continue
  result_failure = continue
  result_internalfail = continue
}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN username_format=%u {dir}/passwd
}}
userdb {{
  driver = passwd-file
  args = username_format=%u {dir}/passwd
}}
service pop3-login {{
  inet_listener pop3 {{
    address = 127.0.0.1
    port = {plain}
  }}
  inet_listener pop3s {{
    address = 127.0.0.1
    port = {tls}
    ssl = yes
  }}
  service_count = 0
  process_min_avail = 1
}}
service anvil {{
  unix_listener anvil-auth-penalty {{
    mode = 0
  }}
}}
"""


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
    if "--" not in sys.argv:
        print(__doc__, file=sys.stderr)
        return 2
    split = sys.argv.index("--")
    parser = argparse.ArgumentParser()
    parser.add_argument("--user", action="append", default=[])
    parser.add_argument("--plain-port", type=int, default=0)
    parser.add_argument("--tls-port", type=int, default=0)
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args(sys.argv[1:split])
    command = sys.argv[split + 1:]
    dovecot = shutil.which("dovecot") or ("/usr/sbin/dovecot"
                                          if os.path.exists("/usr/sbin/dovecot") else None)
    if not dovecot:
        print("dovecot is not installed: skipped", file=sys.stderr)
        return SKIP

    users = []
    for spec in args.user or ["user:secret:3"]:
        parts = spec.split(":")
        users.append((parts[0], parts[1] if len(parts) > 1 else "",
                      int(parts[2]) if len(parts) > 2 else 0))

    nobody = pwd.getpwnam("nobody")
    uid, gid = nobody.pw_uid, nobody.pw_gid
    root = tempfile.mkdtemp(prefix="varnocle-dovecot-")
    os.chmod(root, 0o755)  # Dovecot's processes must reach the maildirs below
    plain = args.plain_port or free_port()
    tls = args.tls_port or free_port()
    process = None
    try:
        for sub in ("run", "state", "log", "mail"):
            os.makedirs(os.path.join(root, sub), mode=0o755)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                        "-subj", "/CN=localhost", "-keyout", os.path.join(root, "key.pem"),
                        "-out", os.path.join(root, "cert.pem")],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(os.path.join(root, "passwd"), "w") as f:
            for name, password, _ in users:
                home = os.path.join(root, "mail", name)
                f.write("%s:{PLAIN}%s:%d:%d::%s\n" % (name, password, uid, gid, home))
        for name, _, count in users:
            home = os.path.join(root, "mail", name)
            maildir = os.path.join(home, "Maildir")
            for sub in ("", "cur", "new", "tmp"):
                os.makedirs(os.path.join(maildir, sub), exist_ok=True)
            write_messages(maildir, 1, count, uid, gid)
            for folder, _, files in os.walk(home):
                os.chown(folder, uid, gid)
                os.chmod(folder, 0o777)  # tests running as root add and remove messages
        with open(os.path.join(root, "dovecot.conf"), "w") as f:
            f.write(CONFIG.format(dir=root, plain=plain, tls=tls))
        process = subprocess.Popen([dovecot, "-F", "-c", os.path.join(root, "dovecot.conf")],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        if not wait_for_ports([plain, tls], process):
            log = os.path.join(root, "log", "dovecot.log")
            if os.path.exists(log):
                sys.stderr.write(open(log).read())
            print("dovecot did not start", file=sys.stderr)
            return 1
        env = dict(os.environ)
        env["VARNOCLE_DOVECOT_DIR"] = root
        env["VARNOCLE_DOVECOT_PLAIN_PORT"] = str(plain)
        env["VARNOCLE_DOVECOT_TLS_PORT"] = str(tls)
        env["VARNOCLE_DOVECOT_USERS"] = ",".join("%s:%s" % (n, p) for n, p, _ in users)
        if command and command[0].lower().endswith(".exe"):
            here = os.path.dirname(os.path.abspath(__file__))
            command = [os.path.join(here, "..", "..", "scripts", "wine-run")] + command
        return subprocess.call(command, env=env)
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
