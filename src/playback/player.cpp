#include "player.h"

#include "log_categories.h"
#include "title_line.h"
#include "title_lists.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace {

const QString kPlayingSuffix = QStringLiteral(" wird wiedergegeben...");

QString quotedName(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace

Player::Player(Options options, TitleAccess* access, QObject* parent, TaskService* tasks)
    : QObject(parent), options_(std::move(options)), access_(access),
      device_(std::make_unique<MediaDevice>(options_.device)) {
    if (!tasks) {
        ownTasks_ = std::make_unique<TaskService>();
        tasks = ownTasks_.get();
    }
    tasks_ = tasks;
    connect(tasks_, &TaskService::progressed, this, [this](tasks::Id id, qint64 done, qint64) {
        if (id != scanJob_ || !scanJob_) return;
        controls_.progress = int(done);
        changed();
    });
    timer_.setInterval(options_.tickMs);
    connect(&timer_, &QTimer::timeout, this, &Player::tick);
    connect(device_.get(), &MediaDevice::opened, this, &Player::deviceOpened);
    connect(device_.get(), &MediaDevice::openFailed, this, &Player::deviceFailed);
    today_ = [] { return QDate::currentDate(); };
}

Player::~Player() {
    cancelScan();
}

void Player::setSelectionProvider(std::function<QStringList()> provider) {
    selection_ = std::move(provider);
}

void Player::setTitleLists(TitleLists* lists) {
    lists_ = lists;
    if (!lists_) return;
    lists_->list(TitleLists::Playlist) = playlist_.titles();
    syncCharts();
}

void Player::syncCharts() {
    if (lists_) lists_->list(TitleLists::Charts) = history_.titles();
}

void Player::setShownView(ShownView view) {
    shown_ = view;
    changed();
}

void Player::setListSelection(bool hasSelection) {
    hasSelection_ = hasSelection;
    changed();
}

QString Player::displayName() const {
    return titleline::displayName(
        QString(currentFile_).replace(QLatin1Char('/'), QLatin1Char('\\')));
}

bool Player::isPlaying() const {
    const auto mode = device_->mode();
    return mode == MediaDevice::Playing || mode == MediaDevice::Paused;
}

QString Player::dataJsPath() const {
    return options_.tempDir.isEmpty() ? QString()
                                      : QDir(options_.tempDir).filePath(QStringLiteral("data.js"));
}

void Player::setStatus(const QString& text) {
    status_ = text;
    emit statusTextChanged(text);
}

void Player::buildPlaylist(const QStringList& lines) {
    playlist_.setTitles(lines);
    if (lists_) lists_->list(TitleLists::Playlist) = lines;
    emit playlistChanged();
}

void Player::clearPlaylist() {
    playlist_.clear();
    if (lists_) lists_->list(TitleLists::Playlist).clear();
    emit playlistChanged();
}

void Player::playClick() {
    if (inLookup_ || (access_ && access_->downloadInProgress())) return;
    if (!keepPlaylist_) {
        failedOpens_ = 0;
        buildPlaylist(selection_ ? selection_() : QStringList());
    }
    startCurrent();
}

void Player::playTitles(const QStringList& lines) {
    if (inLookup_ || (access_ && access_->downloadInProgress())) return;
    failedOpens_ = 0;
    buildPlaylist(lines);
    startCurrent();
}

uistate::Transport Player::transport() const {
    uistate::Transport t;
    t.selection = hasSelection_;
    t.playlistShown = shown_ == ShownView::Playlist;
    t.session = session_;
    t.begun = begun_;
    t.open = open_;
    t.running = timer_.isActive();
    t.titles = playlist_.count();
    t.position = playlist_.position();
    t.repeat = playlist_.repeat();
    return t;
}

void Player::changed() {
    PlayerControls& c = controls_;
    const uistate::Transport t = transport();
    c.playEnabled = uistate::canPlay(t);
    c.pauseEnabled = uistate::canPause(t);
    c.stopEnabled = uistate::canStop(t);
    c.prevEnabled = uistate::canPrev(t);
    c.nextEnabled = uistate::canNext(t);
    c.reptEnabled = uistate::canRepeat(t);
    c.shufEnabled = uistate::canShuffle(t);
    c.seekerEnabled = uistate::canSeek(t);
    emit controlsChanged();
}

void Player::startCurrent() {
    cancelScan();
    ++startId_;
    starting_ = false;
    pendingPath_.clear();
    // A title whose medium is missing while the insert-medium dialog is busy elsewhere is
    // skipped; one pass over the list at most.
    for (int attempts = 0;; ++attempts) {
        session_ = true;
        if (playlist_.count() == 0) {
            changed();
            return;
        }
        const QString line = playlist_.currentLine();
        QString root;
        if (access_) {
            inLookup_ = true;
            lookupStop_ = false;
            lookupMove_ = 0;
            root = access_->findMediumDrive(titleline::label(line));
            inLookup_ = false;
            if (lookupStop_) {
                stopClick();
                emit startFinished();
                return;
            }
            if (lookupMove_ != 0) {
                const int move = std::exchange(lookupMove_, 0);
                if (move > 0 ? playlist_.next(move) : playlist_.prev(-move)) {
                    attempts = -1;
                    continue;
                }
                // Not possible: the title that was found plays; without one, we stop.
                if (root.isEmpty()) {
                    stopClick();
                    emit startFinished();
                    return;
                }
            }
        }
        if (root.isEmpty()) {
            const QString reason =
                quotedName(titleline::displayName(line)) +
                QStringLiteral(" kann nicht wiedergegeben werden (Datenträger ") +
                quotedName(titleline::label(line)) + QStringLiteral(" nicht gefunden).");
            if (uistate::canNext(transport())) {
                if (access_ && access_->insertDialogVisible() && attempts < playlist_.count() &&
                    playlist_.next(1))
                    continue;
                stopClick();
            } else if (!isPlaying()) {
                stopClick();
            }
            qCWarning(lcPlayback).noquote() << reason;
            setStatus(reason);
            changed();
            emit startFinished();
            return;
        }
        currentLine_ = line;
        currentIndex_ = playlist_.currentIndex();
        emit currentIndexChanged(currentIndex_);
        currentFile_ = access_->titleFilePath(root, currentLine_);
        beginTitle();
        const quint64 id = ++startId_;
        starting_ = true;
        const TitleAccess::Answer answer = access_->fetchTitle(currentFile_);
        if (answer.pending) {
            pendingPath_ = currentFile_;
            changed();
            return;
        }
        continueWithFile(id, answer.localFile);
        return;
    }
}

void Player::beginTitle() {
    // The title that played so far ends here; nothing of it is shown for the new one.
    timer_.stop();
    if (isPlaying()) device_->stop();
    titleLength_ = -1;
    controls_.pauseDown = false;
    controls_.pauseChecked = false;
    controls_.pauseHint = QStringLiteral("Pause");
    open_ = false;
    begun_ = true; // a stop ends the start
    controls_.seekerPos = 0;
    controls_.seekerMax = 0;
    controls_.seekposText = QStringLiteral("0:00:00/0:00:00");
    controls_.clockText = QStringLiteral("0:00:00");
    controls_.clockGrey = false;
    controls_.clockHint = displayName();
    remote_.set(QStringLiteral("POSITION"), QStringLiteral("0:00:00"));
    remote_.set(QStringLiteral("REMAINING"), QStringLiteral("-0:00:00"));
    remote_.set(QStringLiteral("DURATION"), QStringLiteral("0:00:00"));
    changed();
}

void Player::titleFetched(const QString& path, const QString& localFile, const QString& error) {
    if (!starting_ || pendingPath_.isEmpty() || path != pendingPath_) return;
    pendingPath_.clear();
    continueWithFile(startId_, localFile, error);
}

void Player::continueWithFile(quint64 id, const QString& localFile, const QString& error) {
    if (id != startId_) return;
    if (localFile.isEmpty()) {
        QString reason =
            quotedName(displayName()) + QStringLiteral(" konnte nicht heruntergeladen werden");
        if (!error.isEmpty()) reason += QStringLiteral(" (") + error + QLatin1Char(')');
        failStart(id, reason + QLatin1Char('.'));
        return;
    }
    deviceFile_ = localFile;
    titleLength_ = -1;
    if (QFileInfo(localFile).suffix().toUpper() != QLatin1String("MP3")) {
        openAndPlay(id, nullptr);
        return;
    }
    controls_.progressVisible = true;
    controls_.progress = 0;
    setStatus(QStringLiteral("Länge des Titels ermitteln..."));
    changed();
    const quint64 generation = ++scanGeneration_;
    scanJob_ = tasks_->run(
        tasks::Kind::Scan, QStringLiteral("Länge des Titels ermitteln"), true,
        [file = localFile](const TaskControl& control) {
            return titlescan::ScanTitleLength(file, [&control](int percent) {
                if (control.cancelled()) return false;
                control.progress(percent, 100);
                return true;
            });
        },
        this,
        [this, id, generation](TaskOutcome<titlescan::ScanResult> outcome) {
            if (generation != scanGeneration_) return;
            scanJob_ = 0;
            if (id != startId_) return;
            controls_.progressVisible = false;
            setStatus(QString());
            openAndPlay(id, &outcome.value);
        });
}

void Player::cancelScan() {
    if (!scanJob_) return;
    const tasks::Id job = std::exchange(scanJob_, 0);
    ++scanGeneration_;
    tasks_->cancel(job);
    tasks_->waitForWork(job);
    if (controls_.progressVisible) {
        controls_.progressVisible = false;
        setStatus(QString());
    }
}

void Player::failStart(quint64 id, const QString& reason) {
    // Always from the event loop: a list of unplayable titles must not recurse.
    QMetaObject::invokeMethod(
        this,
        [this, id, reason] {
            if (id != startId_ || !starting_) return;
            starting_ = false;
            // Treated like a file that went away, a pass over the list at most.
            ++failedOpens_;
            qCWarning(lcPlayback).noquote() << reason;
            const bool giveUp = failedOpens_ >= std::max(1, playlist_.count());
            if (!giveUp && uistate::canNext(transport()) && playlist_.count() > 1) {
                setStatus(reason);
                nextClick();
            } else {
                stopClick();
                setStatus(reason);
            }
            emit startFinished();
        },
        Qt::QueuedConnection);
}

void Player::openAndPlay(quint64 id, const titlescan::ScanResult* scan) {
    if (id != startId_) return;
    if (scan) {
        titleLength_ = scan->lengthMs;
        fileSize_ = scan->fileSize;
        scanBitRate_ = scan->bitRate;
    } else {
        fileSize_ = QFileInfo(deviceFile_).size();
        scanBitRate_ = 0;
    }
    openId_ = id;
    if (!device_->open(deviceFile_)) deviceFailed(device_->lastError());
    // The answer comes with the device's opened or openFailed.
}

void Player::deviceFailed(const QString& error) {
    if (!starting_ || openId_ != startId_) return;
    QString reason = quotedName(displayName()) + QStringLiteral(" kann nicht wiedergegeben werden");
    if (!error.isEmpty()) reason += QStringLiteral(" (") + error + QLatin1Char(')');
    failStart(openId_, reason + QLatin1Char('.'));
}

void Player::deviceOpened() {
    if (!starting_ || openId_ != startId_) return;
    starting_ = false;
    failedOpens_ = 0;
    const QString name = displayName();
    controls_.seekposEnabled = true;
    controls_.seekerPos = 0;
    controls_.seekposText = QStringLiteral("0:00:00/0:00:00");

    const titleline::ArtistTitle split = titleline::splitArtistTitle(name);
    remote_.set(QStringLiteral("TRACKNAME"), name);
    remote_.set(QStringLiteral("ARTIST"), split.artist);
    remote_.set(QStringLiteral("TITLE"), split.title);
    remote_.set(QStringLiteral("POSITION"), QStringLiteral("0:00:00"));
    remote_.set(QStringLiteral("REMAINING"), QStringLiteral("-0:00:00"));
    remote_.set(QStringLiteral("DURATION"), QStringLiteral("0:00:00"));
    remote_.set(QStringLiteral("TRACKNUM"), QString::number(playlist_.position() + 1));
    remote_.set(QStringLiteral("TOTALTRACKS"), QString::number(playlist_.count()));
    remote_.set(QStringLiteral("TRACKSTATUS"), QStringLiteral("playing"));
    remote_.set(QStringLiteral("FILENAME"), deviceFile_);

    const qint64 deviceLength = device_->length();
    if (deviceLength < 3 * titleLength_ || titleLength_ < 0) titleLength_ = deviceLength;
    controls_.seekerMax = int(titleLength_ / 1000);

    open_ = true;
    controls_.pauseDown = false;
    controls_.pauseChecked = false;
    device_->setTimeFormatMilliseconds();
    setStatus(quotedName(name) + kPlayingSuffix);
    device_->play();
    emit streamTitleChanged(name);

    const qsizetype before = history_.titles().size();
    history_.countPlay(currentLine_, today_());
    if (lists_ && history_.titles().size() != before)
        lists_->list(TitleLists::Charts).append(currentLine_);
    emit playCounted(currentLine_);

    if (shown_ == ShownView::Playlist || shown_ == ShownView::Charts) emit rebuildViewRequested();
    timer_.start();
    controls_.pauseHint = QStringLiteral("Pause");
    changed();
    emit titleStarted(currentLine_);
    emit startFinished();
}

void Player::updateTimes(qint64 positionMs) {
    const titlescan::PlayTimes t = titlescan::playTimes(positionMs, titleLength_, timeMode_);
    controls_.clockText = t.clock;
    controls_.seekposText = t.seekpos;
    remote_.set(QStringLiteral("POSITION"), t.elapsed);
    remote_.set(QStringLiteral("REMAINING"), t.remaining);
    remote_.set(QStringLiteral("DURATION"), t.total);
}

void Player::goNextOrStop(bool stopWithFewerThanTwo) {
    if (uistate::canNext(transport()) && !(stopWithFewerThanTwo && playlist_.count() < 2))
        nextClick();
    else
        stopClick();
}

void Player::tick() {
    // While the next title is being prepared nothing may move on.
    if (inLookup_ || starting_) return;
    controls_.pauseDown = false;
    if (!QFileInfo::exists(deviceFile_)) {
        goNextOrStop(true);
        return;
    }
    const qint64 position = device_->position();
    controls_.seekerPos = int(position / 1000);
    updateTimes(position);
    const QString name = displayName();
    controls_.clockShown = trayDisplay_;
    controls_.clockHint = name;
    // A failed "data.js" keeps its text until the file can be written again.
    if (controls_.seekerPos % 3 == 0 && !dataJsFailed_)
        setStatus(quotedName(name) + kPlayingSuffix);
    controls_.clockGrey = false;
    writeDataJs(datajs::Writer::Tick);
    remote_.set(QStringLiteral("TRACKSTATUS"), QStringLiteral("playing"));
    if ((controls_.seekerPos % 60 == 0 || controls_.seekerPos == 1) &&
        shown_ == ShownView::Playlist)
        emit webRefreshRequested();
    changed();
    if (device_->mode() == MediaDevice::Stopped) goNextOrStop(false);
}

void Player::pauseClick() {
    if (!uistate::canPause(transport())) return;
    const bool pausing = timer_.isActive();
    controls_.pauseDown = pausing;
    controls_.pauseChecked = pausing;
    device_->pauseToggle();
    if (pausing)
        timer_.stop();
    else
        timer_.start();
    const bool running = timer_.isActive();
    controls_.pauseHint = running ? QStringLiteral("Pause") : QStringLiteral("Fortsetzen");
    const QString name = displayName();
    if (running) {
        emit streamTitleChanged(name);
        setStatus(quotedName(name) + kPlayingSuffix);
        controls_.clockGrey = false;
        remote_.set(QStringLiteral("TRACKSTATUS"), QStringLiteral("playing"));
    } else {
        emit streamTitleChanged(name + QStringLiteral(" [PAUSE]"));
        setStatus(QStringLiteral("Wiedergabe von ") + quotedName(name) +
                  QStringLiteral(" wurde unterbrochen. Pause-Button nochmals klicken, um "
                                 "fortzusetzen."));
        controls_.clockGrey = true;
        remote_.set(QStringLiteral("TRACKSTATUS"), QStringLiteral("paused"));
    }
    writeDataJs(datajs::Writer::PauseSeek, !running);
    if (shown_ == ShownView::Playlist) emit webRefreshRequested();
    changed();
}

void Player::stopClick() {
    if (inLookup_) {
        // The insert-medium dialog is open for the next title: it closes, then we stop.
        lookupStop_ = true;
        if (access_) access_->cancelMediumWait();
        return;
    }
    timer_.stop();
    cancelScan();
    ++startId_;
    const bool wasStarting = std::exchange(starting_, false);
    pendingPath_.clear();
    failedOpens_ = 0;
    if (device_->isOpening()) device_->close();
    if (device_->mode() != MediaDevice::NotReady || wasStarting) {
        playlist_.setPosition(playlist_.count() - 1);
        if (isPlaying()) device_->stop();
        clearPlaylist();
        if (shown_ == ShownView::Playlist) emit rebuildViewRequested();
    }
    controls_.seekposEnabled = false;
    controls_.seekerPos = 0;
    controls_.seekposText = QStringLiteral("0:00:00/0:00:00");
    remote_.set(QStringLiteral("POSITION"), QStringLiteral("0:00:00"));
    remote_.set(QStringLiteral("REMAINING"), QStringLiteral("-0:00:00"));
    remote_.set(QStringLiteral("DURATION"), QStringLiteral("0:00:00"));
    remote_.set(QStringLiteral("TRACKNUM"), QStringLiteral("none"));
    remote_.set(QStringLiteral("TOTALTRACKS"), QStringLiteral("none"));

    controls_.clockText = QStringLiteral("0:00:00");
    controls_.clockHint.clear();
    controls_.clockShown = false;
    controls_.clockGrey = false;
    controls_.pauseDown = false;
    controls_.pauseChecked = false;
    controls_.pauseHint = QStringLiteral("Pause");
    session_ = false;
    begun_ = false;
    open_ = false;

    writeDataJs(datajs::Writer::Stopped);
    if (shown_ == ShownView::Playlist) emit webRefreshRequested();

    const QString name = displayName();
    emit streamTitleChanged(name + QStringLiteral(" [STOP]"));
    if (!name.isEmpty())
        setStatus(QStringLiteral("Wiedergabe von ") + quotedName(name) +
                  QStringLiteral(" wurde gestoppt."));
    remote_.set(QStringLiteral("TRACKSTATUS"), QStringLiteral("stopped"));
    currentFile_.clear();
    currentLine_.clear();
    if (currentIndex_ != -1) {
        currentIndex_ = -1;
        emit currentIndexChanged(-1);
    }
    changed();
}

void Player::nextClick(int skip) {
    moveAndStart(skip);
}

void Player::prevClick(int skip) {
    moveAndStart(-skip);
}

void Player::moveAndStart(int steps) {
    if (inLookup_) {
        // The insert-medium dialog is open for the next title: it closes, then we move.
        lookupMove_ += steps;
        if (access_) access_->cancelMediumWait();
        return;
    }
    // A start still being prepared is given up for the new position.
    if (!(steps > 0 ? playlist_.next(steps) : playlist_.prev(-steps))) return;
    startCurrent();
}

void Player::setRepeat(bool on) {
    playlist_.setRepeat(on);
    remote_.set(QStringLiteral("REPEATING"), on ? QStringLiteral("yes") : QStringLiteral("no"));
    refreshAfterToggle();
}

void Player::setShuffle(bool on) {
    playlist_.setShuffle(on);
    remote_.set(QStringLiteral("SHUFFLED"), on ? QStringLiteral("yes") : QStringLiteral("no"));
    refreshAfterToggle();
}

void Player::refreshAfterToggle() {
    if (shown_ == ShownView::Playlist) {
        const auto mode = device_->mode();
        if (mode == MediaDevice::Playing && timer_.isActive()) {
            tick();
        } else if (mode == MediaDevice::Paused) {
            // A tick would mark the paused title as playing.
            updateTimes(device_->position());
            writeDataJs(datajs::Writer::PauseSeek, true);
        } else {
            remote_.set(QStringLiteral("POSITION"), QStringLiteral("0:00:00"));
            remote_.set(QStringLiteral("REMAINING"), QStringLiteral("-0:00:00"));
            remote_.set(QStringLiteral("DURATION"), QStringLiteral("0:00:00"));
            remote_.set(QStringLiteral("TRACKNUM"), QStringLiteral("none"));
            remote_.set(QStringLiteral("TOTALTRACKS"), QStringLiteral("none"));
            remote_.set(QStringLiteral("TRACKSTATUS"), QStringLiteral("stopped"));
            writeDataJs(datajs::Writer::Stopped);
        }
        emit webRefreshRequested();
    }
    changed();
}

void Player::seekerChange(int seconds) {
    if (!uistate::canSeek(transport())) return;
    if (seconds == int(device_->position() / 1000)) return;
    device_->seek(qint64(seconds) * 1000);
    device_->play();
    controls_.seekerPos = seconds;
    writeDataJs(datajs::Writer::PauseSeek);
    if (shown_ == ShownView::Playlist) emit webRefreshRequested();
    changed();
}

void Player::Wiedergabe3Click(int selectedCount) {
    if (selectedCount == 1 && uistate::canStop(transport())) stopClick();
    if (uistate::canPlay(transport())) playClick();
}

void Player::listDblClick(const QString& firstSelected) {
    if (hasSelection_ && shown_ != ShownView::Playlist) {
        if (uistate::canStop(transport())) stopClick();
        if (uistate::canPlay(transport())) playClick();
        return;
    }
    if (shown_ != ShownView::Playlist || playlist_.count() == 0) return;
    // The playlist view sorts by caption: the clicked item is matched by its title line.
    const int k = playlist_.orderPositionOf(playlist_.indexOfLine(firstSelected));
    if (k >= 0) playlist_.setPosition(k);
    keepPlaylist_ = true;
    playClick();
    keepPlaylist_ = false;
}

void Player::writeDataJs(datajs::Writer writer, bool paused) {
    const QString path = dataJsPath();
    if (path.isEmpty()) return;
    datajs::NowPlaying now;
    now.repeat = playlist_.repeat();
    now.shuffle = playlist_.shuffle();
    if (writer != datajs::Writer::Stopped) {
        now.paused = paused;
        now.displayName = displayName();
        now.position = controls_.seekerPos;
        now.duration = controls_.seekerMax;
        now.bitRate = titlescan::bitRateText(fileSize_, titleLength_);
        now.fileSize = fileSize_;
        const datajs::Neighbours around = datajs::neighbours(playlist_.titles(), playlist_.order(),
                                                             playlist_.position(), historySize_);
        now.previous = around.previous;
        now.next = around.next;
    }
    QString reason;
    const bool written = datajs::write(path, datajs::build(writer, now), &reason);
    if (!written && !dataJsFailed_) {
        qCWarning(lcPlayback).noquote() << path << "not written:" << reason;
        setStatus(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden: %2")
                      .arg(QDir::toNativeSeparators(path), reason));
    }
    dataJsFailed_ = !written;
}
