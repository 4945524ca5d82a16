#include "title_properties.h"

#include "media_device.h"
#include "statistics_texts.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

namespace titleprops {

FileFacts fileFacts(const QString& path, const QLocale& locale) {
    FileFacts f;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isFile()) return f;
    f.found = true;
    f.size = info.size();
    const QString unknown = QStringLiteral("(Unbekannt)");
    const QDateTime born = info.birthTime();
    f.created = born.isValid() ? stattexts::dateTimeText(born.toLocalTime(), locale) : unknown;
    const QDateTime written = info.lastModified();
    f.changed =
        written.isValid() ? stattexts::dateTimeText(written.toLocalTime(), locale) : unknown;
    const QDateTime read = info.lastRead();
    f.accessed =
        read.isValid() ? locale.toString(read.toLocalTime().date(), QLocale::LongFormat) : unknown;
    f.readOnly = !info.permission(QFile::WriteOwner); // as ls -l shows it, also for root
    f.hidden = info.fileName().startsWith(QLatin1Char('.'));
    return f;
}

QString typeDescription(const QString& fileName) {
    static const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return {};
    return type.comment();
}

Length chooseLength(qint64 bytes, const titlescan::ScanResult& scan, qint64 deviceMs) {
    Length l;
    l.ms = scan.lengthMs;
    l.kbps = scan.lengthMs >= 0 ? scan.bitRate : 0;
    if (deviceMs > 0 && (scan.lengthMs < 0 || deviceMs < 3 * scan.lengthMs)) {
        l.ms = deviceMs;
        l.kbps = stattexts::bitRateOf(bytes, deviceMs);
    }
    return l;
}

bool isMp3(const QString& fileName) {
    return fileName.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
}

} // namespace titleprops

TitleMeasurer::TitleMeasurer(TaskService& tasks, QObject* parent)
    : QObject(parent), tasks_(&tasks) {}

TitleMeasurer::~TitleMeasurer() {
    cancel();
}

void TitleMeasurer::cancel() {
    if (tasks_ && scanJob_) tasks_->cancel(scanJob_);
    scanJob_ = 0;
    pending_ = 0;
    if (device_) device_->close();
}

quint64 TitleMeasurer::measure(const QString& path, qint64 bytes) {
    cancel();
    const quint64 serial = ++serial_;
    bytes_ = bytes;
    pending_ = 2;
    scanDone_ = deviceDone_ = false;
    deviceMs_ = 0;
    scanResult_ = {};
    if (tasks_) {
        scanJob_ = tasks_->run(
            tasks::Kind::Lookup, QStringLiteral("Titel ausmessen"), true,
            [path](const TaskControl& control) {
                return titlescan::ScanTitleLength(path,
                                                  [&control](int) { return !control.cancelled(); });
            },
            this,
            [this, serial](TaskOutcome<titlescan::ScanResult> outcome) {
                if (serial != serial_ || scanDone_ || !pending_) return;
                scanJob_ = 0;
                scanResult_ = outcome.value;
                scanDone_ = true;
                partDone();
            });
    } else {
        scanDone_ = true; // no service any more: the player's length alone
        --pending_;
    }
    if (!device_) {
        MediaDevice::Options o;
        o.audioOutput = QStringLiteral("null");
        o.videoOutput = QStringLiteral("null");
        device_ = std::make_unique<MediaDevice>(o);
        connect(device_.get(), &MediaDevice::opened, this, [this] {
            if (deviceDone_ || !pending_) return;
            deviceMs_ = device_->length();
            deviceDone_ = true;
            device_->close();
            partDone();
        });
        connect(device_.get(), &MediaDevice::openFailed, this, [this](const QString&) {
            if (deviceDone_ || !pending_) return;
            deviceDone_ = true;
            partDone();
        });
    }
    if (!device_->isValid() || !device_->open(path)) {
        deviceDone_ = true;
        --pending_;
    }
    return serial_;
}

void TitleMeasurer::partDone() {
    if (pending_ <= 0) return;
    if (--pending_ > 0) return;
    emit measured(serial_, titleprops::chooseLength(bytes_, scanResult_, deviceMs_));
}
