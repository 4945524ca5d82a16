#include "playlist.h"

#include <QDateTime>

#include <numeric>

Playlist::Playlist() : random_(quint32(QDateTime::currentMSecsSinceEpoch())) {}

void Playlist::clear() {
    titles_.clear();
    order_.clear();
}

void Playlist::setTitles(const QStringList& lines) {
    titles_ = lines;
    BuildPlayOrder();
    position_ = 0;
}

int Playlist::indexAt(int k) const {
    return k >= 0 && k < int(order_.size()) ? order_[size_t(k)] : -1;
}

int Playlist::currentIndex() const {
    return indexAt(position_);
}

QString Playlist::currentLine() const {
    const int index = currentIndex();
    return index >= 0 && index < count() ? titles_[index] : QString();
}

void Playlist::setShuffle(bool on) {
    shuffle_ = on;
    BuildPlayOrder();
}

void Playlist::BuildPlayOrder() {
    const int n = count();
    order_.resize(size_t(n));
    std::iota(order_.begin(), order_.end(), 0);
    if (!shuffle_ || n <= 1) return;
    // Fisher-Yates: a uniform permutation in n steps.
    for (int i = n - 1; i > 0; --i) {
        const int j = int(random_.bounded(quint32(i + 1)));
        std::swap(order_[size_t(i)], order_[size_t(j)]);
    }
}

bool Playlist::next(int skip) {
    const int n = count();
    if (n == 0) return false;
    skip = std::max(skip, 1);
    if (position_ < n - skip) {
        position_ += skip;
        return true;
    }
    if (!repeat_) return false;
    BuildPlayOrder();
    // A skip past a whole pass stays inside the order.
    position_ = ((position_ + skip - n) % n + n) % n;
    return true;
}

bool Playlist::prev(int skip) {
    const int n = count();
    if (n == 0) return false;
    skip = std::max(skip, 1);
    if (position_ >= skip) {
        position_ -= skip;
        return true;
    }
    if (!repeat_) return false;
    BuildPlayOrder();
    position_ = ((position_ + n - skip) % n + n) % n;
    return true;
}

int Playlist::orderPositionOf(int index) const {
    for (size_t k = 0; k < order_.size(); ++k)
        if (order_[k] == index) return int(k);
    return -1;
}

int Playlist::indexOfLine(const QString& line) const {
    for (int i = 0; i < count(); ++i)
        if (titles_[i].compare(line, Qt::CaseInsensitive) == 0) return i;
    return -1;
}
