#!/usr/bin/python3
"""A throw-away RFC 3161 time-stamping service on 127.0.0.1, for the tests of
the Windows build's signatures (scripts/test): osslsigncode -ts sends it a
time-stamp request over HTTP, and `openssl ts -reply` answers it with the
certificate tsa.pem and key tsa.key that test-certificate.sh made.

    time-stamp-authority.py <certificate folder>

Prints the port it listens on, then answers until it is ended, or at most
64 requests, or for an hour at the most.
"""
import http.server
import pathlib
import subprocess
import sys
import tempfile
import time

CONFIG = """\
[ tsa ]
default_tsa = test_tsa
[ test_tsa ]
serial = {serial}
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
"""


def main():
    folder = pathlib.Path(sys.argv[1]).resolve()
    config = folder / "tsa.cnf"
    config.write_text(CONFIG.format(serial=folder / "tsa.serial"))
    (folder / "tsa.serial").write_text("01\n")

    answered = []

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            answered.append(self.path)
            query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
            with tempfile.TemporaryDirectory() as scratch:
                request, reply = pathlib.Path(scratch, "request"), pathlib.Path(scratch, "reply")
                request.write_bytes(query)
                made = subprocess.run(
                    ["openssl", "ts", "-reply", "-config", str(config), "-queryfile", str(request),
                     "-signer", str(folder / "tsa.pem"), "-inkey", str(folder / "tsa.key"), "-out", str(reply)],
                    capture_output=True)
                if made.returncode != 0:
                    self.send_error(400, "no time stamp: " + made.stderr.decode(errors="replace")[-200:])
                    return
                answer = reply.read_bytes()
            self.send_response(200)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)

        def log_message(self, *args):
            pass

    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    server.timeout = 5
    print(server.server_port, flush=True)
    deadline = time.monotonic() + 3600
    while len(answered) < 64 and time.monotonic() < deadline:
        server.handle_request()


if __name__ == "__main__":
    main()
