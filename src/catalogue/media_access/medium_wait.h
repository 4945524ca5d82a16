#pragma once

#include "task_service.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

// Waits for a medium. The roots are first tested one after another as fast as they
// answer, the last one holding the label's identification file winning; when none does,
// one root is tested every 100 ms, round and round, the roots read afresh at the start of
// every round, so a medium that is mounted while the wait runs is noticed. The tests run
// on a worker thread, one at a time, so a root that does not answer (a share gone away)
// holds up only the wait, never the thread that waits. One wait at a time.
class MediumWait : public QObject {
    Q_OBJECT
public:
    // The roots to test, in order; called on the wait's own thread.
    using RootsFn = std::function<QStringList()>;
    // The found type of the identification file on a root, or -1 when it is not there.
    // Called on a worker thread: it must be thread-safe and not use the wait's thread.
    using ProbeFn = std::function<int(const QString& root, const QString& label)>;

    MediumWait(RootsFn roots, ProbeFn probe, QObject* parent = nullptr);
    // Returns once a test still running has ended.
    ~MediumWait() override;

    // The service the tests run on; without one the wait keeps a service of its own.
    void setTaskService(TaskService* tasks) { tasks_ = tasks; }
    TaskService& tasks();

    // False while another wait runs.
    bool start(const QString& label);
    void cancel();

    bool isActive() const { return active_; }
    // True until the first pass over all roots has ended.
    bool inFirstRound() const { return active_ && firstRound_; }
    QString label() const { return label_; }
    // The root and type that the last successful wait found.
    QString foundRoot() const { return foundRoot_; }
    int foundType() const { return foundType_; }

    void setInterval(int ms) { timer_.setInterval(ms); }

    // Media changed (a volume came, went or was mounted): the polling round starts afresh
    // at once, roots not seen before first.
    void recheck();
    // A root found to hold the label's identification file by someone else ends the wait.
    void accept(const QString& root, int type);
    // A message for whoever shows the wait (a refused mount, for example).
    void notify(const QString& text) { emit notice(text); }

signals:
    void found(const QString& root, int type);
    void cancelled();
    // The first pass found nothing; the wait goes on polling.
    void firstRoundMissed();
    void notice(const QString& text);

private:
    void nextInFirstRound();
    void tick();
    void probe(const QString& root);
    void onProbed(int type);
    void finish();
    void succeed(const QString& root, int type);

    RootsFn roots_;
    ProbeFn probe_;
    QTimer timer_;
    QPointer<TaskService> tasks_;
    std::unique_ptr<TaskService> ownTasks_;
    tasks::Id probeJob_ = 0; // the test under way
    bool active_ = false;
    bool firstRound_ = false;
    bool probing_ = false;
    quint64 generation_ = 0;  // a test started for an earlier wait is ignored
    quint64 probeOfWait_ = 0; // the wait the running test belongs to
    QString label_;
    QStringList round_;
    QStringList seen_; // roots of the last reading
    int next_ = 0;
    QString probedRoot_;
    QString bestRoot_;
    int bestType_ = -1;
    QString foundRoot_;
    int foundType_ = 0;
};
