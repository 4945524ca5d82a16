#include "title_lists.h"

#include "flat_table.h"

#include <algorithm>
#include <bit>
#include <iterator>

namespace {
// One look-up: a new key's value is made by the lookup and then set.
void insertFirst(FlatTable<HashedKey, int>& hash, const HashedKey& key, int index) {
    const qsizetype before = hash.size();
    int& value = hash[key];
    if (hash.size() != before) value = index;
}
const char* const kFixedKeys[] = {"Suchergebnisse", "Merkzettel", "Wiedergabeliste",
                                  "Meine Charts"};

// The fixed keys and their folded forms, made once for every collection.
struct FixedKeys {
    QString key[TitleLists::FixedCount];
    HashedKey folded[TitleLists::FixedCount];
    FixedKeys() {
        for (int i = 0; i < TitleLists::FixedCount; ++i) {
            key[i] = QString::fromUtf8(kFixedKeys[i]);
            folded[i] = foldedKey(key[i]);
        }
    }
};
const FixedKeys& fixedKeys() {
    static const FixedKeys keys;
    return keys;
}
} // namespace

TitleLists::TitleLists() {
    entries_.reserve(FixedCount);
    const FixedKeys& fixed = fixedKeys();
    for (int i = 0; i < FixedCount; ++i)
        add(fixed.key[i], fixed.folded[i]);
}

QString TitleLists::fixedKey(Fixed which) {
    return fixedKeys().key[which];
}

namespace {
const QString kAlphaPrefix = QStringLiteral("alphalist::");

// startsWith(kAlphaPrefix) for a folded key, without the general comparison.
bool hasAlphaPrefix(const QString& folded) {
    constexpr char16_t prefix[] = u"alphalist::";
    constexpr qsizetype n = std::size(prefix) - 1;
    return folded.size() >= n && std::equal(prefix, prefix + n, folded.utf16());
}
} // namespace

int TitleLists::indexOf(QStringView key) const {
    return indexOfFolded(foldedKey(key));
}

int TitleLists::indexOfFolded(const HashedKey& folded) const {
    if (hasAlphaPrefix(folded.text))
        return alpha_.value(HashedKey(folded.text.mid(kAlphaPrefix.size())), -1);
    return plain_.find(folded, entries_);
}

int TitleLists::indexOfAlphaList(const HashedKey& foldedName) const {
    return alpha_.value(foldedName, -1);
}

QStringList* TitleLists::find(QStringView key) {
    const int i = indexOf(key);
    return i < 0 ? nullptr : &list(i);
}

const QStringList* TitleLists::find(QStringView key) const {
    const int i = indexOf(key);
    return i < 0 ? nullptr : &list(i);
}

void TitleLists::index(const HashedKey& folded, int entry) {
    if (hasAlphaPrefix(folded.text))
        insertFirst(alpha_, HashedKey(folded.text.mid(kAlphaPrefix.size())), entry);
    else
        plain_.insertFirst(folded, entry, entries_);
}

int TitleLists::add(const QString& key) {
    return add(key, foldedKey(key));
}

int TitleLists::add(const QString& key, const HashedKey& folded) {
    const int entry = int(entries_.size());
    entries_.push_back({key, {}, {}});
    kinds_.push_back(hasAlphaPrefix(folded.text) ? Kind::Alpha
                     : isMediumRootKey(key)      ? Kind::MediumRoot
                                                 : Kind::Plain);
    if (kinds_.back() != Kind::Plain) searchedOrder_.reset();
    index(folded, entry);
    return entry;
}

int TitleLists::addAlphaList(const QString& name, const HashedKey& foldedName) {
    const int entry = int(entries_.size());
    // The keys are short and live as long as their entries: made in the pool's blocks.
    const QStringView parts[] = {u"ALPHALIST::", name};
    QString key;
    alphaKeys_.joined(parts, 2, &key);
    entries_.push_back({std::move(key), {}, {}});
    kinds_.push_back(Kind::Alpha);
    searchedOrder_.reset();
    insertFirst(alpha_, foldedName, entry);
    return entry;
}

void TitleLists::clearNonFixed() {
    entries_.resize(FixedCount);
    kinds_.resize(FixedCount);
    searchedOrder_.reset();
    plain_.clear();
    alpha_.clear();
    alphaKeys_.clear();
    const FixedKeys& fixed = fixedKeys();
    for (int i = 0; i < FixedCount; ++i)
        index(fixed.folded[i], i);
}

