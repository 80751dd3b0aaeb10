#!/usr/bin/env python3
"""A private Dovecot POP3 server on loopback, for the demo of scripts/run and for the
end-to-end tests. Everything lives under one folder; nothing of the system's Dovecot
configuration is read or changed.

  demo_mailbox.py start ROOT [--plain-port N] [--tls-port N] --user NAME:PASSWORD:COUNT ...
  demo_mailbox.py add ROOT NAME COUNT [--from TEXT] [--subject TEXT]
                                           add COUNT generated messages to a mailbox, with
                                           the given From and Subject (as they stand)
  demo_mailbox.py stop ROOT                stop the server and remove ROOT
  demo_mailbox.py running ROOT             exit status 0 while the server of ROOT runs
  demo_mailbox.py settings ROOT FILE       write a settings file with one account per user
  demo_mailbox.py demo ROOT KEEP FILE      the demo of scripts/run: the server of ROOT with
                                           user demo (5 messages) on ports 11110 and 11995
                                           (--plain-port, --tls-port: others; 0: any),
                                           started unless it runs, with the key and
                                           certificate kept in the folder KEEP across
                                           starts, and the settings FILE when it is missing

ROOT must not exist yet (start creates it, world-searchable, as Dovecot's mail processes
run as "nobody"). start writes ROOT/env with PLAIN_PORT, TLS_PORT and PID lines.
Ports 0 (the default) mean any free port.
"""
import argparse
import base64
import grp
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import time

MAIL_USER, MAIL_GROUP = "nobody", "nogroup"

