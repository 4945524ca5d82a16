#pragma once

#include "flat_table.h"

#include <QHash>
#include <QString>
#include <QStringView>

#include <vector>

// Case-folded texts looked up by any prefix of a longer folded text in constant time, so
// that a walk over the parent folders of a line costs the line's length once instead of
// once per parent.
namespace foldedprefix {

// Polynomial hashes of the prefixes of one text, modulo 2^61 - 1 with a base drawn at
// random per process (crafted inputs cannot aim at collisions).
class PrefixHashes {
public:
    PrefixHashes() = default;
    explicit PrefixHashes(QStringView text) { reset(text); }
    // Recomputes for a new text; the buffer is kept.
    void reset(QStringView text);
    // The hash of text.left(length).
    quint64 of(qsizetype length) const { return hashes_[size_t(length)]; }

    static quint64 hashOf(QStringView text);

private:
    std::vector<quint64> hashes_;
};

// Folded texts mapped to a value. Lookups by a view and its hash compare the text only
// when the hash matches. Entries of one hash are chained through the entry list, so that
// an insert costs no allocation of its own.
template <typename T> class FoldedMap {
public:
    // Adds or replaces; true when the text was new.
    bool insert(const QString& text, quint64 hash, const T& value) {
        if (T* v = findMutable(text, hash)) {
            *v = value;
            return false;
        }
        const qsizetype index = qsizetype(entries_.size());
        if (qsizetype* first = firstByHash_.find(hash)) {
            entries_.push_back({text, value, *first});
            *first = index;
        } else {
            entries_.push_back({text, value, -1});
            firstByHash_.insert(hash, index);
        }
        return true;
    }
    bool insert(const QString& text, const T& value) {
        return insert(text, PrefixHashes::hashOf(text), value);
    }
    const T* find(QStringView text, quint64 hash) const {
        const qsizetype* first = firstByHash_.find(hash);
        if (!first) return nullptr;
        for (qsizetype i = *first; i >= 0; i = entries_[size_t(i)].next)
            if (entries_[size_t(i)].text == text) return &entries_[size_t(i)].value;
        return nullptr;
    }
    bool contains(QStringView text, quint64 hash) const { return find(text, hash) != nullptr; }
    bool contains(QStringView text) const { return contains(text, PrefixHashes::hashOf(text)); }
    qsizetype size() const { return qsizetype(entries_.size()); }
    // Room for n entries (never less than there is: the tables are not shrunk).
    void reserve(qsizetype n) {
        firstByHash_.reserve(n);
        entries_.reserve(size_t(n));
    }
    // Empties the map; a small one keeps its room.
    void clear() {
        firstByHash_.clear();
        entries_.clear();
        if (entries_.capacity() > size_t(kKeptRoom)) entries_ = std::vector<Entry>();
    }

private:
    struct Entry {
        QString text;
        T value;
        qsizetype next; // the entry of the same hash added before, or -1
    };
    T* findMutable(QStringView text, quint64 hash) {
        return const_cast<T*>(std::as_const(*this).find(text, hash));
    }
    FlatTable<quint64, qsizetype> firstByHash_;
    std::vector<Entry> entries_;
};

// A set of folded texts.
class FoldedSet {
public:
    bool insert(const QString& text, quint64 hash) { return map_.insert(text, hash, true); }
    bool insert(const QString& text) { return map_.insert(text, true); }
    bool contains(QStringView text, quint64 hash) const { return map_.contains(text, hash); }
    bool contains(QStringView text) const { return map_.contains(text); }
    qsizetype size() const { return map_.size(); }
    void reserve(qsizetype n) { map_.reserve(n); }

private:
    FoldedMap<bool> map_;
};

} // namespace foldedprefix
