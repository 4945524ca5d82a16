#include "encoder_search.h"

#include "version_info.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

EncoderSearch::EncoderSearch(QObject* parent) : QObject(parent) {
    qRegisterMetaType<EncoderCandidate>();
}

EncoderSearch::~EncoderSearch() {
    cancel();
    wait();
}

QStringList EncoderSearch::defaultRoots(const QString& dataFolder) {
    QStringList roots;
    if (!dataFolder.isEmpty()) roots << dataFolder;
    roots << QStringLiteral("/usr/lib") << QStringLiteral("/usr/lib64") << QStringLiteral("/lib")
          << QStringLiteral("/lib64") << QStringLiteral("/opt") << QStringLiteral("/usr/local")
          << QDir::homePath();
    return roots;
}

bool EncoderSearch::isCandidateName(const QString& fileName) {
    static const QRegularExpression re(QStringLiteral("^libmp3lame.*\\.so(\\..*)?$"));
    return re.match(fileName).hasMatch();
}

QString EncoderSearch::describe(const EncoderVersion& v) {
    QString s = QStringLiteral("LAME Engine %1.%2-%3.%4")
                    .arg(v.engineMajor)
                    .arg(v.engineMinor)
                    .arg(v.beta)
                    .arg(v.alpha);
    if (v.mmx) s += QStringLiteral(" [MMX]");
    return s;
}

QString EncoderSearch::fileVersionText(const EncoderVersion& v) {
    return QStringLiteral("%1.%2 (%3-%4-%5)")
        .arg(v.libMajor)
        .arg(v.libMinor)
        .arg(v.day, 2, 10, QLatin1Char('0'))
        .arg(englishMonthAbbrev(v.month))
        .arg(v.year);
}

bool EncoderSearch::examine(const QString& path, EncoderCandidate* out) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    if (f.read(4) != QByteArray("\x7f"
                                "ELF",
                                4))
        return false;
    f.close();
    LameBinding lame;
    if (lame.load(path) != LameBinding::Ok) return false;
    EncoderVersion v;
    if (lame.version(&v) != LameBinding::Ok) return false;
    if (out) {
        out->path = path;
        out->version = v;
        out->description = describe(v);
        out->fileVersion = fileVersionText(v);
    }
    return true;
}

void EncoderSearch::start(const QStringList& roots) {
    if (m_thread) return;
    m_scanning = true;
    m_thread = QThread::create([this, roots] {
        scan(roots);
        const bool cancelled = !m_scanning.exchange(false);
        emit finished(cancelled);
    });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->deleteLater();
        m_thread = nullptr;
    });
    m_thread->start();
}

void EncoderSearch::cancel() {
    m_scanning = false;
}

void EncoderSearch::wait() {
    if (m_thread) m_thread->wait();
}

QList<EncoderCandidate> EncoderSearch::scan(const QStringList& roots) {
    if (!m_thread) m_scanning = true;
    QSet<QString> seenDirs, seenFiles;
    QList<EncoderCandidate> out;
    for (const QString& root : roots) {
        if (!m_scanning) break;
        scanFolder(root, seenDirs, seenFiles, out);
    }
    return out;
}

void EncoderSearch::scanFolder(const QString& dir, QSet<QString>& seenDirs,
                               QSet<QString>& seenFiles, QList<EncoderCandidate>& out) {
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty() || seenDirs.contains(canonical)) return;
    seenDirs.insert(canonical);
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (m_scanning && it.hasNext()) {
        const QString path = it.next();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        if (now - m_lastFolderSignal >= 50) {
            m_lastFolderSignal = now;
            emit folderEntered(dir);
        }
        const QFileInfo fi = it.fileInfo();
        if (fi.isDir()) {
            if (!fi.isSymLink()) scanFolder(path, seenDirs, seenFiles, out);
            continue;
        }
        if (!isCandidateName(fi.fileName()) || !fi.isFile()) continue;
        const QString file = fi.canonicalFilePath();
        if (seenFiles.contains(file))
            continue; // one row per library, however many names lead to it
        EncoderCandidate c;
        if (!examine(path, &c)) continue;
        seenFiles.insert(file);
        out << c;
        emit found(c);
    }
}
