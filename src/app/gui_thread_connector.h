#pragma once

#include "collection.h"

#include <QMutex>
#include <QObject>
#include <QWaitCondition>

#include <functional>

// Hands the loader's connection requests to a connector that lives on the GUI thread.
// A worker thread blocks until the GUI thread has run the call, one call at a time;
// calls from the GUI thread itself go straight through. After close() nothing is
// connected any more and a waiting worker is let go at once, so the GUI thread may then
// wait for the loader without a deadlock.
class GuiThreadConnector : public QObject, public MediumConnector {
    Q_OBJECT
public:
    // `target` is used on the thread this object lives on (the creating thread).
    explicit GuiThreadConnector(MediumConnector* target, QObject* parent = nullptr);
    ~GuiThreadConnector() override;

    void ConnectShare(const QString& medium, const QString& share) override;
    void ConnectWebMedium(const QString& medium, const QString& url) override;
    int connectionCount() const override;

    // Refuses further calls and releases workers that wait for one.
    void close();
    bool isClosed() const;

private:
    // Runs `call` on this object's thread; false when closed before it ran to its end.
    bool runOnOwnThread(const std::function<void()>& call) const;

    MediumConnector* target_;
    mutable QMutex mutex_;
    mutable QWaitCondition changed_;
    mutable bool busy_ = false;
    bool closed_ = false;
};
