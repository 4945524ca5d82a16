#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <vector>

// The playlist: title lines in the order they were added, the play order over them,
// the position in that order, and the repeat and shuffle switches.
class Playlist {
public:
    Playlist();

    void clear();
    // New titles; the order is built afresh and the position becomes 0.
    void setTitles(const QStringList& lines);

    const QStringList& titles() const { return titles_; }
    int count() const { return int(titles_.size()); }
    const std::vector<int>& order() const { return order_; }

    int position() const { return position_; }
    void setPosition(int position) { position_ = position; }
    // The playlist index of the entry at the position, -1 when out of range.
    int currentIndex() const;
    QString currentLine() const;
    // The playlist index of play-order entry k, -1 when out of range.
    int indexAt(int k) const;

    bool repeat() const { return repeat_; }
    bool shuffle() const { return shuffle_; }
    void setRepeat(bool on) { repeat_ = on; }
    // Sets the switch and draws a new order; the position stays.
    void setShuffle(bool on);

    // order[k] = k, shuffled when shuffle is on and there are at least two titles.
    void BuildPlayOrder();

    // Moves `skip` titles forward or back, wrapping into a fresh order when repeat is on.
    // False when nothing moved (an end without repeat, or an empty list).
    bool next(int skip = 1);
    bool prev(int skip = 1);

    // The enabled rules when a title starts.
    bool prevEnabled() const { return position_ > 0 || repeat_; }
    bool nextEnabled() const { return position_ < count() - 1 || repeat_; }
    // The enabled rules after the repeat switch changed.
    bool prevEnabledAfterToggle() const { return position_ > 0 || (repeat_ && count() > 0); }
    bool nextEnabledAfterToggle() const {
        return position_ < count() - 1 || (repeat_ && count() > 0);
    }

    // The play-order position that plays playlist index `index`, or -1.
    int orderPositionOf(int index) const;
    // The first playlist index holding the line (compared without regard to case), or -1.
    int indexOfLine(const QString& line) const;

    // Seeds the shuffle from a fixed value (tests); otherwise it is seeded from the clock.
    void seed(quint32 value) { random_.seed(value); }

private:
    QStringList titles_;
    std::vector<int> order_;
    int position_ = 0;
    bool repeat_ = false;
    bool shuffle_ = false;
    QRandomGenerator random_;
};
