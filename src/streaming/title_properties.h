#pragma once

#include "title_scan.h"

#include "task_service.h"

#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class MediaDevice;

// The file facts behind the "Eigenschaften" page, without widgets.
namespace titleprops {

struct FileFacts {
    bool found = false;
    qint64 size = 0;
    QString created;       // birth time, or "(Unbekannt)" where the file system keeps none
    QString changed;       // last write
    QString accessed;      // date of the last access, or "(Unbekannt)"
    bool readOnly = false; // the owner's write permission is off
    bool hidden = false;   // the name begins with a dot
};

// Looks the file up; times as the system reports them, in local time.
FileFacts fileFacts(const QString& path, const QLocale& locale = QLocale());

// The description of the file's type by its extension (shared-mime-info); empty for an
// extension without a registered type.
QString typeDescription(const QString& fileName);

// The length and bit rate to show for an MP3 file that is not playing: the frame scan's,
// or the media player's length when it lies above 0 and below three times the scanned one
// (or the scan found no frames), with the rate from the size and that length.
struct Length {
    qint64 ms = -1;
    int kbps = 0;
};
Length chooseLength(qint64 bytes, const titlescan::ScanResult& scan, qint64 deviceMs);

bool isMp3(const QString& fileName);

} // namespace titleprops

// Measures an MP3 file that is not playing: the frame scan as a job of the task service and
// a hidden media player of its own, then `measured`. A newer request supersedes an older
// one (its scan is cancelled); the player's errors are swallowed.
class TitleMeasurer : public QObject {
    Q_OBJECT
public:
    explicit TitleMeasurer(TaskService& tasks, QObject* parent = nullptr);
    ~TitleMeasurer() override;

    quint64 measure(const QString& path, qint64 bytes);
    void cancel();
    bool busy() const { return pending_ != 0; }

signals:
    void measured(quint64 serial, titleprops::Length length);

private:
    void partDone();

    QPointer<TaskService> tasks_;
    std::unique_ptr<MediaDevice> device_;
    tasks::Id scanJob_ = 0;
    quint64 serial_ = 0;
    qint64 bytes_ = 0;
    int pending_ = 0;
    bool scanDone_ = false;
    bool deviceDone_ = false;
    titlescan::ScanResult scanResult_;
    qint64 deviceMs_ = 0;
};
