#include "medium_wait.h"

MediumWait::MediumWait(RootsFn roots, ProbeFn probe, QObject* parent)
    : QObject(parent), roots_(std::move(roots)), probe_(std::move(probe)) {
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &MediumWait::tick);
}

bool MediumWait::start(const QString& label) {
    if (active_) return false;
    active_ = true;
    label_ = label;
    foundRoot_.clear();
    foundType_ = 0;
    round_.clear();
    next_ = 0;
    timer_.start();
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
}

void MediumWait::tick() {
    if (!active_) return;
    if (next_ >= round_.size()) {
        round_ = roots_();
        next_ = 0;
        if (round_.isEmpty()) return;
    }
    const QString root = round_.at(next_++);
    const int type = probe_(root, label_);
    if (type < 0) return;
    foundRoot_ = root;
    foundType_ = type;
    finish();
    emit found(root, type);
}
