#include "title_lists.h"

namespace {
void insertFirst(QHash<QString, int>& hash, const QString& key, int index) {
    auto it = hash.find(key);
    if (it == hash.end())
        hash.insert(key, index);
}
const char* const kFixedKeys[] = {"Suchergebnisse", "Merkzettel", "Wiedergabeliste", "Meine Charts"};
}

TitleLists::TitleLists() {
    for (const char* k : kFixedKeys)
        add(QString::fromUtf8(k));
}

QString TitleLists::fixedKey(Fixed which) { return QString::fromUtf8(kFixedKeys[which]); }

int TitleLists::indexOf(QStringView key) const {
    return firstByFoldedKey_.value(key.toString().toCaseFolded(), -1);
}

QStringList* TitleLists::find(QStringView key) {
    const int i = indexOf(key);
    return i < 0 ? nullptr : &entries_[size_t(i)].titles;
}

int TitleLists::add(const QString& key) {
    const int index = int(entries_.size());
    entries_.push_back({key, {}});
    insertFirst(firstByFoldedKey_, key.toCaseFolded(), index);
    return index;
}

void TitleLists::clearNonFixed() {
    entries_.resize(FixedCount);
    firstByFoldedKey_.clear();
    for (int i = 0; i < FixedCount; ++i)
        insertFirst(firstByFoldedKey_, entries_[size_t(i)].key.toCaseFolded(), i);
}

const indexfile::TitleStyle* TitleStyles::find(QStringView target) const {
    const int i = firstByFoldedTarget_.value(target.toString().toCaseFolded(), -1);
    return i < 0 ? nullptr : &entries_[size_t(i)].second;
}

void TitleStyles::add(const QString& target, const indexfile::TitleStyle& style) {
    const int index = int(entries_.size());
    entries_.emplace_back(target, style);
    insertFirst(firstByFoldedTarget_, target.toCaseFolded(), index);
}

void TitleStyles::clear() {
    entries_.clear();
    firstByFoldedTarget_.clear();
}
