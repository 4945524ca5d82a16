#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// A small HTTP server on loopback (Debian's python3) serving the files of a folder.
// "/redirect/<path>" answers 302 to "/<path>", "/status/<code>/<name>" answers with
// that code and a short body, "/huge.cd" sends 65 MiB, and every
// request's path and user agent are appended to requests.log.
class HttpPeer {
public:
    HttpPeer() {
        root_ = dir_.filePath(QStringLiteral("www"));
        QDir().mkpath(root_);
        const QString script = dir_.filePath(QStringLiteral("server.py"));
        QFile f(script);
        f.open(QIODevice::WriteOnly);
        f.write(R"PY(
import http.server, os, sys
root, log = sys.argv[1], sys.argv[2]
class H(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *a, **k):
        super().__init__(*a, directory=root, **k)
    def log_message(self, *a):
        pass
    def do_GET(self):
        with open(log, "a") as f:
            f.write(self.path + "\t" + self.headers.get("User-Agent", "") + "\n")
        if self.path.startswith("/redirect/"):
            self.send_response(302)
            self.send_header("Location", self.path[len("/redirect"):])
            self.end_headers()
            return
        if self.path.startswith("/status/"):
            code = int(self.path.split("/")[2])
            body = b"" if code == 204 else b"BEGIN::CD\r\nLABEL::Fehlerseite\r\n"
            self.send_response(code)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        if self.path == "/huge.cd":
            size = 65 * 1024 * 1024
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            chunk = b"A" * 65536
            try:
                for _ in range(size // len(chunk)):
                    self.wfile.write(chunk)
            except Exception:
                pass
            return
        super().do_GET()
s = http.server.ThreadingHTTPServer(("127.0.0.1", 0), H)
print(s.server_address[1], flush=True)
s.serve_forever()
)PY");
        f.close();
        proc_.start(QStringLiteral("/usr/bin/python3"), {script, root_, logPath()});
        if (proc_.waitForReadyRead(10000)) port_ = proc_.readLine().trimmed().toInt();
    }
    ~HttpPeer() {
        proc_.kill();
        proc_.waitForFinished(3000);
    }
    int port() const { return port_; }
    QString logPath() const { return dir_.filePath(QStringLiteral("requests.log")); }
    QString log() const {
        QFile f(logPath());
        f.open(QIODevice::ReadOnly);
        return QString::fromUtf8(f.readAll());
    }
    void put(const QString& relative, const QByteArray& data) {
        const QString path = root_ + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(data);
    }

private:
    QTemporaryDir dir_;
    QString root_;
    QProcess proc_;
    int port_ = 0;
};
