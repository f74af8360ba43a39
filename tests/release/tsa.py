"""tsa.py DIR: a throwaway RFC 3161 time-stamping server on 127.0.0.1, answered by `openssl ts`
with the certificate DIR/tsa.crt and key DIR/tsa.key (extended key usage timeStamping). Writes
its port to DIR/port once it listens; serves until killed."""
import http.server
import pathlib
import subprocess
import sys
import tempfile

folder = pathlib.Path(sys.argv[1]).resolve()
config = folder / "tsa.cnf"
config.write_text(f"""[tsa]
default_tsa = release_test
[release_test]
serial = {folder}/serial
signer_cert = {folder}/tsa.crt
signer_key = {folder}/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_chain = no
ess_cert_id_alg = sha256
""")
(folder / "serial").write_text("01\n")


class Stamp(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        with tempfile.TemporaryDirectory() as scratch:
            query, reply = pathlib.Path(scratch, "query"), pathlib.Path(scratch, "reply")
            query.write_bytes(self.rfile.read(int(self.headers["Content-Length"])))
            done = subprocess.run(["openssl", "ts", "-reply", "-config", str(config), "-queryfile",
                                   str(query), "-out", str(reply)], capture_output=True)
            body = reply.read_bytes() if done.returncode == 0 else b""
        self.send_response(200 if body else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(("127.0.0.1", 0), Stamp)
(folder / "port").write_text(str(server.server_port))
server.serve_forever()