CONFIG = """\
base_dir = {root}/run
state_dir = {root}/state
log_path = {root}/dovecot.log
protocols = pop3
listen = {listen}
ssl = yes
ssl_cert = <{root}/cert.pem
ssl_key = <{root}/key.pem
ssl_dh = </usr/share/dovecot/dh.pem
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
# User names beyond ASCII ("josé") are let through to the passwd-file. (Dovecot lowercases
# the ASCII letters of a name before it looks it up.)
auth_username_chars =
mail_location = maildir:{root}/mail/%u/Maildir
mail_uid = {uid}
mail_gid = {gid}
first_valid_uid = 1
mail_max_userip_connections = 0
# Wrong passwords are answered at once instead of after the usual penalty.
passdb {{
  driver = static
  args = noauthenticate nodelay=yes
  result_success = continue
  result_failure = continue
}}
passdb {{
  driver = passwd-file
  args = scheme=PLAIN {root}/passwd
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={root}/mail/%u
}}
service pop3-login {{
  inet_listener pop3 {{
    address = {plain_address}
    port = {plain}
  }}
  inet_listener pop3s {{
    address = {tls_address}
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

# A plain listener whose clients must switch to TLS (STLS) before a plain-text login. Its own
# address, so that the client's address differs from it: Dovecot treats a client on the
# server's own address as secured and would let it log in anyway.
STRICT = """\
service pop3-login {{
  inet_listener pop3_strict {{
    address = {address}
    port = {port}
  }}
}}
local {address} {{
  disable_plaintext_auth = yes
}}
"""


def config_text(root, plain, tls, plain_address="127.0.0.1", tls_address="127.0.0.1",
                strict=None):
    """The private instance's configuration: plain POP3 on plain_address:plain and POP3
    over TLS on tls_address:tls (an address may be several, separated by blanks). strict =
    (address, port) adds a plain port there that refuses plain-text logins before STLS."""
    addresses = plain_address + " " + tls_address + (" " + strict[0] if strict else "")
    listen = " ".join(dict.fromkeys(addresses.split()))
    text = CONFIG.format(root=root, listen=listen, plain=plain, tls=tls,
                         plain_address=plain_address, tls_address=tls_address,
                         uid=pwd.getpwnam(MAIL_USER).pw_uid, gid=grp.getgrnam(MAIL_GROUP).gr_gid)
    if strict:
        text += STRICT.format(address=strict[0], port=strict[1])
    return text


def openssl(*words):
    subprocess.run(["openssl", *words], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_certificate(key, cert, common_name, authority=None):
    """A P-256 key and its certificate for common_name: self-signed, or signed by
    authority = (certificate, key) with the name as a DNS subject alternative name."""
    if not authority:
        openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                "-nodes", "-days", "3650", "-subj", f"/CN={common_name}", "-keyout", key,
                "-out", cert)
        return
    request, extensions = cert + ".csr", cert + ".ext"
    with open(extensions, "w") as f:
        f.write(f"subjectAltName = DNS:{common_name}\nbasicConstraints = CA:FALSE\n")
    openssl("req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
            "-nodes", "-subj", f"/CN={common_name}", "-keyout", key, "-out", request)
    openssl("x509", "-req", "-in", request, "-CA", authority[0], "-CAkey", authority[1],
            "-CAcreateserial", "-days", "3650", "-out", cert, "-extfile", extensions)
    os.remove(request)
    os.remove(extensions)


def prepare(root, users, common_name="localhost", authority=None, keep=None):
    """Folders, a certificate for common_name (self-signed, or signed by authority =
    (certificate, key)), the passwd-file and the generated mail of users
    [(name, password, count)] under root, which exists already. With keep (a folder), the
    key and certificate there are used, made there the first time."""
    for sub in ("run", "state", "mail"):
        os.makedirs(os.path.join(root, sub))
    key, cert = os.path.join(root, "key.pem"), os.path.join(root, "cert.pem")
    if keep and os.path.exists(os.path.join(keep, "cert.pem")):
        shutil.copy(os.path.join(keep, "key.pem"), key)
        shutil.copy(os.path.join(keep, "cert.pem"), cert)
    else:
        make_certificate(key, cert, common_name, authority)
        if keep:
            # A program that trusted the key on first use must meet it again next time.
            os.makedirs(keep, exist_ok=True)
            shutil.copy(key, os.path.join(keep, "key.pem"))
            shutil.copy(cert, os.path.join(keep, "cert.pem"))
    with open(os.path.join(root, "passwd"), "w", encoding="utf-8") as f:
        for name, password, _ in users:
            f.write(f"{name}:{{PLAIN}}{password}::::::\n")
    for name, _, count in users:
        add_messages(root, name, int(count))


def run_dovecot(root, config):
    conf = os.path.join(root, "dovecot.conf")
    with open(conf, "w") as f:
        f.write(config)
    subprocess.run(["dovecot", "-c", conf], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def free_port(address="127.0.0.1"):
    with socket.socket() as s:
        s.bind((address, 0))
        return s.getsockname()[1]


def dovecot_binary():
    found = shutil.which("dovecot")
    return found or ("/usr/sbin/dovecot" if os.path.exists("/usr/sbin/dovecot") else None)


def wrapper_arguments(argv, doc, ports=(), lists=()):
    """A peer wrapper's options before "--" (--user, --keep, the integer options named in
    ports and the repeatable ones named in lists) and the command after it; (None, None)
    after printing doc when there is no "--"."""
    if "--" not in argv:
        print(doc, file=sys.stderr)
        return None, None
    split = argv.index("--")
    parser = argparse.ArgumentParser()
    parser.add_argument("--user", action="append", default=[])
    parser.add_argument("--keep", action="store_true")
    for name in ports:
        parser.add_argument(name, type=int, default=0)
    for name in lists:
        parser.add_argument(name, action="append", default=[])
    return parser.parse_args(argv[1:split]), argv[split + 1:]


def peer_command(command):
    """The command as a peer wrapper runs it: by absolute path, and an .exe under Wine
    (scripts/wine-run), where it reaches the same servers."""
    if command and os.sep in command[0]:
        command[0] = os.path.abspath(command[0])
    if command and command[0].lower().endswith(".exe"):
        here = os.path.dirname(os.path.abspath(__file__))
        command = [os.path.join(here, "..", "wine-run")] + command
    return command


def answers(address, port):
    """Whether something accepts connections on address:port."""
    try:
        with socket.create_connection((address, port), timeout=1):
            return True
    except OSError:
        return False


def parse_users(given):
    """NAME:PASSWORD[:MESSAGES] options as [(name, password, count)]; one "user" with the
    password "secret" and 3 messages when none is given."""
    users = []
    for entry in given or ["user:secret:3"]:
        parts = entry.split(":")
        users.append((parts[0], parts[1] if len(parts) > 1 else "",
                      int(parts[2]) if len(parts) > 2 else 0))
    return users


def read_env(root):
    env = {}
    with open(os.path.join(root, "env")) as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            env[key] = value
    return env


def add_messages(root, user, count, sender=None, subject=None):
    """COUNT messages in user's mailbox; sender and subject, when given, are the From and
    Subject fields as they stand (encoded-words and all)."""
    ids = pwd.getpwnam(MAIL_USER).pw_uid, grp.getgrnam(MAIL_GROUP).gr_gid
    base = os.path.join(root, "mail", user, "Maildir")
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(base, sub), exist_ok=True)
        os.chown(os.path.join(base, sub), *ids)
    for top in (os.path.join(root, "mail", user), base):
        os.chown(top, *ids)
    now = time.time()
    for i in range(count):
        stamp = f"{int(now)}.M{int(now * 1e6) % 1000000}{i:04d}P{os.getpid()}"
        body = (f"From: {sender or 'Demo Sender <sender@example.org>'}\n"
                f"To: {user}@example.org\n"
                f"Subject: {subject or 'Demo message ' + stamp}\n"
                f"Message-ID: <{stamp}@example.org>\n\nHello {user}, this is message {i + 1}.\n")
        size = len(body.encode("utf-8"))
        crlf = size + body.count("\n")
        name = f"{stamp}.varnocle,S={size},W={crlf}:2,"
        path = os.path.join(base, "cur", name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(body)
        os.chown(path, *ids)
    # Dovecot notices new files by the folder's change time.
    os.utime(os.path.join(base, "cur"))


def obfuscate(text):
    """The scrambling of the settings file's passwords (printable ASCII only)."""
    low, high = 0x20, 0x7E
    chars = [ord(c) for c in text if low <= ord(c) <= high]

    def shift(ch, delta):
        t = ch + delta
        return t - 95 if t > high else t + 95 if t < low else t

    for _ in range(len(chars)):
        chars = chars[-1:] + chars[:-1]
        for j in range(len(chars) - 1, 0, -1):
            chars[j] = shift(chars[j], chars[j - 1] - low)
    return "".join(map(chr, chars))


