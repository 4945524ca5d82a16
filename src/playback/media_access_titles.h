#pragma once

#include "title_access.h"

#include <QObject>

class MediaAccess;
class Player;

// Title access through the program's media access: the drive lookup with the
// insert-medium dialog, and web titles fetched into the local cache.
class MediaAccessTitles : public QObject, public TitleAccess {
    Q_OBJECT
public:
    explicit MediaAccessTitles(MediaAccess* media, QObject* parent = nullptr);

    // Hands finished downloads to the player.
    void connectPlayer(Player* player);

    bool downloadInProgress() const override;
    QString findMediumDrive(const QString& label) override;
    bool insertDialogVisible() const override;
    void cancelMediumWait() override;
    QString titleFilePath(const QString& root, const QString& titleLine) const override;
    Answer fetchTitle(const QString& path) override;

private:
    MediaAccess* media_;
};
