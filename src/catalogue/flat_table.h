#pragma once

#include <QHash>
#include <QtGlobal>

#include <algorithm>
#include <bit>
#include <memory>
#include <utility>
#include <vector>

// Up to this many entries a table emptied keeps its room for the next fill (a collection
// cleared is mostly filled again alike); a larger one gives it back.
inline constexpr qsizetype kKeptRoom = 4096;

// A hash table filled and then emptied as a whole, never entry by entry: the entries in the
// order added, in chunks that are not moved as the table grows, and slots of open addressing
// that name them. Emptying it costs the number of entries, not its room, and keeps the room
// (see kKeptRoom). Keys are hashed with qHash, which should be cheap: it is not stored.
template <typename K, typename V> class FlatTable {
public:
    qsizetype size() const { return qsizetype(size_); }
    bool isEmpty() const { return size_ == 0; }
    qsizetype capacity() const { return qsizetype(slots_.size() / 2); }

    const V* find(const K& key) const {
        if (slots_.empty()) return nullptr;
        const size_t mask = slots_.size() - 1;
        for (size_t i = size_t(qHash(key)) & mask; slots_[i] != 0; i = (i + 1) & mask) {
            const Entry& e = at(slots_[i] - 1);
            if (e.key == key) return &e.value;
        }
        return nullptr;
    }
    V* find(const K& key) { return const_cast<V*>(std::as_const(*this).find(key)); }
    V value(const K& key, const V& fallback) const {
        const V* v = find(key);
        return v ? *v : fallback;
    }
    bool contains(const K& key) const { return find(key) != nullptr; }

    // The value of the key, value-initialised when the key is new.
    V& operator[](const K& key) {
        if (2 * (size_ + 1) > slots_.size()) grow(size_ + 1);
        const size_t mask = slots_.size() - 1;
        size_t i = size_t(qHash(key)) & mask;
        for (; slots_[i] != 0; i = (i + 1) & mask) {
            Entry& e = at(slots_[i] - 1);
            if (e.key == key) return e.value;
        }
        if (size_ == chunks_.size() * kChunk) chunks_.emplace_back(new Entry[kChunk]);
        Entry& e = at(size_++);
        e.key = key;
        slots_[i] = quint32(size_);
        return e.value;
    }
    void insert(const K& key, const V& value) { (*this)[key] = value; }

    // Room for n entries in the slots (the chunks are added as entries come).
    void reserve(qsizetype n) {
        if (2 * size_t(n) > slots_.size()) grow(size_t(n));
    }

    void clear() {
        if (size_ > size_t(kKeptRoom) || chunks_.size() * kChunk > 2 * size_t(kKeptRoom)) {
            chunks_.clear();
            slots_ = std::vector<quint32>();
            size_ = 0;
            return;
        }
        // Each entry's slot found from its key (every entry goes, so none is moved).
        const size_t mask = slots_.size() - 1;
        for (size_t k = 0; k < size_; ++k) {
            Entry& e = at(k);
            size_t i = size_t(qHash(e.key)) & mask;
            while (slots_[i] != quint32(k + 1))
                i = (i + 1) & mask;
            slots_[i] = 0;
            e = Entry();
        }
        size_ = 0;
    }

private:
    struct Entry {
        K key{};
        V value{};
    };
    static constexpr size_t kChunk = 64;
    Entry& at(size_t k) const { return chunks_[k / kChunk][k % kChunk]; }
    // At most half the slots in use: a probe mostly ends at once.
    void grow(size_t n) {
        const size_t want = std::max<size_t>(16, std::bit_ceil(2 * n));
        if (want <= slots_.size()) return;
        slots_.assign(want, 0);
        const size_t mask = want - 1;
        for (size_t k = 0; k < size_; ++k) {
            size_t i = size_t(qHash(at(k).key)) & mask;
            while (slots_[i] != 0)
                i = (i + 1) & mask;
            slots_[i] = quint32(k + 1);
        }
    }

    std::vector<std::unique_ptr<Entry[]>> chunks_;
    size_t size_ = 0;
    std::vector<quint32> slots_; // entry + 1, 0 for none
};
