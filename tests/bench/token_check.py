#!/usr/bin/env python3
"""What a check with a valid access token costs over a password check, against the Dovecot of
tests/support/oauth_peer.py (which asks the authorization server about every token):

    /usr/bin/python3 tests/support/oauth_peer.py --user bob:secret:1000 \\
        --oauth-user alice@example.com:1000 -- \\
        /usr/bin/python3 tests/bench/token_check.py BUILD/tests/bench/bench_check [RUNS]

Signs alice in as the program would (PKCE, the code, the token), then runs bench_check, which
alternates alice's token check and bob's password check over TLS and prints their medians and
the ratio ("with the token" over "without").
"""
import base64
import hashlib
import json
import os
import secrets
import ssl
import subprocess
import sys
import urllib.error
import urllib.parse
import urllib.request


def access_token(env, user):
    base, ca = env["VARNOCLE_OAUTH_URL"], env["VARNOCLE_OAUTH_CACERT"]
    context = ssl.create_default_context(cafile=ca)
    verifier = secrets.token_urlsafe(32)
    challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest())
    redirect = "http://localhost:1/"
    query = urllib.parse.urlencode({
        "client_id": env["VARNOCLE_OAUTH_CLIENT_ID"], "response_type": "code",
        "redirect_uri": redirect, "scope": "pop offline_access", "state": "s",
        "code_challenge": challenge.rstrip(b"=").decode(), "code_challenge_method": "S256",
        "login_hint": user})

    class Stay(urllib.request.HTTPRedirectHandler):
        def redirect_request(self, *args, **kwargs):
            return None

    opener = urllib.request.build_opener(Stay, urllib.request.HTTPSHandler(context=context))
    try:
        opener.open(f"{base}/authorize?{query}")
        sys.exit("no redirect")
    except urllib.error.HTTPError as e:
        code = urllib.parse.parse_qs(urllib.parse.urlsplit(e.headers["Location"]).query)["code"]
    form = urllib.parse.urlencode({
        "grant_type": "authorization_code", "code": code[0], "redirect_uri": redirect,
        "client_id": env["VARNOCLE_OAUTH_CLIENT_ID"], "code_verifier": verifier}).encode()
    with urllib.request.urlopen(f"{base}/token", form, context=context) as reply:
        return json.load(reply)["access_token"]


def main():
    bench = os.path.abspath(sys.argv[1])
    runs = sys.argv[2] if len(sys.argv) > 2 else "41"
    env = os.environ
    token = access_token(env, "alice@example.com")
    return subprocess.call([bench, "127.0.0.1", env["VARNOCLE_DOVECOT_TLS_PORT"], "bob",
                            "secret", "1", runs, "alice@example.com", token])


if __name__ == "__main__":
    sys.exit(main())
