#include "media_roots.h"

#include "medium_label.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace mediaroots {

namespace {

// File systems without media on them.
bool isVirtualFileSystem(QByteArrayView type) {
    static const QSet<QByteArray> virtualTypes = {
        "proc",        "sysfs",      "devtmpfs",    "devpts",   "tmpfs",
        "cgroup",      "cgroup2",    "securityfs",  "pstore",   "debugfs",
        "tracefs",     "mqueue",     "hugetlbfs",   "configfs", "fusectl",
        "bpf",         "autofs",     "binfmt_misc", "efivarfs", "nsfs",
        "ramfs",       "rpc_pipefs", "selinuxfs",   "nfsd",     "fuse.gvfsd-fuse",
        "fuse.portal", "squashfs",   "devfs",       "none"};
    return virtualTypes.contains(type.toByteArray());
}

// Mount points escape blanks, tabs, new lines and backslashes as octal "\ooo".
QString unescapeMountField(QByteArrayView field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '\\' && i + 3 < field.size()) {
            const QByteArrayView digits = field.sliced(i + 1, 3);
            bool ok = digits.size() == 3;
            int value = 0;
            for (char d : digits) {
                if (d < '0' || d > '7') ok = false;
                value = value * 8 + (d - '0');
            }
            if (ok && value < 256) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(c);
    }
    return QString::fromUtf8(out);
}

} // namespace

QStringList parseMountTable(const QByteArray& table) {
    QStringList roots;
    QSet<QString> seen;
    for (QByteArrayView line : table.split('\n')) {
        const QList<QByteArray> fields = line.toByteArray().simplified().split(' ');
        if (fields.size() < 3) continue;
        if (isVirtualFileSystem(fields[2])) continue;
        const QString mountPoint = unescapeMountField(fields[1]);
        if (!mountPoint.startsWith(u'/')) continue;
        if (seen.contains(mountPoint)) continue;
        seen.insert(mountPoint);
        roots << mountPoint;
    }
    return roots;
}

QStringList mountRoots(const QString& mountTable) {
    QFile file(mountTable);
    if (!file.open(QIODevice::ReadOnly)) return {};
    // The table is a virtual file: read it to its end in pieces, bounded.
    QByteArray data;
    while (data.size() < 4 * 1024 * 1024) {
        const QByteArray chunk = file.read(64 * 1024);
        if (chunk.isEmpty()) break;
        data += chunk;
    }
    return parseMountTable(data);
}

QStringList environmentRoots() {
    QStringList roots;
    const QString value = qEnvironmentVariable("VORLUNE_MEDIA_ROOTS");
    for (const QString& part : value.split(u':', Qt::SkipEmptyParts)) {
        QString root = part;
        while (root.size() > 1 && root.endsWith(u'/'))
            root.chop(1);
        roots << root;
    }
    return roots;
}

QStringList localRoots() {
    QStringList roots = mountRoots();
    for (const QString& root : environmentRoots()) {
        roots.removeAll(root); // listed again: its later place counts
        roots << root;
    }
    return roots;
}

QString rootHolding(const QString& canonicalPath, const QStringList& roots) {
    QString best;
    for (const QString& root : roots) {
        const QString canonical = QFileInfo(root).canonicalFilePath();
        if (canonical.isEmpty()) continue; // gone, or not reachable
        if (canonical.size() <= best.size()) continue;
        const bool holds =
            canonical == u"/" || canonicalPath == canonical ||
            (canonicalPath.startsWith(canonical) && canonicalPath.at(canonical.size()) == u'/');
        if (holds) best = canonical;
    }
    return best;
}

int foundTypeFromIdLines(const QStringList& lines) {
    static const char* const codes[] = {"DSK", "USB", "RAM", "CDR", "HDD", "LAN", "WWW"};
    int type = FoundUntyped;
    for (const QString& line : lines) {
        if (!line.startsWith(u"MEDIATYPE::", Qt::CaseInsensitive)) continue;
        const QStringView code = QStringView(line).mid(11);
        for (int i = 0; i < 7; ++i) {
            if (code.startsWith(QLatin1StringView(codes[i]), Qt::CaseInsensitive)) {
                type = 2 + i;
                break;
            }
        }
    }
    return type;
}

QString titleFilePath(QStringView root, QStringView titleLine) {
    const qsizetype colon = titleLine.indexOf(u':');
    QString rest = colon < 0 ? u'\\' + titleLine.toString() : titleLine.mid(colon + 1).toString();
    rest.replace(u'\\', u'/');
    if (!rest.startsWith(u'/')) rest.prepend(u'/');
    QString base = root.toString();
    while (base.endsWith(u'/'))
        base.chop(1);
    return base + rest;
}

QString idFilePath(QStringView root, QStringView label) {
    const QString name = mediumlabel::idFileName(label);
    if (name.isEmpty()) return {};
    QString base = root.toString();
    while (base.endsWith(u'/'))
        base.chop(1);
    return base + u'/' + name;
}

bool isSmbPath(QStringView path) {
    return path.startsWith(u"smb://", Qt::CaseInsensitive);
}

} // namespace mediaroots
