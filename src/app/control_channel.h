#pragma once

#include <QByteArray>
#include <QString>

// The per-user control channel of a running vorlune: a local socket in the runtime
// folder. The server greets each client with "VORLUNE <pid>"; clients answer with
// "REFRESH <handle>" or "MP3CTRL <handle> <code>", the handle being the pid they were
// greeted with.
namespace control {

// $XDG_RUNTIME_DIR when it is a folder of this user that nobody else can change, else
// the private folder <temp>/vorlune-<uid> (created with mode 0700). Empty when neither
// can be had (the folder exists and belongs to someone else): then there is no lock.
QString runtimeDir();
// In runtimeDir(); empty when it is.
QString socketPath();
QString lockPath();

// The handle the running instance wrote into its lock file; 0 when the lock is held
// but its handle is not known; -1 when no instance holds the lock.
qint64 runningInstanceHandle();

struct Message {
    enum Kind { Invalid, Refresh, Mp3Ctrl } kind = Invalid;
    qint64 handle = -1;
    qint64 code = 0;
};

// Parses one line a client sent (without the line end). Anything malformed is Invalid.
Message parseMessage(const QByteArray& line);
QByteArray greeting(qint64 handle);

// Connects to a running instance and sends the message with its handle: the one in
// the lock file, else the one its greeting announces. While an instance holds the lock
// the connection is retried until the time-out (it may still be starting); a message
// sent with the lock file's handle stays queued for an instance too busy to answer.
// False when no instance could be reached.
bool sendRefresh(int timeoutMs = 2000);
bool sendMp3Ctrl(int code, int timeoutMs = 2000);

} // namespace control
