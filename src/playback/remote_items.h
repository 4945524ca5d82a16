#pragma once

#include <QHash>
#include <QObject>
#include <QString>

// The current values of the remote-control items (TRACKNAME, ARTIST, TITLE, FILENAME,
// POSITION, DURATION, REMAINING, TRACKNUM, TOTALTRACKS, TRACKSTATUS, REPEATING,
// SHUFFLED), kept for whatever publishes them.
class RemoteItems : public QObject {
    Q_OBJECT
public:
    explicit RemoteItems(QObject* parent = nullptr);

    QString value(const QString& item) const { return values_.value(item); }
    const QHash<QString, QString>& values() const { return values_; }

    // Emits changed only when the value differs.
    void set(const QString& item, const QString& value);

signals:
    void changed(const QString& item, const QString& value);

private:
    QHash<QString, QString> values_;
};
