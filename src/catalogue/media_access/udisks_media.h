#pragma once

#include "task_service.h"
#include "udisks_client.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <functional>

class MediumWait;

namespace udisksmedia {

// The medium type for a drive kind: the index of the wizard's type list and its code.
struct MediumType {
    int index = 0;
    QString code;
};
MediumType mediumTypeFor(UDisksDrive::Kind kind);
// The type list's index for a code given on the wizard's command line; -1 when unknown.
int typeIndexForCode(const QString& code);

// "Rock 1 – 4,7 GB – DVD" for a list of volumes.
QString volumeText(const UDisksVolume& volume, UDisksDrive::Kind kind);

// The wizard's command line for a volume: the folder, the label and the type code.
QStringList wizardArguments(const QString& folder, const QString& label, const QString& code);

} // namespace udisksmedia

// Mounts volumes for the insert-medium wait, and only for it: once its first pass over
// the mounted roots has missed, the unmounted volumes are mounted one after another, the
// one labelled like the medium first, until one holds the identification file. A
// volume that does not hold it is unmounted again at once; one that does stays mounted
// while a title from it is in use and is unmounted after that, or at closing.
class VolumeMounter : public QObject {
    Q_OBJECT
public:
    // The found type of the label's identification file on a root, or -1; thread-safe.
    using ProbeFn = std::function<int(const QString& root, const QString& label)>;
    // True while a file below the folder is open.
    using InUseFn = std::function<bool(const QString& folder)>;

    VolumeMounter(UDisksClient* client, MediumWait* wait, ProbeFn probe, InUseFn inUse,
                  QObject* parent = nullptr);
    ~VolumeMounter() override;

    // How often the mounts are checked for use; two idle checks in a row unmount.
    void setCheckInterval(int ms) { keeper_.setInterval(ms); }
    // Unmounts everything mounted here; allUnmounted() follows the last answer (at once
    // when there is nothing to unmount). Returns whether anything was asked.
    bool unmountAll();
    bool isMounting() const { return !mounting_.isEmpty(); }

signals:
    void allUnmounted();

private:
    void onFirstRoundMissed();
    void onWaitEnded();
    void onVolumeAdded();
    void tryNext();
    void onMounted(const QString& path, const QString& mountPoint);
    void onMountFailed(const QString& path, const QString& reason);
    void checkMounts();

    UDisksClient* client_;
    MediumWait* wait_;
    ProbeFn probe_;
    InUseFn inUse_;
    bool searching_ = false;
    QString label_;
    QSet<QString> tried_;
    QString mounting_;
    QHash<QString, int> idleChecks_;
    QTimer keeper_;
    int closing_ = 0; // unmounts asked at closing, still unanswered
    QPointer<TaskService> probeTasks_;
    QSet<tasks::Id> probeJobs_; // tests of volumes just mounted; a second may start meanwhile
    quint64 generation_ = 0;
};

// Offers to catalogue a removable volume that gets mounted while the program runs, when
// no index file describes it: no medium of its label and no known identification file
// on it. Volumes mounted at the start, and those this program mounted, are not offered.
class NewMediumWatcher : public QObject {
    Q_OBJECT
public:
    // The labels of the catalogue's media.
    using LabelsFn = std::function<QStringList()>;
    // The roots of new volumes are listed as look-up jobs of `tasks`.
    NewMediumWatcher(UDisksClient* client, TaskService& tasks, LabelsFn labels,
                     QObject* parent = nullptr);

    struct Offer {
        QString volume; // object path
        QString folder; // its mount point
        QString label;
        UDisksDrive::Kind kind = UDisksDrive::Fixed;
    };

signals:
    void offered(const NewMediumWatcher::Offer& offer);
    // The offered volume was unmounted or went.
    void withdrawn(const QString& volume);

private:
    void scan();
    void check(const UDisksVolume& volume);

    UDisksClient* client_;
    QPointer<TaskService> tasks_;
    LabelsFn labels_;
    QSet<QString> mounted_; // volume|mount point seen mounted
    QString offered_;
    bool primed_ = false;
};
