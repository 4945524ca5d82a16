#pragma once

#include <QHash>
#include <QtGlobal>

#include <algorithm>
#include <bit>
#include <utility>
#include <vector>

// Up to this many entries a table emptied keeps its room for the next fill (a collection
// cleared is mostly filled again alike); a larger one gives it back.
inline constexpr qsizetype kKeptRoom = 4096;

// A hash table filled and then emptied as a whole, never entry by entry: the entries in the
// order added, and slots of open addressing that name them. Emptying it costs the number of
// entries, not its room, and keeps the room (see kKeptRoom). Keys are hashed with qHash.
template <typename K, typename V> class FlatTable {
public:
    qsizetype size() const { return qsizetype(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    qsizetype capacity() const { return qsizetype(slots_.size() / 2); }

    const V* find(const K& key) const {
        if (slots_.empty()) return nullptr;
        const size_t hash = qHash(key);
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask; slots_[i] != 0; i = (i + 1) & mask) {
            const Entry& e = entries_[slots_[i] - 1];
            if (e.hash == hash && e.key == key) return &e.value;
        }
        return nullptr;
    }
    V* find(const K& key) { return const_cast<V*>(std::as_const(*this).find(key)); }
    V value(const K& key, const V& fallback) const {
        const V* v = find(key);
        return v ? *v : fallback;
    }
    bool contains(const K& key) const { return find(key) != nullptr; }

    // The value of the key, value-initialised when the key is new. Valid until the next entry
    // is added.
    V& operator[](const K& key) {
        const size_t hash = qHash(key);
        if (2 * (entries_.size() + 1) > slots_.size()) grow(entries_.size() + 1);
        const size_t mask = slots_.size() - 1;
        size_t i = hash & mask;
        for (; slots_[i] != 0; i = (i + 1) & mask) {
            Entry& e = entries_[slots_[i] - 1];
            if (e.hash == hash && e.key == key) return e.value;
        }
        entries_.push_back({key, V(), hash});
        slots_[i] = quint32(entries_.size());
        return entries_.back().value;
    }
    void insert(const K& key, const V& value) { (*this)[key] = value; }

    // Room for n entries.
    void reserve(qsizetype n) {
        if (2 * size_t(n) > slots_.size()) grow(size_t(n));
        entries_.reserve(size_t(n));
    }

    void clear() {
        if (entries_.size() > size_t(kKeptRoom) || entries_.capacity() > 2 * size_t(kKeptRoom)) {
            entries_ = std::vector<Entry>();
            slots_ = std::vector<quint32>();
            return;
        }
        // Each entry's slot found from its hash (every entry goes, so none is moved).
        const size_t mask = slots_.size() - 1;
        for (size_t k = 0; k < entries_.size(); ++k) {
            size_t i = entries_[k].hash & mask;
            while (slots_[i] != quint32(k + 1))
                i = (i + 1) & mask;
            slots_[i] = 0;
        }
        entries_.clear();
    }

private:
    struct Entry {
        K key;
        V value;
        size_t hash;
    };
    // At most half the slots in use: a probe mostly ends at once.
    void grow(size_t n) {
        const size_t want = std::max<size_t>(16, std::bit_ceil(2 * n));
        if (want <= slots_.size()) return;
        slots_.assign(want, 0);
        const size_t mask = want - 1;
        for (size_t k = 0; k < entries_.size(); ++k) {
            size_t i = entries_[k].hash & mask;
            while (slots_[i] != 0)
                i = (i + 1) & mask;
            slots_[i] = quint32(k + 1);
        }
    }

    std::vector<Entry> entries_;
    std::vector<quint32> slots_; // entry + 1, 0 for none
};
