#pragma once

#include <QString>

// The per-user instance lock: an exclusive flock on the lock file of the runtime
// folder, held for the life of the object (and released by the system if the process
// dies).
class SingleInstance {
public:
    explicit SingleInstance(QString lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process now holds the lock; false when another one does.
    bool acquire();
    bool held() const { return fd_ >= 0; }
    void release();

private:
    QString lockPath_;
    int fd_ = -1;
};
