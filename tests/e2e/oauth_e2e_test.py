#!/usr/bin/env python3
"""Signing in with varnocle.exe under Wine, end to end: oauthlib's authorization server and a
Dovecot that takes its tokens (tests/support/oauth_peer.py), the browser being
oauth_peer.py's own, which Wine's winebrowser starts. An account whose sign-in is missing
reads "Sign-in needed"; the details dialog's "Sign in..." signs in through the browser; the
account then counts its mail; Exit stores the sign-in protected; a restart checks again
without signing in. Needs DISPLAY and WINEPREFIX (scripts/lib/display.sh), and root for
Dovecot.

  oauth_e2e_test.py --exe varnocle.exe --driver vtdriver.exe [--shot FILE]

--shot: a picture of the details dialog signed in (for the README) goes to FILE.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
from e2e_test import Run, data_folder, post_exit, windows_path  # noqa: E402
from first_start_test import stored_values  # noqa: E402

SKIPPED = 77
WM_COMMAND, EXIT, CONFIGURE = 0x0111, 40001, 40004
ACCOUNTS, DETAILS = "Edit Account Details", "Varnocle"
EDIT, ACCOUNT_LIST, DONE, OK = 1020, 1021, 1, 1
PROVIDER, SIGN_IN, SIGNED_IN = 1018, 1024, 1025
USER = "alice@outlook.com"
BROWSER_KEY = r"HKCU\Software\Wine\WineBrowser"


def write_settings(folder, env):
    from demo_mailbox import account_section, write_settings as write
    name, lines = account_section(USER, "", int(env["VARNOCLE_DOVECOT_TLS_PORT"]), True,
                                  extra=f"oauth=microsoft\noauth-user={USER}\n")
    path = os.path.join(folder, "varnocle.ini")
    write(path, [(name, lines)])
    url = env["VARNOCLE_OAUTH_URL"]
    with open(path, "a", newline="\r\n") as f:
        f.write(f"[oauth]\nmicrosoft-client-id={env['VARNOCLE_OAUTH_CLIENT_ID']}\n"
                f"microsoft-authorize-url={url}/authorize\nmicrosoft-token-url={url}/token\n")
    return name


def wine_reg(*words):
    subprocess.run(["wine", "reg", *words], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def signed_in_text(run):
    """The details dialog's sign-in line, waited for until it names someone."""
    for _ in range(150):
        out = run.driver("dialog", DETAILS, "text", SIGNED_IN)["output"]
        text = out.split("text=", 1)[1] if "text=" in out else ""
        if text.startswith("Signed in as"):
            return text
        time.sleep(0.2)
    return text


def shoot_dialog(run, path):
    rect = run.driver("dialog", DETAILS, "rect")
    if rect.get("found") == "1":
        crop = f"{rect['width']}x{rect['height']}+{rect['left']}+{rect['top']}"
        subprocess.run(["import", "-window", "root", "-crop", crop, "+repage", path], check=True,
                       stdin=subprocess.DEVNULL)


def scenario(run, args, peer, env, program):
    folder = data_folder()
    shutil.rmtree(folder, ignore_errors=True)
    name = write_settings(folder, env)
    exe = windows_path(program)
    started = run.driver("launch", exe)
    run.check(run.lines("Sign-in needed"), "an account without its sign-in: Sign-in needed")

    run.driver("post", WM_COMMAND, CONFIGURE, 0)
    run.driver("dialog", ACCOUNTS, "select", ACCOUNT_LIST, 0)
    run.driver("dialog", ACCOUNTS, "click", EDIT)
    run.driver("dialog", DETAILS, "click", SIGN_IN)
    text = signed_in_text(run)
    run.check(text == f"Signed in as {USER}", f"the dialog shows who signed in: {text!r}")
    if args.shot:
        # As the user sees it for Outlook.com: the preset, then the picture, then back.
        run.driver("dialog", DETAILS, "choose", PROVIDER, 1)
        time.sleep(0.5)
        shoot_dialog(run, args.shot)
        run.driver("dialog", DETAILS, "choose", PROVIDER, 2)
        run.driver("dialog", DETAILS, "type", 1001, "127.0.0.1")
        run.driver("dialog", DETAILS, "type", 1008, env["VARNOCLE_DOVECOT_TLS_PORT"])
    run.driver("dialog", DETAILS, "click", OK)
    time.sleep(1)
    run.driver("dialog", ACCOUNTS, "click", DONE)
    run.check(run.lines("3 / 3", timeout=30), "signed in, the account counts its mail: 3 / 3")
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.check(run.driver("wait-exit", started.get("pid", 0))["rc"] == 0, "Exit")

    stored = stored_values(os.path.join(folder, "varnocle.ini")).get(name, {})
    token = stored.get("oauth-token", "")
    with peer.tokens.lock:
        refresh = list(peer.tokens.refresh)
    run.check(stored.get("oauth") == "microsoft" and stored.get("oauth-user") == USER,
              f"[{name}] names the sign-in: {stored}")
    run.check(len(token) > 100 and not any(r in token for r in refresh),
              "the refresh token is stored protected, never in the clear")

    codes = peer.tokens.counts["codes"]
    started = run.driver("launch", exe)
    run.check(run.lines("3 / 3", timeout=30), "after a restart: 3 / 3 without signing in")
    run.check(peer.tokens.counts["codes"] == codes, "no new sign-in after the restart")
    run.driver("post", WM_COMMAND, EXIT, 0)
    run.check(run.driver("wait-exit", started.get("pid", 0))["rc"] == 0, "second Exit")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--shot")
    args = parser.parse_args()
    for name in ("DISPLAY", "WINEPREFIX"):
        if not os.environ.get(name):
            sys.exit(f"{name} is not set: source scripts/lib/display.sh and start_display")
    if os.geteuid() != 0:
        print("oauth_e2e_test: Dovecot's mail user needs root", file=sys.stderr)
        return SKIPPED
    import oauth_peer
    if oauth_peer.RequestValidator is object:
        print("oauth_e2e_test: oauthlib is not installed", file=sys.stderr)
        return SKIPPED
    peer = oauth_peer.OAuthPeer(oauth_users=[(USER, 3)])
    env = peer.start()
    # The program in a folder of its own, beside the authority of the test server.
    base = tempfile.mkdtemp(prefix="vt-oauth-")
    program = os.path.join(base, "varnocle.exe")
    shutil.copy(args.exe, program)
    shutil.copy(env["VARNOCLE_OAUTH_CACERT"], os.path.join(base, "cacert.pem"))
    browser = f"{sys.executable} {os.path.join(HERE, '..', 'support', 'oauth_peer.py')} " \
              f"browse {env['VARNOCLE_OAUTH_CACERT']}"
    wine_reg("add", BROWSER_KEY, "/v", "Browsers", "/t", "REG_MULTI_SZ", "/d", browser, "/f")
    run = Run(argparse.Namespace(driver=args.driver, shots=os.path.join(base, "shots")))
    try:
        scenario(run, args, peer, env, program)
    finally:
        post_exit(args.driver)
        wine_reg("delete", BROWSER_KEY, "/v", "Browsers", "/f")
        peer.stop()
        shutil.rmtree(base, ignore_errors=True)
    return run.verdict()


if __name__ == "__main__":
    sys.exit(main())
