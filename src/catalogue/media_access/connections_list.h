#pragma once

#include <QHash>
#include <QList>
#include <QString>

// One connected network or web medium, as the statistics window lists it.
struct ConnectionEntry {
    enum Icon { ShareIcon = 13, WebIcon = 14 };
    QString drive; // the medium's root: the web folder, or smb://server/share
    int icon = ShareIcon;
    QString resource; // share path or URL as the index file gives it
    QString label;
    QString user; // web media: the credentials that the connection used
    QString password;
};

// The connections made since the program started; a resource is connected once.
class ConnectionsList {
public:
    void add(const ConnectionEntry& entry);
    // Compared without regard to case.
    bool contains(const QString& resource) const;
    const ConnectionEntry* byResource(const QString& resource) const;
    const ConnectionEntry* byDrive(const QString& drive) const;
    void removeDrive(const QString& drive);

    const QList<ConnectionEntry>& entries() const { return entries_; }
    int count() const { return int(entries_.size()); }
    bool isEmpty() const { return entries_.isEmpty(); }

private:
    void reindex();

    QList<ConnectionEntry> entries_;
    QHash<QString, int> byResource_; // case-folded resource -> index
};
