#pragma once

#include <QString>

// What the player needs from media access to turn a title line into a file it can open.
class TitleAccess {
public:
    virtual ~TitleAccess() = default;

    // A web title is being downloaded: play commands are ignored meanwhile.
    virtual bool downloadInProgress() const = 0;

    // The root that holds the medium, after the insert-medium dialog when needed; empty
    // when the user gives up or the dialog is already open for another request.
    virtual QString findMediumDrive(const QString& label) = 0;
    virtual bool insertDialogVisible() const = 0;
    // Closes the insert-medium dialog as if the user gave up.
    virtual void cancelMediumWait() = 0;

    // The title's path on a root.
    virtual QString titleFilePath(const QString& root, const QString& titleLine) const = 0;

    // A local file for the path now, or pending: then the answer comes through
    // Player::titleFetched.
    struct Answer {
        QString localFile;
        bool pending = false;
    };
    virtual Answer fetchTitle(const QString& path) = 0;
};