def stored_password(text):
    """A password as the settings file keeps it: scrambled when it is printable ASCII, else
    DEL and the scrambled Base64 of its UTF-8 bytes."""
    if all(" " <= c <= "~" for c in text):
        return obfuscate(text)
    return "\x7f" + obfuscate(base64.b64encode(text.encode()).decode())


def account_section(user, password, port, tls, server="127.0.0.1", extra="", doubleclick=""):
    """One account's section: (name, lines), the name as the program builds it. extra:
    further "key=value" lines, each ending in a line break; doubleclick: the mail program."""
    name = f"{user} - {server}"
    stored = stored_password(password)
    # As the program writes it: a value with a blank or quote at either end goes in quotes.
    if stored and (stored[0] in " \"'" or stored[-1] in " \"'"):
        stored = f'"{stored}"'
    return name, (f"[{name}]\nserver={server}\nusername={user}\n"
                  f"password={stored}\nSSL={'true' if tls else 'false'}\n"
                  f"Port={port}\ncheckmins=5\ndoubleclick={doubleclick}\n{extra}")


def write_settings(path, sections):
    """A settings file for the given (name, lines) accounts, with the default options."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\r\n", encoding="utf-8") as f:
        f.write("[main]\naccounts=" + ",".join(name for name, _ in sections) + "\n"
                "[newmail]\nplaysound=false\nchangecolour=true\nnewmailcolour=95,255,95\n")
        for _, lines in sections:
            f.write(lines)


def settings(args):
    root = os.path.abspath(args.root)
    tls = int(read_env(root)["TLS_PORT"])
    with open(os.path.join(root, "passwd"), encoding="utf-8") as f:
        users = [line.split(":")[0:2] + [line.split("}")[1].split(":")[0]] for line in f]
    write_settings(args.file, [account_section(u[0], u[2], tls, True) for u in users])


def wait_for(port, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def start(args):
    root = os.path.abspath(args.root)
    os.makedirs(root)
    os.chmod(root, 0o755)
    parent = os.path.dirname(root)
    while parent != "/":
        if not os.stat(parent).st_mode & 0o001:
            sys.exit(f"{parent} is not world-searchable; Dovecot's mail processes need it")
        parent = os.path.dirname(parent)
    prepare(root, [u.split(":", 2) for u in args.user], keep=getattr(args, "keep", None))
    plain = args.plain_port or free_port()
    tls = args.tls_port or free_port()
    while tls == plain:
        tls = free_port()
    run_dovecot(root, config_text(root, plain, tls))
    pidfile = os.path.join(root, "run", "master.pid")
    if not (wait_for(plain) and wait_for(tls)):
        sys.exit(f"dovecot did not start; see {root}/dovecot.log")
    for _ in range(100):
        if os.path.exists(pidfile):
            break
        time.sleep(0.05)
    with open(pidfile) as f:
        pid = f.read().strip()
    with open(os.path.join(root, "env"), "w") as f:
        f.write(f"PLAIN_PORT={plain}\nTLS_PORT={tls}\nPID={pid}\n")
    print(f"dovecot {pid}: POP3 on 127.0.0.1:{plain}, POP3 over TLS on 127.0.0.1:{tls}")


def server_pid(root):
    """The pid of ROOT's Dovecot while it runs, else 0. The pid in ROOT/env may belong to
    another process by now (the folder outlives a restart of the machine), one that is
    neither ours to stop nor a sign that the server runs."""
    try:
        pid = int(read_env(root).get("PID", "0"))
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            words = f.read().split(b"\0")
    except (OSError, ValueError):
        return 0
    return pid if os.path.join(root, "dovecot.conf").encode() in words else 0


def stop(args):
    root = os.path.abspath(args.root)
    pid = server_pid(root)
    if pid > 0:
        try:
            os.kill(pid, signal.SIGTERM)
            for _ in range(100):
                time.sleep(0.05)
                os.kill(pid, 0)
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    if os.path.exists(os.path.join(root, "dovecot.conf")):
        shutil.rmtree(root, ignore_errors=True)


def demo(args):
    root = os.path.abspath(args.root)
    if not server_pid(root):
        stop(args)
        shutil.rmtree(root, ignore_errors=True)
        start(argparse.Namespace(root=root, plain_port=args.plain_port, tls_port=args.tls_port,
                                 user=["demo:demo:5"], keep=args.keep))
    if not os.path.exists(args.file):
        settings(args)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("start")
    p.add_argument("root")
    p.add_argument("--plain-port", type=int, default=0)
    p.add_argument("--tls-port", type=int, default=0)
    p.add_argument("--user", action="append", required=True, help="NAME:PASSWORD:COUNT")
    p = sub.add_parser("add")
    p.add_argument("root")
    p.add_argument("name")
    p.add_argument("count", type=int)
    p.add_argument("--from", dest="sender")
    p.add_argument("--subject")
    p = sub.add_parser("stop")
    p.add_argument("root")
    p = sub.add_parser("running")
    p.add_argument("root")
    p = sub.add_parser("settings")
    p.add_argument("root")
    p.add_argument("file")
    p = sub.add_parser("demo")
    p.add_argument("root")
    p.add_argument("keep")
    p.add_argument("file")
    p.add_argument("--plain-port", type=int, default=11110)
    p.add_argument("--tls-port", type=int, default=11995)
    args = parser.parse_args()
    if args.command == "start":
        start(args)
    elif args.command == "add":
        add_messages(os.path.abspath(args.root), args.name, args.count, args.sender,
                     args.subject)
    elif args.command == "settings":
        settings(args)
    elif args.command == "demo":
        demo(args)
    elif args.command == "running":
        sys.exit(0 if server_pid(os.path.abspath(args.root)) else 1)
    else:
        stop(args)


if __name__ == "__main__":
    main()
