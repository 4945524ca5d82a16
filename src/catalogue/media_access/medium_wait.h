#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// Waits for a medium: every 100 ms one root is tested for the label's identification
// file, round and round; the roots are read afresh at the start of every round, so a
// medium that is mounted while the wait runs is noticed. One wait at a time.
class MediumWait : public QObject {
    Q_OBJECT
public:
    // The roots to test, in order.
    using RootsFn = std::function<QStringList()>;
    // The found type of the identification file on a root, or -1 when it is not there.
    using ProbeFn = std::function<int(const QString& root, const QString& label)>;

    MediumWait(RootsFn roots, ProbeFn probe, QObject* parent = nullptr);

    // False while another wait runs.
    bool start(const QString& label);
    void cancel();

    bool isActive() const { return active_; }
    QString label() const { return label_; }
    // The root and type that the last successful wait found.
    QString foundRoot() const { return foundRoot_; }
    int foundType() const { return foundType_; }

    void setInterval(int ms) { timer_.setInterval(ms); }

signals:
    void found(const QString& root, int type);
    void cancelled();

private:
    void tick();
    void finish();

    RootsFn roots_;
    ProbeFn probe_;
    QTimer timer_;
    bool active_ = false;
    QString label_;
    QStringList round_;
    int next_ = 0;
    QString foundRoot_;
    int foundType_ = 0;
};
