# Test peer: serves a folder over HTTP, optionally behind Basic authentication.
# Prints its port, then logs every GET path to the log file.
import base64
import http.server
import os
import sys
import time
import urllib.parse

root, log_path, user, password = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
expected = "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode() if user else None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(log_path, "a", encoding="utf-8") as log:
            log.write(self.path + "\n")
        if expected and self.headers.get("Authorization") != expected:
            self.send_response(401, "Unauthorized")
            self.send_header("WWW-Authenticate", 'Basic realm="musik"')
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        path = urllib.parse.unquote(self.path)
        if path.endswith("/") and os.path.isdir(os.path.join(root, path.lstrip("/"))):
            body = b"<html>listing</html>"
            self.send_response(200, "OK")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if os.path.basename(path).startswith("truncated"):
            # Announces more than it sends, then hangs up.
            self.send_response(200, "OK")
            self.send_header("Content-Length", "100000")
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(b"x" * 1000)
            self.wfile.flush()
            self.close_connection = True
            return
        if os.path.basename(path).startswith("slow"):
            # 400 kB at about 100 kB/s.
            self.send_response(200, "OK")
            self.send_header("Content-Length", str(400 * 1024))
            self.end_headers()
            try:
                for _ in range(40):
                    self.wfile.write(b"s" * 10240)
                    self.wfile.flush()
                    time.sleep(0.1)
            except OSError:
                pass
            return
        full = os.path.join(root, path.lstrip("/"))
        if not os.path.isfile(full):
            self.send_response(404, "Not Found")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        with open(full, "rb") as f:
            body = f.read()
        self.send_response(200, "OK")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
