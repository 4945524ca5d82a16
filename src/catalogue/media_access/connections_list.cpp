#include "connections_list.h"

void ConnectionsList::add(const ConnectionEntry& entry) {
    const QString key = entry.resource.toCaseFolded();
    if (!byResource_.contains(key)) byResource_.insert(key, int(entries_.size()));
    entries_.append(entry);
}

bool ConnectionsList::contains(const QString& resource) const {
    return byResource_.contains(resource.toCaseFolded());
}

const ConnectionEntry* ConnectionsList::byResource(const QString& resource) const {
    const auto it = byResource_.constFind(resource.toCaseFolded());
    return it == byResource_.constEnd() ? nullptr : &entries_[*it];
}

const ConnectionEntry* ConnectionsList::byDrive(const QString& drive) const {
    for (const ConnectionEntry& e : entries_)
        if (e.drive == drive) return &e;
    return nullptr;
}

void ConnectionsList::removeDrive(const QString& drive) {
    entries_.removeIf([&](const ConnectionEntry& e) { return e.drive == drive; });
    reindex();
}

void ConnectionsList::reindex() {
    byResource_.clear();
    for (int i = 0; i < entries_.size(); ++i) {
        const QString key = entries_[i].resource.toCaseFolded();
        if (!byResource_.contains(key)) byResource_.insert(key, i);
    }
}
