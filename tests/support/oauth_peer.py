#!/usr/bin/env python3
"""Runs a command while an OAuth2 authorization server and a Dovecot that takes its tokens
(SASL XOAUTH2, checked at the server's introspection endpoint) run on loopback.

    oauth_peer.py [--user NAME:PASSWORD:MESSAGES]... [--oauth-user NAME:MESSAGES]...
                  [--keep] -- COMMAND...
    oauth_peer.py browse CACERT URL    a browser: follows URL, then the redirect it gets

The server is oauthlib's: the code grant with PKCE (S256 only), refresh tokens replaced at
every use, introspection. Over HTTPS ("localhost", signed by a test authority): /authorize
(consents at once for the login_hint), /token, and /broken/html, /broken/huge (oversize,
chunked), /broken/extra (a token among unknown fields, chunked). Another HTTPS port with a
self-signed certificate counts what it gets. Plain HTTP on 127.0.0.1: /introspect and the
controls: POST /control/lifetime?seconds=N (of tokens from now on), /control/expire-access,
/control/revoke, /control/reset; GET /control/stats (counts "codes", "refreshes",
"requests", "untrusted"; the last "authorize" query; the "refresh_tokens" that work).
The command's environment: VARNOCLE_OAUTH_URL, VARNOCLE_OAUTH_UNTRUSTED_URL,
VARNOCLE_OAUTH_CONTROL, VARNOCLE_OAUTH_CACERT (the authority), VARNOCLE_OAUTH_CLIENT_ID and
Dovecot's as dovecot_peer.py gives them. A command ending in ".exe" runs under Wine. Exit
status: the command's, or 77 without Dovecot or oauthlib. Importable: OAuthPeer.
"""
import http.server
import json
import os
import shutil
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import types
import urllib.error
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
import demo_mailbox  # noqa: E402  (the private Dovecot instance)

SKIP = 77
CLIENT_ID = "varnocle-test"

try:
    from oauthlib.oauth2 import RequestValidator, WebApplicationServer
except ImportError:  # checked in main()
    RequestValidator = object

OAUTH2_PASSDB = """
auth_mechanisms = plain xoauth2
passdb {{
  driver = oauth2
  mechanisms = xoauth2
  args = {root}/oauth2.conf.ext
}}
"""
OAUTH2_CONF = """\
introspection_mode = post
introspection_url = http://127.0.0.1:{port}/introspect
username_attribute = username
active_attribute = active
active_value = true
"""


class Tokens:
    """What the server issued, and counts for the tests; one lock for all of it."""

    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        self.codes, self.access, self.refresh = {}, {}, {}
        self.lifetime, self.authorize = 3600, {}
        self.counts = {"codes": 0, "refreshes": 0, "requests": 0, "untrusted": 0}


