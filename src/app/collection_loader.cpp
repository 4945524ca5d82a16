#include "collection_loader.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#ifdef __GLIBC__
#include <malloc.h>
#endif

CollectionLoader::CollectionLoader(QObject* parent) : QObject(parent) {
    connect(&watcher_, &QFutureWatcher<Result>::finished, this, &CollectionLoader::onFinished);
}

CollectionLoader::~CollectionLoader() {
    wait();
}

void CollectionLoader::start(const QString& catalogDir) {
    if (watcher_.isRunning()) {
        pending_ = true;
        pendingDir_ = catalogDir;
        return;
    }
    QPointer<CollectionLoader> self(this);
    MediumConnector* connector = connector_;
    watcher_.setFuture(QtConcurrent::run([self, catalogDir, connector] {
        Result r;
        r.collection = std::make_shared<Collection>();
        r.collection->CatalogDir = catalogDir;
        r.collection->setConnector(connector);
        r.report = r.collection->LoadAllMedia([self](int done, int total) {
            // Progress goes to the GUI thread; the load does not wait for it.
            if (self)
                QMetaObject::invokeMethod(
                    self.data(),
                    [self, done, total] {
                        if (self) emit self->progress(done, total);
                    },
                    Qt::QueuedConnection);
        });
#ifdef __GLIBC__
        // The files' texts and the parsing's tables are gone: hand their pages back.
        malloc_trim(0);
#endif
        return r;
    }));
}

void CollectionLoader::wait() {
    pending_ = false;
    watcher_.waitForFinished();
}

void CollectionLoader::onFinished() {
    Result r = watcher_.result();
    if (pending_) {
        // Newer files are waiting: this result is already old.
        pending_ = false;
        start(pendingDir_);
        return;
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
