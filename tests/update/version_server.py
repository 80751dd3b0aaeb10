"""An HTTP server on 127.0.0.1:80 for the version check tests.

The reply is chosen by the first label of the Host header ("newer.test" -> "newer"), so one
server serves every case and each case only needs its own name. Well-formed replies go
through http.server's own response methods; malformed ones are written byte by byte.
A request that is not exactly the one the program must send is answered 400 without a
length, which the client treats as a failed check.
"""

import http.server
import socketserver
import sys
import threading
import time

EXPECTED_REQUEST = b"GET /version.txt HTTP/1.1\nHost:%s\n\n"


def raw(*lines, body=b"", eol=b"\r\n"):
    return eol.join(line.encode() for line in lines) + eol + eol + body


LONG_LINE = "X-Filler: " + "a" * 300 + "Content-Length: 200" + "b" * 700

# name -> bytes of a complete raw reply
RAW = {
    "nolength": raw("HTTP/1.1 200 OK", "Content-Type: text/plain", body=b"1,1,3"),
    "zerolength": raw("HTTP/1.1 200 OK", "Content-Length: 0"),
    "length300": raw("HTTP/1.1 200 OK", "Content-Length: 300", body=b"1,1,3," + b"x" * 294),
    "negative": raw("HTTP/1.1 200 OK", "Content-Length: -5", body=b"1,1,3"),
    "lowercase": raw("HTTP/1.1 200 OK", "content-length: 5", body=b"1,1,3"),
    "lfonly": raw("HTTP/1.1 200 OK", "Content-Type: text/plain", "Content-Length: 5",
                  body=b"1,1,3", eol=b"\n"),
    "longline": raw("HTTP/1.1 200 OK", LONG_LINE, "Content-Length: 5", body=b"1,1,3"),
}

# name -> body served with status 200 by http.server itself
BODIES = {
    "newer": b"1,1,3",
    "same": b"1,1,2",
    "twofields": b"1,1",
    "fourfields": b"1,1,3,0",
    "blanks": b"1, 1, 3\r\n",
    "minusone": b"1,1,-1",
    "trailingcomma": b"1,1,",
}

# name -> function(handler) writing a reply over time
TIMED = {}


def timed(function):
    TIMED[function.__name__] = function
    return function


@timed
def split(h):
    h.send_bytes(raw("HTTP/1.1 200 OK", "Content-Length: 5", body=b"1,1"))
    time.sleep(0.2)
    h.send_bytes(b",3")


@timed
def shortclose(h):
    h.send_bytes(raw("HTTP/1.1 200 OK", "Content-Length: 5", body=b"1,1"))


@timed
def shortstall(h):
    h.send_bytes(raw("HTTP/1.1 200 OK", "Content-Length: 5", body=b"1,1"))
    time.sleep(3)


@timed
def endless(h):
    h.send_bytes(b"HTTP/1.1 200 OK\r\nX-Endless: ")
    while h.send_bytes(b"a" * 4096):
        pass


@timed
def trickle(h):
    h.send_bytes(b"HTTP/1.1 200 OK\r\n")
    while h.send_bytes(b"a"):
        time.sleep(0.1)


def host_names():
    """Every name this server answers, for the private hosts file."""
    names = ["notfound"] + list(RAW) + list(BODIES) + list(TIMED)
    return [name + ".test" for name in names]


class RecordingReader:
    """Keeps the bytes http.server reads, so the request can be compared exactly."""

    def __init__(self, inner):
        self.inner = inner
        self.seen = bytearray()

    def readline(self, *args):
        line = self.inner.readline(*args)
        self.seen += line
        return line

    def read(self, *args):
        data = self.inner.read(*args)
        self.seen += data
        return data

    def close(self):
        self.inner.close()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def setup(self):
        super().setup()
        self.rfile = RecordingReader(self.rfile)

    def log_message(self, format, *args):
        pass

    def send_bytes(self, data):
        try:
            self.wfile.write(data)
            self.wfile.flush()
            return True
        except OSError:
            return False

    def do_GET(self):
        host = self.headers.get("Host", "")
        self.close_connection = True
        if bytes(self.rfile.seen) != EXPECTED_REQUEST % host.encode():
            sys.stderr.write("version server: unexpected request %r\n" % bytes(self.rfile.seen))
            self.send_bytes(b"HTTP/1.1 400 Bad Request\r\n\r\n")
            return
        name = host.split(".")[0]
        if name == "notfound":
            self.send_version(404, b"1,1,3")
        elif name in BODIES:
            self.send_version(200, BODIES[name])
        elif name in RAW:
            self.send_bytes(RAW[name])
        elif name in TIMED:
            TIMED[name](self)
        else:
            self.send_version(404, b"no such case")

    def send_version(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.send_bytes(body)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def start(address="127.0.0.1", port=80):
    """Starts the server on a thread of its own and returns it (shutdown() stops it)."""
    server = Server((address, port), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server
