#include "media_integration.h"

#include "app_core.h"
#include "collection_loader.h"
#include "event_sounds.h"
#include "gui_thread_connector.h"
#include "main_window.h"
#include "media_dialogs.h"

#include <QProgressBar>

#include <climits>

MediaIntegration::MediaIntegration(TForm1* window, TForm2* insertMedium, TForm6* password,
                                   SettingsStore* store)
    : window_(window), core_(window->core()), insertMedium_(insertMedium), password_(password),
      tempDir_(core_.mediaTempDir()), sounds_(std::make_unique<EventSounds>(store)),
      access_(&core_.media()), connector_(&core_.mediumConnector()) {
    core_.setMediaPrompts(this);
    window->setMediumConnector(connector_);

    const EventSoundFn play = [this](const QString& event) { sounds_->play(event); };
    insertMedium_->setEventSound(play);
    password_->setEventSound(play);

    connect(access_, &MediaAccess::statusMessage, window, &TForm1::setStatusText);
    connect(access_, &MediaAccess::downloadStarted, this,
            [this](const QString&, const QString&, qint64 maximum) { onDownloadStarted(maximum); });
    connect(access_, &MediaAccess::downloadProgress, this, &MediaIntegration::onDownloadProgress);
    connect(access_, &MediaAccess::titleFetched, this, &MediaIntegration::onTitleFetched);
    // A reload that ends hides the bar it shared with a running download: show it again.
    connect(window, &TForm1::loadFinished, this, [this] {
        if (!access_->isDownloading()) return;
        const TransferMeter& meter = access_->meter();
        onDownloadStarted(meter.maximum());
        onDownloadProgress(meter.value(), meter.maximum(), meter.statusText());
    });
}

MediaIntegration::~MediaIntegration() {
    // Without the window nothing is connected and nobody is asked any more.
    connector_->close();
    window_->setMediumConnector(nullptr);
    core_.setMediaPrompts(nullptr);
}

bool MediaIntegration::closeRequest() {
    if (!access_->DisconnectAll(true)) return false;
    // Closing goes ahead: a load still running connects nothing more, and its worker no
    // longer waits for this thread.
    connector_->close();
    return true;
}

// ---- questions ----

bool MediaIntegration::askPassword(const QString& caption, bool withUserName, QString& user,
                                   QString& password) {
    return password_->ask(caption, withUserName, user, password);
}

void MediaIntegration::warn(const QString& text) {
    window_->messageBox(QMessageBox::Warning, text, QMessageBox::Ok);
}

bool MediaIntegration::confirm(const QString& text) {
    return window_->messageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

QString MediaIntegration::waitForMedium(const QString& label, MediumWait& wait) {
    return insertMedium_->waitFor(label, wait);
}

// ---- downloads ----

void MediaIntegration::onDownloadStarted(qint64 maximum) {
    progressShift_ = 0;
    while ((maximum >> progressShift_) > INT_MAX)
        ++progressShift_;
    QProgressBar* bar = window_->ProgressBar1;
    bar->setRange(0, int(std::max<qint64>(maximum >> progressShift_, 1)));
    bar->setValue(0);
    bar->show();
}

void MediaIntegration::onDownloadProgress(qint64 value, qint64 maximum, const QString& statusText) {
    QProgressBar* bar = window_->ProgressBar1;
    if ((maximum >> progressShift_) > INT_MAX) onDownloadStarted(maximum);
    bar->setMaximum(int(std::max<qint64>(maximum >> progressShift_, 1)));
    bar->setValue(int(std::min(value, maximum) >> progressShift_));
    if (!statusText.isEmpty()) window_->setStatusText(statusText);
}

void MediaIntegration::onTitleFetched() {
    if (!access_->isDownloading() && !window_->isLoading()) window_->ProgressBar1->hide();
}
