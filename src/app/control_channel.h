#pragma once

#include <QByteArray>
#include <QString>

// The per-user control channel of a running vorlune: a local socket in the runtime
// folder. The server greets each client with "VORLUNE <pid>"; clients answer with
// "REFRESH <handle>" or "MP3CTRL <handle> <code>", the handle being the pid they were
// greeted with.
namespace control {

// $XDG_RUNTIME_DIR, else a private folder /tmp/vorlune-<uid> (created with mode 0700).
QString runtimeDir();
QString socketPath();
QString lockPath();

struct Message {
    enum Kind { Invalid, Refresh, Mp3Ctrl } kind = Invalid;
    qint64 handle = -1;
    qint64 code = 0;
};

// Parses one line a client sent (without the line end). Anything malformed is Invalid.
Message parseMessage(const QByteArray& line);
QByteArray greeting(qint64 handle);

// Connects to a running instance, reads its greeting and sends the message with the
// handle it announced. False when no instance answers within the time-out.
bool sendRefresh(int timeoutMs = 2000);
bool sendMp3Ctrl(int code, int timeoutMs = 2000);

} // namespace control
