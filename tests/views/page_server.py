# Test peer: answers every GET with one HTML page, optionally behind Basic
# authentication. Prints its port, then logs "path<TAB>Authorization" per request.
import base64
import http.server
import sys

page_path, log_path, user, password = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
expected = "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode() if user else None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        auth = self.headers.get("Authorization") or ""
        with open(log_path, "a", encoding="utf-8") as log:
            log.write(f"{self.path}\t{auth}\n")
        if expected and auth != expected:
            self.send_response(401, "Unauthorized")
            self.send_header("WWW-Authenticate", 'Basic realm="musik"')
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if self.path.endswith(".png"):
            body, kind = base64.b64decode(
                "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg=="), "image/png"
        else:
            with open(page_path, "rb") as f:
                body, kind = f.read(), "text/html; charset=utf-8"
        self.send_response(200, "OK")
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
