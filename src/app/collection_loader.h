#pragma once

#include "collection.h"
#include "task_service.h"

#include <QObject>

#include <memory>

// Loads every index file of a catalogue folder into a fresh collection on a worker
// thread, as a job of the task service. A start while a load runs asks for one more pass
// after it.
class CollectionLoader : public QObject {
    Q_OBJECT
public:
    struct Result {
        std::shared_ptr<Collection> collection;
        LoadReport report;
    };

    // Without a service the loader keeps one of its own.
    explicit CollectionLoader(TaskService* tasks = nullptr, QObject* parent = nullptr);
    ~CollectionLoader() override;

    void setConnector(MediumConnector* connector) { connector_ = connector; }
    void start(const QString& catalogDir);
    // From the start until the fresh collection has been handed over.
    bool isRunning() const { return job_ != 0; }
    // Blocks until the current load's work is over and drops its result (used at closing).
    void wait();

    // Moves the four fixed lists of `from` in front of what the load put into them.
    static void carryFixedLists(Collection& from, Collection& to);

signals:
    // The fresh collection; the receiver takes it over.
    void loaded(std::shared_ptr<Collection> collection, const LoadReport& report);

private:
    void onFinished(TaskOutcome<Result> outcome, const QString& catalogDir);

    TaskService* tasks_;
    tasks::Id job_ = 0;
    quint64 generation_ = 0; // a result of an older generation is dropped
    MediumConnector* connector_ = nullptr;
    QString pendingDir_;
    bool pending_ = false;
};