class Validator(RequestValidator):
    """A single public client whose redirect goes to http://localhost on any port."""

    def __init__(self, tokens):
        self.t = tokens

    def validate_client_id(self, client_id, request, *a, **k):
        return client_id == CLIENT_ID

    def authenticate_client_id(self, client_id, request, *a, **k):
        request.client = types.SimpleNamespace(client_id=CLIENT_ID)
        # Introspection comes from Dovecot, which names no client.
        return client_id == CLIENT_ID or request.uri.endswith("/introspect")

    def client_authentication_required(self, request, *a, **k):
        return False

    def validate_redirect_uri(self, client_id, redirect_uri, request, *a, **k):
        u = urllib.parse.urlsplit(redirect_uri)
        return u.scheme == "http" and u.hostname == "localhost" and u.path == "/"

    def validate_response_type(self, client_id, response_type, client, request, *a, **k):
        return response_type == "code"

    def validate_scopes(self, client_id, scopes, client, request, *a, **k):
        return True

    def is_pkce_required(self, client_id, request):
        return True

    def save_authorization_code(self, client_id, code, request, *a, **k):
        with self.t.lock:
            self.t.codes[code["code"]] = dict(
                user=request.user, scopes=request.scopes, redirect=request.redirect_uri,
                challenge=request.code_challenge, method=request.code_challenge_method)

    def validate_code(self, client_id, code, client, request, *a, **k):
        with self.t.lock:
            entry = self.t.codes.get(code)
        if entry:
            request.user, request.scopes = entry["user"], entry["scopes"]
        return entry is not None

    def get_code_challenge(self, code, request):
        return self.t.codes.get(code, {}).get("challenge")

    def get_code_challenge_method(self, code, request):
        return self.t.codes.get(code, {}).get("method")

    def confirm_redirect_uri(self, client_id, code, redirect_uri, client, request, *a, **k):
        return self.t.codes.get(code, {}).get("redirect") == redirect_uri

    def validate_grant_type(self, client_id, grant_type, client, request, *a, **k):
        return grant_type in ("authorization_code", "refresh_token")

    def invalidate_authorization_code(self, client_id, code, request, *a, **k):
        with self.t.lock:
            self.t.codes.pop(code, None)

    def validate_refresh_token(self, refresh_token, client, request, *a, **k):
        with self.t.lock:
            entry = self.t.refresh.get(refresh_token)
        if entry:
            request.user = entry["user"]
        return entry is not None

    def get_original_scopes(self, refresh_token, request, *a, **k):
        return self.t.refresh[refresh_token]["scopes"]

    def save_bearer_token(self, token, request, *a, **k):
        with self.t.lock:
            grant = "refreshes" if request.grant_type == "refresh_token" else "codes"
            self.t.counts[grant] += 1
            # As Microsoft does: the refresh token used is replaced by the new one.
            self.t.refresh.pop(request.refresh_token or "", None)
            self.t.refresh[token["refresh_token"]] = dict(user=request.user,
                                                          scopes=request.scopes)
            self.t.access[token["access_token"]] = dict(
                user=request.user, expires=time.time() + token["expires_in"])

    def introspect_token(self, token, token_type_hint, request, *a, **k):
        with self.t.lock:
            entry = self.t.access.get(token)
        if not entry or entry["expires"] < time.time():
            return None
        return {"username": entry["user"]}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    peer = None  # the OAuthPeer, set on the class made for each port
    untrusted = False

    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=None, kind="application/json"):
        data = body.encode() if isinstance(body, str) else body
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def oauth(self, answer):
        headers, body, status = answer
        self.reply(status, body or "", {k: v for k, v in headers.items()
                                        if k.lower() != "content-type"})

    def do_GET(self):
        p = self.peer
        path, _, query = self.path.partition("?")
        if path == "/authorize":
            uri = p.base + self.path
            with p.tokens.lock:
                p.tokens.authorize = dict(urllib.parse.parse_qsl(query))
            try:
                scopes, _ = p.server.validate_authorization_request(uri, "GET")
                hint = p.tokens.authorize.get("login_hint", "")
                self.oauth(p.server.create_authorization_response(
                    uri, "GET", scopes=scopes, credentials={"user": hint}))
            except Exception as e:  # oauthlib's errors as a browser would see them
                self.reply(400, str(e), kind="text/plain")
        elif path == "/control/stats":
            with p.tokens.lock:
                stats = dict(p.tokens.counts, authorize=p.tokens.authorize,
                             refresh_tokens=list(p.tokens.refresh))
            self.reply(200, json.dumps(stats))
        else:
            self.reply(404, "{}")

    def do_POST(self):
        p = self.peer
        body = self.rfile.read(int(self.headers.get("Content-Length", 0))).decode()
        path, _, query = self.path.partition("?")
        headers = {"Content-Type": "application/x-www-form-urlencoded"}
        if self.untrusted:
            with p.tokens.lock:
                p.tokens.counts["untrusted"] += 1
            self.reply(400, '{"error":"invalid_grant"}')
        elif path == "/token":
            with p.tokens.lock:
                p.tokens.counts["requests"] += 1
            self.oauth(p.server.create_token_response(p.base + path, "POST", body, headers))
        elif path == "/introspect":
            self.oauth(p.server.create_introspect_response(p.base + path, "POST", body,
                                                           headers))
        elif path.startswith("/broken/"):
            self.broken(path)
        elif path.startswith("/control/"):
            self.control(path, dict(urllib.parse.parse_qsl(query)))
        else:
            self.reply(404, "{}")

    def broken(self, path):
        if path == "/broken/html":
            self.reply(502, "<html><body>Bad gateway</body></html>", kind="text/html")
        elif path == "/broken/extra":
            self.chunked([json.dumps({"access_token": "at", "token_type": "bearer",
                                      "expires_in": "60", "refresh_token": "rt",
                                      "ext": {"deep": [1, {"x": None}]},
                                      "id_token": 7}).encode()])
        else:  # far beyond any token
            self.chunked([b'{"pad":"'] + [b"x" * 8192] * 64)

    def chunked(self, pieces):
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        try:
            for piece in pieces:
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        except OSError:
            pass  # the client gave up, as it should
        self.close_connection = True

    def control(self, path, args):
        t = self.peer.tokens
        with t.lock:
            if path == "/control/lifetime":
                t.lifetime = int(args["seconds"])
            elif path == "/control/expire-access":
                t.access.clear()
            elif path == "/control/revoke":
                t.access.clear()
                t.refresh.clear()
            elif path == "/control/reset":
                t.reset()
        self.reply(200, "{}")


