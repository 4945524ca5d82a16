#include "media_access_titles.h"

#include "media_access.h"
#include "player.h"

MediaAccessTitles::MediaAccessTitles(MediaAccess* media, QObject* parent)
    : QObject(parent), media_(media) {}

void MediaAccessTitles::connectPlayer(Player* player) {
    connect(media_, &MediaAccess::titleFetched, player, &Player::titleFetched);
    connect(media_, &MediaAccess::stopPlayerRequested, player, [player] {
        // A player at rest keeps the status text it has.
        if (player->isPlaying() || player->isStarting() || player->isTimerActive())
            player->stopClick();
        // The cached titles are removed next: libmpv lets go of the file shortly after
        // it is told to, on its own thread.
        player->device().close();
        player->device().waitReleased(3000);
    });
}

bool MediaAccessTitles::downloadInProgress() const {
    return media_->isDownloading();
}

QString MediaAccessTitles::findMediumDrive(const QString& label) {
    return media_->FindMediumDrive(label);
}

bool MediaAccessTitles::insertDialogVisible() const {
    return media_->mediumWait().isActive();
}

QString MediaAccessTitles::titleFilePath(const QString& root, const QString& titleLine) const {
    return MediaAccess::titleFilePath(root, titleLine);
}

void MediaAccessTitles::cancelMediumWait() {
    if (media_->mediumWait().isActive()) media_->mediumWait().cancel();
}

TitleAccess::Answer MediaAccessTitles::fetchTitle(const QString& path) {
    const MediaAccess::FetchAnswer answer = media_->FetchTitleFile(path);
    return {answer.localFile, answer.pending};
}
