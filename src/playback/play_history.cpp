#include "play_history.h"

#include <limits>

void PlayHistory::load(const QList<std::pair<QString, QString>>& records, int songsPlayed) {
    titles_.clear();
    values_.clear();
    index_.clear();
    titles_.reserve(records.size());
    values_.reserve(records.size());
    for (const auto& [line, value] : records) {
        const HashedKey key = foldedKey(line);
        if (index_.contains(key)) continue; // the store keeps names unique; so do we
        index_.insert(key, int(titles_.size()));
        titles_.append(line);
        values_.append(value);
    }
    songsPlayed_ = songsPlayed;
}

QList<std::pair<QString, QString>> PlayHistory::records() const {
    QList<std::pair<QString, QString>> out;
    out.reserve(titles_.size());
    for (qsizetype i = 0; i < titles_.size(); ++i)
        out.append({titles_[i], values_[i]});
    return out;
}

QString PlayHistory::chartValue(qint64 count, const QDate& date) const {
    return QString::number(count) + QLatin1Char(':') + locale_.toString(date, QLocale::ShortFormat);
}

void PlayHistory::countPlay(const QString& titleLine, const QDate& today) {
    const HashedKey key = foldedKey(titleLine);
    const auto found = index_.constFind(key);
    if (found == index_.cend()) {
        index_.insert(key, int(titles_.size()));
        titles_.append(titleLine);
        values_.append(chartValue(1, today));
    } else {
        QString& value = values_[*found];
        const qsizetype colon = value.indexOf(QLatin1Char(':'));
        const qint64 count = (colon >= 0 ? value.left(colon) : value).trimmed().toLongLong();
        value = chartValue(count + 1, today);
    }
    if (songsPlayed_ < std::numeric_limits<int>::max()) ++songsPlayed_;
}

QString PlayHistory::value(const QString& titleLine) const {
    const auto found = index_.constFind(foldedKey(titleLine));
    return found == index_.cend() ? QString() : values_[*found];
}
