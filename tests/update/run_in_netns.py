#!/usr/bin/env python3
"""Runs a test binary inside a private network namespace, where it may use port 80.

  run_in_netns.py [--http] [--peer SCRIPT] -- BINARY [ARGS...]

Inside the namespace: loopback is up; a device pair swallows everything sent to
10.213.0.2 (VARNOCLE_SILENT_ADDRESS, a peer that never answers); /etc/hosts names the
version server's cases (127.0.0.1) and "noserver.test" (127.0.0.2, where nothing listens),
and there is no DNS server, so other names fail at once. --http starts version_server.py on
127.0.0.1:80. --peer starts SCRIPT (Python) in the namespace first, waits for it to print
"ready", and closes its stdin at the end. A Windows binary runs under Wine with a wineserver
of its own: Wine creates sockets in the wineserver, so a server started outside would put
them outside the namespace.
The prefix is seen through an overlay, so nothing written there outlives the run.

Needs root; exits 77 (skipped) when a namespace cannot be made.
"""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
MARK = "VARNOCLE_PRIVATE_NETWORK"
SILENT_DEVICE = ("varnocle0", "varnocle1", "10.213.0.1/24", "10.213.0.2")
SKIPPED = 77


def run(*command, check=True):
    return subprocess.run(command, check=check, stdin=subprocess.DEVNULL).returncode == 0


def enter_namespace():
    if os.geteuid() != 0:
        print("run_in_netns: needs root for a private network namespace", file=sys.stderr)
        sys.exit(SKIPPED)
    if subprocess.run(["unshare", "--net", "--mount", "true"]).returncode != 0:
        print("run_in_netns: cannot make a private namespace here", file=sys.stderr)
        sys.exit(SKIPPED)
    env = dict(os.environ, **{MARK: "1"})
    command = ["unshare", "--net", "--mount", "--propagation", "private",
               sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
    sys.exit(subprocess.call(command, env=env))


def bind_file(text, target, folder):
    path = os.path.join(folder, os.path.basename(target))
    with open(path, "w") as f:
        f.write(text)
    run("mount", "--bind", path, target)


def prepare_network(folder):
    run("ip", "link", "set", "lo", "up")
    # A veth pair whose far end has no address: with a fixed neighbour entry the connection
    # attempts leave and nothing ever answers them.
    name, peer, own, silent = SILENT_DEVICE
    if run("ip", "link", "add", name, "type", "veth", "peer", "name", peer, check=False):
        run("ip", "addr", "add", own, "dev", name)
        run("ip", "link", "set", name, "up")
        run("ip", "link", "set", peer, "up")
        run("ip", "neigh", "add", silent, "lladdr", "02:00:00:00:00:02", "dev", name,
            "nud", "permanent")
        os.environ["VARNOCLE_SILENT_ADDRESS"] = silent
    sys.path.insert(0, HERE)
    import version_server
    hosts = ["127.0.0.1 localhost", "127.0.0.2 noserver.test"]
    hosts += ["127.0.0.1 " + n for n in version_server.host_names()]
    bind_file("\n".join(hosts) + "\n", "/etc/hosts", folder)
    bind_file("", "/etc/resolv.conf", folder)
    return version_server


def isolate_wine(folder):
    """A private wineserver in this namespace over a copy-on-write view of the tests' prefix,
    the one scripts/wine-run runs the binary in."""
    prefix = subprocess.run([os.path.join(ROOT, "scripts", "test-env"), "printenv", "WINEPREFIX"],
                            check=True, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            text=True).stdout.strip()
    server_dir = "/tmp/.wine-%d" % os.getuid()
    os.makedirs(server_dir, mode=0o700, exist_ok=True)
    run("mount", "-t", "tmpfs", "-o", "mode=0700", "tmpfs", server_dir)
    upper, work = os.path.join(folder, "upper"), os.path.join(folder, "work")
    os.makedirs(upper)
    os.makedirs(work)
    run("mount", "-t", "overlay", "overlay", "-o",
        "lowerdir=%s,upperdir=%s,workdir=%s" % (prefix, upper, work), prefix)


def start_peer(script):
    peer = subprocess.Popen([sys.executable, script], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
    if peer.stdout.readline().strip() != "ready":
        peer.kill()
        sys.exit("run_in_netns: the peer %s did not start" % script)
    return peer


def stop_peer(peer):
    peer.stdin.close()
    try:
        peer.wait(timeout=10)
    except subprocess.TimeoutExpired:
        peer.kill()


def stop_wine():
    run("wineserver", "-k", check=False)
    run("wineserver", "-w", check=False)


def main():
    args = sys.argv[1:]
    if os.environ.get(MARK) != "1":
        enter_namespace()
    options = args[: args.index("--")] if "--" in args else []
    http = "--http" in options
    peer_script = options[options.index("--peer") + 1] if "--peer" in options else None
    command = args[args.index("--") + 1:] if "--" in args else args
    if not command:
        print(__doc__, file=sys.stderr)
        return 2
    windows = command[0].lower().endswith(".exe")
    with tempfile.TemporaryDirectory(prefix="varnocle-netns-") as folder:
        version_server = prepare_network(folder)
        server = version_server.start() if http else None
        peer = start_peer(peer_script) if peer_script else None
        if windows:
            isolate_wine(folder)
            command = [os.path.join(ROOT, "scripts", "wine-run")] + command
        try:
            return subprocess.call(command, stdin=subprocess.DEVNULL)
        finally:
            if windows:
                stop_wine()
            if server:
                server.shutdown()
            if peer:
                stop_peer(peer)


if __name__ == "__main__":
    sys.exit(main())
