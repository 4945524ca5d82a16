#pragma once

#include "collection.h"

#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <atomic>
#include <functional>

class MediaAccess;

// The loader's connector. A worker thread that loads index files calls it; the
// connection checks, which wait on the network, run right there on the worker, and only
// what belongs to the GUI thread goes there: the question whether a resource is already
// connected, the password prompt, and adding the connection or warning. The worker
// blocks for those, one connection at a time; the GUI thread never waits. Calls from the
// GUI thread itself go straight through. After close() nothing is connected any more, a
// running check is broken off and a waiting worker is let go at once, so the GUI thread
// may then wait for the loader.
class GuiThreadConnector : public QObject, public MediumConnector {
    Q_OBJECT
public:
    // `access` is used on the thread this object lives on (the creating thread).
    explicit GuiThreadConnector(MediaAccess* access, QObject* parent = nullptr);
    ~GuiThreadConnector() override;

    void ConnectShare(const QString& medium, const QString& share) override;
    void ConnectWebMedium(const QString& medium, const QString& url) override;
    int connectionCount() const override;

    // Refuses further calls, breaks off running checks and releases workers that wait.
    void close();
    bool isClosed() const;

private:
    class WorkerPrompts;

    // Runs `call` on this object's thread; false when closed before it ran to its end.
    bool runOnOwnThread(const std::function<void()>& call) const;
    bool onOwnThread() const;
    // Asks the GUI thread whether the resource is connected; true also when closed.
    bool connectedOrClosed(const QString& resource) const;

    MediaAccess* access_;
    mutable QMutex mutex_;
    mutable QWaitCondition changed_;
    mutable bool busy_ = false;
    bool closed_ = false;
    std::atomic<bool> aborted_{false};
    QMutex oneConnection_; // held by a worker from the first question to the last step
};
