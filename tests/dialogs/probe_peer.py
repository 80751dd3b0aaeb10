#!/usr/bin/env python3
"""The mail servers that the account dialog's probe meets, started inside the private
network namespace of run_in_netns.py (which runs this with --peer and stops it afterwards).

One private Dovecot instance answers on the probe's fixed ports:
  127.0.0.10  POP3 over TLS on 995 and plain POP3 on 110   ("tls.probe.test", "pop.gmail.com")
  127.0.0.11  plain POP3 on 110 only                        ("plain.probe.test",
                                                             "outlook.office365.com")
The names are added to the namespace's /etc/hosts; any other name does not resolve there.
One user: "probe" with the password "secret". Prints "ready" when the ports answer, then
runs until stdin closes or it is terminated.
"""
import grp
import os
import pwd
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
import demo_mailbox  # noqa: E402  (messages and the mail user's ids)

TLS_ADDRESS, PLAIN_ADDRESS = "127.0.0.10", "127.0.0.11"
HOSTS = [(TLS_ADDRESS, "tls.probe.test"), (TLS_ADDRESS, "pop.gmail.com"),
         (PLAIN_ADDRESS, "plain.probe.test"), (PLAIN_ADDRESS, "outlook.office365.com")]

CONFIG = """\
base_dir = {root}/run
state_dir = {root}/state
log_path = {root}/dovecot.log
protocols = pop3
listen = {tls_address} {plain_address}
ssl = yes
ssl_cert = <{root}/cert.pem
ssl_key = <{root}/key.pem
ssl_dh = </usr/share/dovecot/dh.pem
disable_plaintext_auth = no
auth_mechanisms = plain
auth_failure_delay = 0
mail_location = maildir:{root}/mail/%u/Maildir
mail_uid = {uid}
mail_gid = {gid}
first_valid_uid = 1
mail_max_userip_connections = 0
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
    address = {tls_address} {plain_address}
    port = 110
  }}
  inet_listener pop3s {{
    address = {tls_address}
    port = 995
    ssl = yes
  }}
  service_count = 0
}}
service anvil {{
  unix_listener anvil-auth-penalty {{
    mode = 0
  }}
}}
"""


def answers(address, port):
    try:
        with socket.create_connection((address, port), timeout=1):
            return True
    except OSError:
        return False


def start(root):
    for sub in ("run", "state", "mail"):
        os.makedirs(os.path.join(root, sub))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "30",
                    "-subj", "/CN=tls.probe.test", "-keyout", os.path.join(root, "key.pem"),
                    "-out", os.path.join(root, "cert.pem")],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    with open(os.path.join(root, "passwd"), "w") as f:
        f.write("probe:{PLAIN}secret::::::\n")
    demo_mailbox.add_messages(root, "probe", 2)
    conf = os.path.join(root, "dovecot.conf")
    with open(conf, "w") as f:
        f.write(CONFIG.format(root=root, tls_address=TLS_ADDRESS, plain_address=PLAIN_ADDRESS,
                              uid=pwd.getpwnam(demo_mailbox.MAIL_USER).pw_uid,
                              gid=grp.getgrnam(demo_mailbox.MAIL_GROUP).gr_gid))
    subprocess.run(["dovecot", "-c", conf], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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
        with open("/etc/hosts", "a") as f:
            f.write("".join("%s %s\n" % pair for pair in HOSTS))
        print("ready", flush=True)
        sys.stdin.read()  # until the runner closes it
    finally:
        stop(root)


if __name__ == "__main__":
    main()
