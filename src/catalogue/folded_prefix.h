#pragma once

#include <QMultiHash>
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
// when the hash matches.
template <typename T> class FoldedMap {
public:
    // Adds or replaces; true when the text was new.
    bool insert(const QString& text, quint64 hash, const T& value) {
        if (T* v = findMutable(text, hash)) {
            *v = value;
            return false;
        }
        byHash_.insert(hash, entries_.size());
        entries_.push_back({text, value});
        return true;
    }
    bool insert(const QString& text, const T& value) {
        return insert(text, PrefixHashes::hashOf(text), value);
    }
    const T* find(QStringView text, quint64 hash) const {
        for (auto it = byHash_.constFind(hash); it != byHash_.cend() && it.key() == hash; ++it)
            if (entries_[*it].text == text) return &entries_[*it].value;
        return nullptr;
    }
    bool contains(QStringView text, quint64 hash) const { return find(text, hash) != nullptr; }
    bool contains(QStringView text) const { return contains(text, PrefixHashes::hashOf(text)); }
    qsizetype size() const { return qsizetype(entries_.size()); }

private:
    struct Entry {
        QString text;
        T value;
    };
    T* findMutable(QStringView text, quint64 hash) {
        return const_cast<T*>(std::as_const(*this).find(text, hash));
    }
    QMultiHash<quint64, size_t> byHash_;
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

private:
    FoldedMap<bool> map_;
};

} // namespace foldedprefix
