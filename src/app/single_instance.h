#pragma once

#include <QString>

// The per-user instance lock: an exclusive flock on the lock file of the runtime
// folder, held for the life of the object (and released by the system if the process
// dies). The holder writes its control handle (the process id) into the file, so that
// a second start can address it before it answers.
class SingleInstance {
public:
    explicit SingleInstance(QString lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    enum Outcome {
        Acquired,      // this process now holds the lock
        HeldElsewhere, // another process does: a running instance
        Failed,        // no lock could be taken at all; see errorText()
    };
    Outcome acquire();
    bool held() const { return fd_ >= 0; }
    void release();
    // Why the last acquire() failed.
    const QString& errorText() const { return error_; }

private:
    QString lockPath_;
    QString error_;
    int fd_ = -1;
};