class OAuthPeer:
    def __init__(self, users=(), oauth_users=()):
        self.users, self.oauth_users = list(users), list(oauth_users)
        self.tokens = Tokens()
        self.listeners, self.dovecot, self.root = [], None, None

    def listen(self, context=None, untrusted=False):
        handler = type("PortHandler", (Handler,), {"peer": self, "untrusted": untrusted})
        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        if context:
            server.socket = context.wrap_socket(server.socket, server_side=True)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        self.listeners.append(server)
        return server.server_address[1]

    def start(self):
        self.root = tempfile.mkdtemp(prefix="varnocle-oauth-")
        os.chmod(self.root, 0o755)
        r = lambda name: os.path.join(self.root, name)  # noqa: E731
        demo_mailbox.make_certificate(r("ca.key"), r("ca.pem"), "Varnocle Test Authority")
        demo_mailbox.make_certificate(r("https.key"), r("https.pem"), "localhost",
                                      authority=(r("ca.pem"), r("ca.key")))
        demo_mailbox.make_certificate(r("self.key"), r("self.pem"), "localhost")
        self.server = WebApplicationServer(Validator(self.tokens),
                                           token_expires_in=lambda _: self.tokens.lifetime)
        def context(name):
            c = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            c.load_cert_chain(r(name + ".pem"), r(name + ".key"))
            return c
        self.base = f"https://localhost:{self.listen(context('https'))}"
        untrusted = self.listen(context("self"), untrusted=True)
        control = self.listen()
        self.start_dovecot(control)
        return {"VARNOCLE_OAUTH_URL": self.base,
                "VARNOCLE_OAUTH_UNTRUSTED_URL": f"https://localhost:{untrusted}",
                "VARNOCLE_OAUTH_CONTROL": f"http://127.0.0.1:{control}",
                "VARNOCLE_OAUTH_CACERT": r("ca.pem"), "VARNOCLE_OAUTH_CLIENT_ID": CLIENT_ID,
                "VARNOCLE_DOVECOT_DIR": self.dovecot_root,
                "VARNOCLE_DOVECOT_PLAIN_PORT": str(self.plain),
                "VARNOCLE_DOVECOT_TLS_PORT": str(self.tls)}

    def start_dovecot(self, control):
        root = self.dovecot_root = os.path.join(self.root, "dovecot")
        os.makedirs(root)
        demo_mailbox.prepare(root, self.users)
        for name, count in self.oauth_users:
            demo_mailbox.add_messages(root, name, count)
        self.plain, self.tls = demo_mailbox.free_port(), demo_mailbox.free_port()
        with open(os.path.join(root, "oauth2.conf.ext"), "w") as f:
            f.write(OAUTH2_CONF.format(port=control))
        with open(os.path.join(root, "dovecot.conf"), "w") as f:
            f.write(demo_mailbox.config_text(root, self.plain, self.tls) +
                    OAUTH2_PASSDB.format(root=root))
        self.dovecot = subprocess.Popen(
            [demo_mailbox.dovecot_binary(), "-F", "-c", os.path.join(root, "dovecot.conf")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not (demo_mailbox.wait_for(self.plain) and demo_mailbox.wait_for(self.tls)):
            raise RuntimeError(f"dovecot did not start; see {root}/dovecot.log")

    def stop(self, keep=False):
        for server in self.listeners:
            server.shutdown()
            server.server_close()
        if self.dovecot and self.dovecot.poll() is None:
            self.dovecot.terminate()
            try:
                self.dovecot.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.dovecot.kill()
                self.dovecot.wait()
        if self.root and not keep:
            shutil.rmtree(self.root, ignore_errors=True)


def browse(cacert, url):
    class Stay(urllib.request.HTTPRedirectHandler):
        def redirect_request(self, *args, **kwargs):
            return None  # the redirect is followed below, to another server

    https = urllib.request.HTTPSHandler(context=ssl.create_default_context(cafile=cacert))
    try:
        urllib.request.build_opener(Stay, https).open(url, timeout=30)
        return 1
    except urllib.error.HTTPError as e:
        location = e.headers.get("Location")
    urllib.request.urlopen(location, timeout=30).read()
    return 0


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "browse":
        return browse(sys.argv[2], sys.argv[3])
    args, command = demo_mailbox.wrapper_arguments(sys.argv, __doc__, (), ("--oauth-user",))
    if args is None:
        return 2
    if RequestValidator is object or not demo_mailbox.dovecot_binary():
        print("oauthlib or dovecot is not installed: skipped", file=sys.stderr)
        return SKIP
    oauth_users = [(u.split(":")[0], int(u.split(":")[1])) for u in args.oauth_user]
    peer = OAuthPeer(demo_mailbox.parse_users(args.user) if args.user else [], oauth_users)
    try:
        env = dict(os.environ, **peer.start())
        return subprocess.call(demo_mailbox.peer_command(command), env=env)
    finally:
        peer.stop(keep=args.keep)


if __name__ == "__main__":
    sys.exit(main())
