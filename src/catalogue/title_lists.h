#pragma once

#include "flat_table.h"
#include "hashed_key.h"
#include "index_file.h"
#include "text_codec.h"
#include "title_block.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <vector>

// The collection's keyed lists of title lines. Keys are looked up without regard to
// case and the first matching entry counts; the four fixed lists always come first.
class TitleLists {
public:
    enum Fixed { SearchResults = 0, Merkzettel = 1, Playlist = 2, Charts = 3, FixedCount = 4 };

    TitleLists();

    int count() const { return int(entries_.size()); }
    const QString& key(int index) const { return entries_[size_t(index)].key; }
    // What a key names, known without reading it: an "ALPHALIST::" list, a medium's root
    // titles (see mediumRootKey) or anything else.
    enum class Kind : quint8 { Plain, Alpha, MediumRoot };
    Kind kind(int index) const { return kinds_[size_t(index)]; }
    // The titles of a list: its own QStrings, then lines of the blocks the loader wrote.
    TitleSpan span(int index) const {
        const Entry& e = entries_[size_t(index)];
        return {e.extra ? &e.extra->titles : nullptr, &e.parts};
    }
    qsizetype size(int index) const { return span(index).size(); }
    // The titles as QStrings, made afresh (the list keeps its compact form).
    QStringList titles(int index) const { return span(index).toList(); }
    // Appends lines of a block. Drops the kept display order of the list.
    void appendParts(int index, const std::vector<TitlePart>& parts);
    void appendParts(int index, std::vector<TitlePart>&& parts);
    // Gives back what the entries and their lists of parts hold in reserve.
    void squeezeParts();

    // Writable access drops the kept display order of the list. The list access makes a
    // QString of every line for good: call it on the thread that owns the lists.
    QStringList& list(int index) {
        Entry& e = materialize(index);
        e.extra->order = std::vector<int>();
        if (index >= FixedCount && kind(index) != Kind::Plain) searchedOrder_.reset();
        return e.extra->titles;
    }
    const QStringList& list(int index) const { return materialize(index).extra->titles; }

    // The display order kept for a list (indexes into it, see nameorder), or nullptr.
    const std::vector<int>* nameOrder(int index) const {
        const Entry& e = entries_[size_t(index)];
        return e.extra && !e.extra->order.empty() && qsizetype(e.extra->order.size()) == size(index)
                   ? &e.extra->order
                   : nullptr;
    }
    void setNameOrder(int index, std::vector<int> order) {
        Entry& e = entries_[size_t(index)];
        if (!e.extra && order.empty()) return;
        if (!e.extra) e.extra = std::make_unique<Extra>();
        e.extra->order = std::move(order);
    }

    // The display order of the titles of every list past the fixed ones that is not Plain,
    // taken together in the order of the lists (as the quick search reads them), kept until
    // any of those lists changes; or null.
    std::shared_ptr<const std::vector<int>> searchedOrder() const { return searchedOrder_; }
    void setSearchedOrder(std::shared_ptr<const std::vector<int>> order) {
        searchedOrder_ = std::move(order);
    }

    // Index of the first entry whose key matches without regard to case, or -1.
    int indexOf(QStringView key) const;
    bool contains(QStringView key) const { return indexOf(key) >= 0; }
    QStringList* find(QStringView key);
    const QStringList* find(QStringView key) const;

    // The same for a key already folded.
    int indexOfFolded(const HashedKey& foldedKey) const;
    // The entry "ALPHALIST::" + name, by the folded name.
    int indexOfAlphaList(const HashedKey& foldedName) const;

    // Appends an entry with an empty list and returns its index.
    int add(const QString& key);
    int add(const QString& key, const HashedKey& foldedKey);
    // Appends the entry "ALPHALIST::" + name, by the name and its folded form.
    int addAlphaList(const QString& name, const HashedKey& foldedName);

    // Room for `more` entries beyond the present ones (growing by at least half), in the
    // list and in the index of their keys.
    void reserveMore(qsizetype more) {
        const size_t want = entries_.size() + size_t(more);
        if (want > entries_.capacity()) {
            entries_.reserve(std::max(want, entries_.capacity() + entries_.capacity() / 2));
            kinds_.reserve(entries_.capacity());
        }
        plain_.reserve(plain_.size() + size_t(more));
        if (alpha_.size() + more > alpha_.capacity()) alpha_.reserve(alpha_.size() + more);
    }

    // Removes every entry but the four fixed lists.
    void clearNonFixed();

    static QString fixedKey(Fixed which);

    // The key of the titles in a medium's root: the label as a folder line, "Rock 1:" and a
    // backslash. Folder names hold no backslash, so it never meets a folder's key.
    static QString mediumRootKey(const QString& label) { return label + QStringLiteral(":\\"); }
    static bool isMediumRootKey(QStringView key) { return key.endsWith(QLatin1StringView(":\\")); }

private:
    // What few lists have: QStrings of their own, a kept display order.
    struct Extra {
        QStringList titles;
        std::vector<int> order;
    };
    struct Entry {
        QString key;
        mutable std::vector<TitlePart> parts; // after the titles
        mutable std::unique_ptr<Extra> extra; // made when first asked for
    };
    Entry& materialize(int index) const;
    void index(const HashedKey& foldedKey, int entry);

    std::vector<Entry> entries_;
    std::vector<Kind> kinds_; // apart, so that a walk over the kinds stays in few lines
    std::shared_ptr<const std::vector<int>> searchedOrder_;
    // Folded key -> first entry, without a copy of the key: the entries' own keys are folded
    // to compare. A table of open addressing: entry + 1 (0 for none) and the key's hash.
    class FirstByKey {
    public:
        size_t size() const { return size_; }
        void reserve(size_t n);
        void clear();
        // The entry whose key folds to `folded`, or -1.
        int find(const HashedKey& folded, const std::vector<Entry>& entries) const;
        // Adds the entry unless one of its key is there.
        void insertFirst(const HashedKey& folded, int entry, const std::vector<Entry>& entries);

    private:
        struct Slot {
            quint32 entry; // + 1
            quint32 hash;
        };
        std::vector<Slot> slots_;
        size_t size_ = 0;
    };
    // "ALPHALIST::" keys apart, by their folded name.
    FirstByKey plain_;
    FlatTable<HashedKey, int> alpha_;
    textcodec::TextPool alphaKeys_;
};

// Display marks by title or folder line; the first mark added for a target counts.
class TitleStyles {
public:
    int count() const { return int(entries_.size()); }
    const QString& target(int index) const { return entries_[size_t(index)].first; }
    const indexfile::TitleStyle& style(int index) const { return entries_[size_t(index)].second; }

    const indexfile::TitleStyle* find(QStringView target) const;
    void add(const QString& target, const indexfile::TitleStyle& style);
    void clear();

private:
    std::vector<std::pair<QString, indexfile::TitleStyle>> entries_;
    FlatTable<HashedKey, int> firstByFoldedTarget_;
};
