#pragma once

#include "collection.h"

#include <QFutureWatcher>
#include <QObject>

#include <memory>

// Loads every index file of a catalogue folder into a fresh collection on a worker
// thread. A start while a load runs asks for one more pass after it.
class CollectionLoader : public QObject {
    Q_OBJECT
public:
    struct Result {
        std::shared_ptr<Collection> collection;
        LoadReport report;
    };

    explicit CollectionLoader(QObject* parent = nullptr);
    ~CollectionLoader() override;

    void setConnector(MediumConnector* connector) { connector_ = connector; }
    void start(const QString& catalogDir);
    bool isRunning() const { return watcher_.isRunning(); }
    // Blocks until the current load is over (used at closing).
    void wait();

    // Moves the four fixed lists of `from` in front of what the load put into them.
    static void carryFixedLists(Collection& from, Collection& to);

signals:
    void progress(int done, int total);
    // The fresh collection; the receiver takes it over.
    void loaded(std::shared_ptr<Collection> collection, const LoadReport& report);

private:
    void onFinished();

    QFutureWatcher<Result> watcher_;
    MediumConnector* connector_ = nullptr;
    QString pendingDir_;
    bool pending_ = false;
};
