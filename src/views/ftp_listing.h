#pragma once

#include <QList>
#include <QString>

// The listing page of an FTP medium's folder, which the web engine cannot show itself.
namespace ftplisting {

struct Entry {
    QString name;
    bool folder = false;
};

// Entries of an FTP LIST answer (Unix "drwxr-xr-x ..." and DOS "<DIR>" lines); "." and
// ".." and lines that cannot be read are left out.
QList<Entry> parse(const QByteArray& listing);

// The page for the folder `url` (no credentials in it) below the medium's `resource`:
// folders link into the listing, titles are "vorlune:play?" links with the title line
// "<label>:\<path>". All names are HTML-escaped.
QString page(const QString& url, const QString& resource, const QString& label,
             const QList<Entry>& entries, const QString& error = QString());

} // namespace ftplisting
