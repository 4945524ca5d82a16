#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringView>

class QThread;

// Browsing the network neighbourhood for page 5: workgroups, servers, shares and folders
// listed through libsmbclient, and the conversion between share paths and smb URLs.
namespace reapwell {

struct ShareEntry {
    enum Kind { Workgroup, Server, Share, Folder };
    Kind kind = Folder;
    QString name;
    QString url; // smb URL of the entry, to list it in turn
};

// "\\server\share\dir" -> "smb://server/share/dir"; an empty path gives "smb://".
QString smbUrlFromUnc(QStringView unc);
// "smb://server/share/dir" -> "\\server\share\dir"; "smb://" gives an empty path.
QString uncFromSmbUrl(QStringView url);

// The URL of an entry listed under parentUrl: workgroups and servers are reached from the
// root, shares and folders below their parent.
QString childUrl(QStringView parentUrl, ShareEntry::Kind kind, const QString& name);

} // namespace reapwell

class ShareWorker;

// Lists the entries under an smb URL on a thread of its own; the answer comes by signal.
class ShareLister : public QObject {
    Q_OBJECT
public:
    // port 0: the library's default ports.
    explicit ShareLister(quint16 port = 0, QObject* parent = nullptr);
    ~ShareLister() override;

    void list(const QString& url);

signals:
    void listed(const QString& url, const QList<reapwell::ShareEntry>& entries,
                const QString& error);

private:
    QThread* thread_ = nullptr;
    ShareWorker* worker_ = nullptr;
};