namespace {
// key.toCaseFolded() == folded, without making the folded key: without surrogates a string
// folds one code unit at a time.
bool foldsTo(QStringView key, QStringView folded) {
    for (qsizetype i = 0; i < key.size(); ++i) {
        const char16_t c = key[i].unicode();
        if (QChar::isSurrogate(c)) return key.toString().toCaseFolded() == folded;
        if (i >= folded.size() || QChar::toCaseFolded(c) != folded[i].unicode()) return false;
    }
    return key.size() == folded.size();
}
} // namespace

void TitleLists::FirstByKey::reserve(size_t n) {
    // At most three quarters full: a probe reads a slot's hash, the keys only on a match.
    if (4 * n <= 3 * slots_.size()) return;
    const size_t want = std::max<size_t>(16, std::bit_ceil(4 * n / 3 + 1));
    if (size_ == 0) {
        // Empty (cleared, say): the room kept is taken again.
        slots_.assign(want, Slot{0, 0});
        return;
    }
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(want, Slot{0, 0});
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old)
        if (slot.entry != 0) {
            size_t i = slot.hash & mask;
            while (slots_[i].entry != 0)
                i = (i + 1) & mask;
            slots_[i] = slot;
        }
}

void TitleLists::FirstByKey::clear() {
    if (slots_.capacity() > 2 * size_t(kKeptRoom))
        slots_ = std::vector<Slot>();
    else
        slots_.clear();
    size_ = 0;
}

int TitleLists::FirstByKey::find(const HashedKey& folded, const std::vector<Entry>& entries) const {
    if (slots_.empty()) return -1;
    const size_t mask = slots_.size() - 1;
    const auto hash = quint32(folded.hash);
    for (size_t i = hash & mask; slots_[i].entry != 0; i = (i + 1) & mask)
        if (slots_[i].hash == hash && foldsTo(entries[slots_[i].entry - 1].key, folded.text))
            return int(slots_[i].entry - 1);
    return -1;
}

void TitleLists::FirstByKey::insertFirst(const HashedKey& folded, int entry,
                                         const std::vector<Entry>& entries) {
    if (4 * (size_ + 1) > 3 * slots_.size()) reserve(std::max(size_ + 1, size_ + size_ / 2));
    const size_t mask = slots_.size() - 1;
    const auto hash = quint32(folded.hash);
    size_t i = hash & mask;
    for (; slots_[i].entry != 0; i = (i + 1) & mask)
        if (slots_[i].hash == hash && foldsTo(entries[slots_[i].entry - 1].key, folded.text))
            return;
    slots_[i] = {quint32(entry) + 1, hash};
    ++size_;
}

TitleLists::Entry& TitleLists::materialize(int index) const {
    Entry& e = const_cast<Entry&>(entries_[size_t(index)]);
    if (!e.extra) e.extra = std::make_unique<Extra>();
    if (!e.parts.empty()) {
        e.extra->titles = span(index).toList();
        e.parts = std::vector<TitlePart>();
    }
    return e;
}

void TitleLists::appendParts(int index, const std::vector<TitlePart>& parts) {
    if (parts.empty()) return;
    Entry& e = entries_[size_t(index)];
    if (e.extra) e.extra->order = std::vector<int>();
    if (index >= FixedCount && kind(index) != Kind::Plain) searchedOrder_.reset();
    e.parts.insert(e.parts.end(), parts.begin(), parts.end());
}

void TitleLists::appendParts(int index, std::vector<TitlePart>&& parts) {
    if (parts.empty()) return;
    Entry& e = entries_[size_t(index)];
    if (e.extra) e.extra->order = std::vector<int>();
    if (index >= FixedCount && kind(index) != Kind::Plain) searchedOrder_.reset();
    if (e.parts.empty())
        e.parts = std::move(parts);
    else
        e.parts.insert(e.parts.end(), std::make_move_iterator(parts.begin()),
                       std::make_move_iterator(parts.end()));
}

void TitleLists::squeezeParts() {
    if (entries_.capacity() - entries_.size() > entries_.size() / 8 + 4) {
        entries_.shrink_to_fit();
        kinds_.shrink_to_fit();
    }
    for (Entry& e : entries_)
        if (e.parts.capacity() - e.parts.size() > e.parts.size() / 8 + 1) e.parts.shrink_to_fit();
}

const indexfile::TitleStyle* TitleStyles::find(QStringView target) const {
    const int i = firstByFoldedTarget_.value(foldedKey(target), -1);
    return i < 0 ? nullptr : &entries_[size_t(i)].second;
}

void TitleStyles::add(const QString& target, const indexfile::TitleStyle& style) {
    const int index = int(entries_.size());
    entries_.emplace_back(target, style);
    insertFirst(firstByFoldedTarget_, foldedKey(target), index);
}

void TitleStyles::clear() {
    entries_.clear();
    firstByFoldedTarget_.clear();
}
