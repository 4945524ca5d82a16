#include "collection_loader.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

CollectionLoader::CollectionLoader(TaskService* tasks, QObject* parent)
    : QObject(parent), tasks_(tasks ? tasks : new TaskService(this)) {}

CollectionLoader::~CollectionLoader() {
    wait();
}

void CollectionLoader::start(const QString& catalogDir) {
    if (job_) {
        pending_ = true;
        pendingDir_ = catalogDir;
        return;
    }
    MediumConnector* connector = connector_;
    const quint64 generation = ++generation_;
    job_ = tasks_->run(
        tasks::Kind::Load, QStringLiteral("Medien werden geladen"), false,
        [catalogDir, connector](const TaskControl& control) {
            Result r;
            r.collection = std::make_shared<Collection>();
            r.collection->CatalogDir = catalogDir;
            r.collection->setConnector(connector);
            r.report = r.collection->LoadAllMedia(
                [&control](int done, int total) { control.progress(done, total); });
#ifdef __GLIBC__
            // The files' texts and the parsing's tables are gone: hand their pages back.
            malloc_trim(0);
#endif
            return r;
        },
        this,
        [this, catalogDir, generation](TaskOutcome<Result> outcome) {
            if (generation == generation_) onFinished(std::move(outcome), catalogDir);
        });
}

void CollectionLoader::wait() {
    pending_ = false;
    if (!job_) return;
    tasks_->waitForWork(job_);
    job_ = 0;
    ++generation_;
}

void CollectionLoader::onFinished(TaskOutcome<Result> outcome, const QString& catalogDir) {
    job_ = 0;
    if (pending_) {
        // Newer files are waiting: this result is already old.
        pending_ = false;
        start(pendingDir_);
        return;
    }
    Result& r = outcome.value;
    if (!r.collection) {
        // The load broke off (out of memory): an empty collection says so.
        r.collection = std::make_shared<Collection>();
        r.collection->CatalogDir = catalogDir;
        r.report.errors.append(QStringLiteral("Die Medien konnten nicht geladen werden: ") +
                               outcome.error);
    }
    emit loaded(std::move(r.collection), r.report);
}

void CollectionLoader::carryFixedLists(Collection& from, Collection& to) {
    for (int i = 0; i < TitleLists::FixedCount; ++i) {
        QStringList merged = std::move(from.titleLists.list(i));
        merged.append(to.titleLists.list(i));
        to.titleLists.list(i) = std::move(merged);
    }
}
