#include "medium_wait.h"

MediumWait::MediumWait(RootsFn roots, ProbeFn probe, QObject* parent)
    : QObject(parent), roots_(std::move(roots)), probe_(std::move(probe)) {
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &MediumWait::tick);
}

MediumWait::~MediumWait() {
    // The test uses what the probe function holds, which may go right after the wait.
    if (probing_ && tasks_) tasks_->waitForWork(probeJob_);
}

TaskService& MediumWait::tasks() {
    if (tasks_) return *tasks_;
    if (!ownTasks_) ownTasks_ = std::make_unique<TaskService>();
    return *ownTasks_;
}

bool MediumWait::start(const QString& label) {
    if (active_) return false;
    active_ = true;
    firstRound_ = true;
    ++generation_;
    label_ = label;
    foundRoot_.clear();
    foundType_ = 0;
    bestRoot_.clear();
    bestType_ = -1;
    round_ = roots_();
    seen_ = round_;
    next_ = 0;
    // The first answer always comes through the event loop, after start() returned.
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == generation_ && !probing_) nextInFirstRound();
        },
        Qt::QueuedConnection);
    return true;
}

void MediumWait::cancel() {
    if (!active_) return;
    finish();
    emit cancelled();
}

void MediumWait::finish() {
    timer_.stop();
    active_ = false;
    firstRound_ = false;
    ++generation_;
}

void MediumWait::succeed(const QString& root, int type) {
    foundRoot_ = root;
    foundType_ = type;
    finish();
    emit found(root, type);
}

void MediumWait::nextInFirstRound() {
    if (next_ < round_.size()) {
        probe(round_.at(next_++));
        return;
    }
    if (bestType_ >= 0) {
        succeed(bestRoot_, bestType_);
        return;
    }
    firstRound_ = false;
    round_.clear();
    next_ = 0;
    timer_.start();
    emit firstRoundMissed();
}

void MediumWait::tick() {
    if (!active_ || probing_) return; // one test at a time: a slow root delays the round
    if (next_ >= round_.size()) {
        round_ = roots_();
        seen_ = round_;
        next_ = 0;
        if (round_.isEmpty()) return;
    }
    probe(round_.at(next_++));
}

void MediumWait::recheck() {
    if (!active_ || firstRound_) return; // the first pass reads the roots itself
    const QStringList now = roots_();
    QStringList fresh, known;
    for (const QString& root : now)
        (seen_.contains(root) ? known : fresh) << root;
    seen_ = now;
    round_ = fresh + known;
    next_ = 0;
    if (!probing_ && !round_.isEmpty()) probe(round_.at(next_++));
}

void MediumWait::accept(const QString& root, int type) {
    if (active_) succeed(root, type);
}

void MediumWait::probe(const QString& root) {
    probing_ = true;
    probeOfWait_ = generation_;
    probedRoot_ = root;
    probeJob_ = tasks().run(
        tasks::Kind::Lookup, QStringLiteral("Medium suchen"), false,
        [probe = probe_, root, label = label_](const TaskControl&) {
            return probe ? probe(root, label) : -1;
        },
        this, [this](TaskOutcome<int> outcome) { onProbed(outcome.ok ? outcome.value : -1); });
}

void MediumWait::onProbed(int type) {
    probing_ = false;
    probeJob_ = 0;
    if (!active_ || probeOfWait_ != generation_) {
        // Left over from a wait that ended; a new one may be waiting for its first test.
        if (active_ && firstRound_) nextInFirstRound();
        return;
    }
    if (firstRound_) {
        if (type >= 0) {
            bestRoot_ = probedRoot_; // a later root replaces an earlier one
            bestType_ = type;
        }
        nextInFirstRound();
        return;
    }
    if (type >= 0) succeed(probedRoot_, type);
}
