#pragma once

#include "hashed_key.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <utility>

// The play counts behind "Meine Charts": one chart value "count:date" per title line in
// the order the titles were first played, and the total of title starts.
class PlayHistory {
public:
    explicit PlayHistory(const QLocale& locale = QLocale()) : locale_(locale) {}

    // Entries as stored: title line and chart value.
    void load(const QList<std::pair<QString, QString>>& records, int songsPlayed);
    QList<std::pair<QString, QString>> records() const;

    // Counts one start of the title on `today`.
    void countPlay(const QString& titleLine, const QDate& today = QDate::currentDate());

    const QStringList& titles() const { return titles_; }
    const QStringList& values() const { return values_; }
    QString value(const QString& titleLine) const;
    int songsPlayed() const { return songsPlayed_; }

    // "count:date" in the locale's short date format.
    QString chartValue(qint64 count, const QDate& date) const;

private:
    QLocale locale_;
    QStringList titles_;
    QStringList values_;
    QHash<HashedKey, int> index_; // folded title line -> entry
    int songsPlayed_ = 0;
};
