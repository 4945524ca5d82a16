#include "copy_integration.h"

#include "collection_views.h"
#include "command_panel.h"
#include "commands.h"
#include "copy_dialogs.h"
#include "copy_profiles.h"
#include "copy_worker.h"
#include "event_sounds.h"
#include "main_window.h"
#include "media_access.h"
#include "merkzettel.h"
#include "path_template.h"
#include "settings_store.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace {
const char* const kModeActions[] = {"ZumZielortkopieren1", "ZumZielortverschieben1",
                                    "AufCDschreiben1"};
}

CopyIntegration::CopyIntegration(TForm1* window, SettingsStore* store)
    : QObject(window), window_(window), store_(store),
      sounds_(std::make_unique<EventSounds>(store)) {
    activeProfile_ = pathtemplate::kNoProfile;
    parameter_ = pathtemplate::kNoParameter;
    form3_ = new TForm3(window->mediaAccess(), window);
    form3_->setEventSound([this](const QString& e) { sounds_->play(e); });
    CopyRun& run = form3_->run();
    // Names may be long: the status line shows what fits, its tool tip the whole text.
    connect(&run, &CopyRun::statusText, window_, [this](const QString& text) {
        QLabel* line = window_->statusText;
        const int width = std::max(line->width(), 200);
        window_->setStatusText(line->fontMetrics().elidedText(text, Qt::ElideMiddle, width));
        line->setToolTip(text);
    });
    connect(&run, &CopyRun::changed, this, &CopyIntegration::updateCopyState);
    connect(&run, &CopyRun::finished, this, &CopyIntegration::updateCopyState);
    // Moved titles whose originals stayed: said once, at the end of the run.
    connect(&run, &CopyRun::finished, this, [this] {
        const QStringList kept = form3_->run().keptSources();
        if (!kept.isEmpty())
            window_->messageBox(QMessageBox::Warning,
                                QStringLiteral("Nicht jeder verschobene Titel konnte von seinem "
                                               "Medium gelöscht werden; die Kopien sind "
                                               "vollständig.\n\n") +
                                    kept.join(u'\n'),
                                QMessageBox::Ok);
    });

    // The destination fields.
    window_->dir_text->setToolTip(QStringLiteral(
        "Vorlage des Dateinamens, der für das Kopieren eines Titels verwendet wird"));
    window_->pl_text->setToolTip(QStringLiteral(
        "Name der Playlist, zu der auf Festplatte kopierte Dateien hinzugefügt werden"));
    window_->dir_text->installEventFilter(this);
    window_->pl_text->installEventFilter(this);
    if (window_->pl_text->lineEdit()) window_->pl_text->lineEdit()->installEventFilter(this);
    connect(window_->dir_text, &QLineEdit::textEdited, this, &CopyIntegration::releaseProfile);
    connect(window_->dir_text, &QLineEdit::editingFinished, this, &CopyIntegration::dir_textExit);
    connect(window_->dir_text, &QLineEdit::textChanged, this, &CopyIntegration::updateCopyState);
    if (QLineEdit* edit = window_->pl_text->lineEdit()) {
        connect(edit, &QLineEdit::textEdited, this, &CopyIntegration::releaseProfile);
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            const QString file = window_->pl_text->currentText().trimmed();
            if (QFileInfo(file).isFile()) insertPlaylistAtTop(file);
        });
    }
    window_->dir_btn->setEnabled(true);
    window_->pl_btn->setEnabled(true);
    connect(window_->dir_btn, &QPushButton::clicked, this, &CopyIntegration::dir_btnClick);
    connect(window_->pl_btn, &QPushButton::clicked, this, &CopyIntegration::pl_btnClick);
    if (QAction* a = window_->action(QStringLiteral("Zielordner1"))) {
        a->setEnabled(true);
        connect(a, &QAction::triggered, this, &CopyIntegration::dir_btnClick);
    }
    if (QAction* a = window_->action(QStringLiteral("Playlist1"))) {
        a->setEnabled(true);
        connect(a, &QAction::triggered, this, &CopyIntegration::pl_btnClick);
    }

    // Copy mode and its context menu on the action buttons.
    popupMenu3_ = new QMenu(window_);
    popupMenu3_->setObjectName(QStringLiteral("PopupMenu3"));
    for (const char* name : kModeActions)
        if (QAction* a = window_->action(QLatin1String(name))) {
            popupMenu3_->addAction(a);
            connect(a, &QAction::toggled, this, &CopyIntegration::applyCopyMode);
        }
    CommandPanel* panel = window_->commands;
    for (QPushButton* b : {panel->copy_btn, panel->burn_btn}) {
        b->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(b, &QWidget::customContextMenuRequested, this,
                [this, b](const QPoint& at) { popupMenu3_->popup(b->mapToGlobal(at)); });
    }
    // The copy and burn commands; the menu items and buttons are bound to them.
    CommandTable& table = window_->commandTable();
    // Its part of the state: the destination as typed, a run under way, the copy mode.
    table.addStateSource(this, [this](UiState& s) {
        s.destination = window_->dir_text->text();
        s.copyRunning = form3_->isRunning();
        s.copyMode = copyMode();
    });
    // An argument is an explicit selection ("&"-separated, URL-escaped title lines).
    table.add(QLatin1String(cmd::Copy), [this](const QString& arg) {
        if (arg.isEmpty())
            copySelection();
        else
            copyTitles(merkzettel::explicitSelection(arg));
    });
    table.add(QLatin1String(cmd::Burn), [this](const QString&) { burn_btnClick(); });
    connect(&table, &CommandTable::enabledChanged, this, [this](const QString& name, bool on) {
        if (name == QLatin1String(cmd::Copy)) emit enabledChanged(on);
    });
    applyCopyMode();

    // Profiles: the new-profile button shows only without profiles; the buttons live in
    // the window's row for them.
    window_->newprof->setText(QString());
    window_->newprof->setIcon(window_->style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    window_->newprof->setToolTip(QStringLiteral("Neues Profil anlegen"));
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::buttonClicked, this, &CopyIntegration::ProfButtonClick);

    // Before media are taken down: a copy under way stops and its partial file goes.
    window_->closingHooks.insert(window_->closingHooks.begin(), [this] {
        form3_->run().shutdown();
        // The window writes the store once, after every closing step.
        SaveActiveProfile();
    });
}

CopyIntegration::~CopyIntegration() = default;

int CopyIntegration::copyMode() const {
    for (int i = 0; i < 3; ++i)
        if (QAction* a = window_->action(QLatin1String(kModeActions[i])); a && a->isChecked())
            return i;
    return 0;
}

void CopyIntegration::applyCopyMode() {
    CommandPanel* panel = window_->commands;
    const int mode = copyMode();
    panel->copy_btn->setText(mode == 1 ? QStringLiteral("Ve&rschieben")
                                       : QStringLiteral("&Kopieren"));
    panel->copy_btn->setVisible(mode != 2);
    panel->burn_btn->setVisible(mode == 2);
}

void CopyIntegration::burn_btnClick() {
    window_->messageBox(QMessageBox::Critical, QStringLiteral("Brennmodul nicht gefunden!"),
                        QMessageBox::Cancel);
}

// ---- profiles ----

QList<QToolButton*> CopyIntegration::profileButtons() const {
    QList<QToolButton*> out;
    for (QAbstractButton* b : group_->buttons())
        out.append(static_cast<QToolButton*>(b));
    return out;
}

void CopyIntegration::BuildProfileButtons() {
    if (!group_->buttons().isEmpty()) SaveActiveProfile();
    activeProfile_ = pathtemplate::kNoProfile;
    if (!store_) {
        window_->newprof->setVisible(true);
        return;
    }
    const QStringList names = copyprofiles::profileNames(*store_);
    const QString active = copyprofiles::activeProfileName(*store_);
    auto* row = qobject_cast<QHBoxLayout*>(window_->profileButtons->layout());
    const QIcon fallback = window_->style()->standardIcon(QStyle::SP_DriveHDIcon);
    const QString dataDir = window_->environment().dataDir;
    QToolButton* toActivate = nullptr;
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        auto* b = new QToolButton(window_->profileButtons);
        b->setObjectName(QStringLiteral("profile%1").arg(i));
        b->setAutoRaise(true);
        b->setCheckable(true);
        b->setFixedSize(26, 26);
        b->setIconSize(QSize(24, 24));
        b->setToolTip(name);
        QPixmap picture;
        const QString glyphFile = copyprofiles::glyphFilePath(dataDir, name);
        if (glyphFile.isEmpty() || !QFileInfo(glyphFile).isFile() || !picture.load(glyphFile))
            picture = fallback.pixmap(24, 24);
        const copyprofiles::Profile p = copyprofiles::readProfile(*store_, name);
        if (p.hasGlyphData) {
            QPixmap stored;
            if (stored.loadFromData(p.glyphData)) picture = stored;
        }
        b->setIcon(QIcon(picture));
        b->installEventFilter(this);
        group_->addButton(b);
        if (row) row->insertWidget(i, b);
        if (name.compare(active, Qt::CaseInsensitive) == 0) toActivate = b;
    }
    if (row && row->count() == names.size()) row->addStretch(1);
    if (toActivate) {
        toActivate->setChecked(true);
        ProfButtonClick(toActivate);
    }
    window_->newprof->setVisible(names.isEmpty());
}

void CopyIntegration::SaveActiveProfile() {
    if (store_) {
        copyprofiles::setActiveProfileName(*store_, QString());
        if (QAbstractButton* pressed = group_->checkedButton())
            copyprofiles::setActiveProfileName(*store_, pressed->toolTip());
    }
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    if (QLayout* row = window_->profileButtons->layout())
        while (QLayoutItem* item = row->takeAt(0))
            delete item;
}

void CopyIntegration::ProfButtonClick(QAbstractButton* button) {
    if (!button) return;
    button->setChecked(true);
    activeProfile_ = button->toolTip();
    copyprofiles::Profile p;
    if (store_) p = copyprofiles::readProfile(*store_, activeProfile_);
    window_->dir_text->setText(p.path);
    window_->pl_text->setEditText(p.playlist);
    command_ = p.command.left(255);
    dirRemembered_ = p.path;
    plRemembered_ = p.playlist;
}

void CopyIntegration::ProfButtonDblClick(QAbstractButton* button) {
    if (!button) return;
    const QString name = button->toolTip();
    if (command_.trimmed().isEmpty()) {
        window_->setStatusText(
            QStringLiteral("Für das Profil \"%1\" wurde kein Befehl angegeben.").arg(name));
        return;
    }
    pathtemplate::Context context;
    context.profile = activeProfile_;
    context.parameter = parameter_;
    const CommandLine c = SplitCommandLine(pathtemplate::ExpandCommand(command_, context));
    const bool started =
        !c.program.isEmpty() &&
        QProcess::startDetached(c.program, c.arguments(), window_->environment().catalogDir);
    window_->setStatusText(
        started
            ? QStringLiteral("Der für das Profil \"%1\" angegebene Befehl wurde ausgeführt.")
                  .arg(name)
            : QStringLiteral("Der für das Profil \"%1\" angegebene Befehl konnte nicht ausgeführt "
                             "werden.")
                  .arg(name));
}

void CopyIntegration::releaseProfile() {
    if (QAbstractButton* pressed = group_->checkedButton()) {
        group_->setExclusive(false);
        pressed->setChecked(false);
        group_->setExclusive(true);
    }
    command_.clear();
    activeProfile_ = pathtemplate::kNoProfile;
}

// ---- destination fields ----

void CopyIntegration::dir_textExit() {
    if (checking_) return;
    checking_ = true;
    QLineEdit* field = window_->dir_text;
    const QString text = field->text().trimmed();
    if (text != field->text()) field->setText(text);
    if (!pathtemplate::CheckPathTemplate(text)) {
        const QString question = QStringLiteral("Die Pfadvorlage \"") + text +
                                 QStringLiteral("\" enthält falsche Angaben.\n\rSoll sie "
                                                "automatisch korrigiert werden?");
        if (window_->messageBox(QMessageBox::Question, question,
                                QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
            field->setText(pathtemplate::CorrectPathTemplate(text, QDir::homePath()));
        else
            field->setText(dirRemembered_);
    }
    dirRemembered_ = field->text();
    checking_ = false;
}

void CopyIntegration::insertPlaylistAtTop(const QString& file) {
    QComboBox* box = window_->pl_text;
    if (box->findText(file) >= 0) return;
    const QString edit = box->currentText();
    box->insertItem(0, file);
    box->setEditText(edit);
}

void CopyIntegration::pl_textExit() {
    if (checking_) return;
    checking_ = true;
    QComboBox* box = window_->pl_text;
    const QString text = box->currentText().trimmed();
    if (text != box->currentText()) box->setEditText(text);
    if (QFileInfo(text).isFile()) insertPlaylistAtTop(text);
    const QString folder = QFileInfo(text).absolutePath();
    // A playlist on a share gets its folder when the run writes it.
    const bool onShare = !copyshare::url(text).isEmpty();
    if (!text.isEmpty() && !onShare && !QFileInfo(folder).isDir()) {
        const QString question = QStringLiteral("Verzeichnis \"") + folder +
                                 QStringLiteral("\" existiert nicht.\n\r Soll es neu angelegt "
                                                "werden?");
        const bool yes =
            window_->messageBox(QMessageBox::Question, question,
                                QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        if (yes && !QDir().mkpath(folder))
            window_->messageBox(
                QMessageBox::Warning,
                QStringLiteral("Das Verzeichnis \"%1\" kann nicht angelegt werden.").arg(folder),
                QMessageBox::Ok);
        if (!QFileInfo(folder).isDir()) box->setEditText(plRemembered_);
    }
    plRemembered_ = box->currentText();
    checking_ = false;
}

void CopyIntegration::dir_btnClick() {
    const QString start = pathtemplate::baseFolder(window_->dir_text->text());
    const QString folder = folderPrompt_
                               ? folderPrompt_(start)
                               : QFileDialog::getExistingDirectory(window_, QString(), start);
    if (folder.isEmpty()) return;
    releaseProfile();
    window_->dir_text->setText(pathtemplate::CorrectPathTemplate(folder, QDir::homePath()));
    dirRemembered_ = window_->dir_text->text();
}

void CopyIntegration::pl_btnClick() {
    const QString current = window_->pl_text->currentText().trimmed();
    if (QFileInfo(current).isFile()) insertPlaylistAtTop(current);
    const QString file =
        playlistPrompt_ ? playlistPrompt_(current)
                        : QFileDialog::getOpenFileName(
                              window_, QStringLiteral("Ziel-Playlist auswählen..."), current,
                              QStringLiteral("WinAmp M3U PlayLists (*.m3u);;Alle Dateien (*)"));
    if (file.isEmpty()) return;
    releaseProfile();
    window_->pl_text->setEditText(file);
    plRemembered_ = file;
}

bool CopyIntegration::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick)
        if (auto* b = qobject_cast<QToolButton*>(watched); b && group_->buttons().contains(b)) {
            ProfButtonDblClick(b);
            return true;
        }
    if (event->type() == QEvent::FocusIn) {
        if (watched == window_->dir_text) {
            dirRemembered_ = window_->dir_text->text();
        } else if (watched == window_->pl_text || watched == window_->pl_text->lineEdit()) {
            dir_textExit();
            plRemembered_ = window_->pl_text->currentText();
        }
    } else if (event->type() == QEvent::FocusOut && watched == window_->pl_text->lineEdit()) {
        QMetaObject::invokeMethod(this, &CopyIntegration::pl_textExit, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

// ---- the copy run ----

bool CopyIntegration::copyEnabled() const {
    return window_->commandTable().isEnabled(QLatin1String(cmd::Copy));
}

void CopyIntegration::updateCopyState() {
    window_->commandTable().refresh();
}

QString CopyIntegration::askParameter() {
    const QString preset = pathtemplate::kNoParameter;
    QString answer;
    if (prompt_) {
        answer = prompt_(preset);
    } else {
        answer = QInputDialog::getText(window_, QStringLiteral("Wahlfreier Parameter"),
                                       QStringLiteral("Parameter \"%?\" ersetzen durch:"),
                                       QLineEdit::Normal, preset);
    }
    return answer.trimmed().isEmpty() ? preset : answer;
}

void CopyIntegration::copySelection() {
    copyTitles(window_->views() ? window_->views()->selectedTitles() : QStringList());
}

void CopyIntegration::copyTitles(const QStringList& lines) {
    if (form3_->isRunning()) return;
    // Only title lines "<label>:\<path>\<file>": folder lines and other text from a web
    // page are left out (a line without a label would end the run at its medium lookup).
    QStringList titles;
    for (const QString& line : lines) {
        const qsizetype colon = line.indexOf(u':');
        if (colon > 0 && line.size() > colon + 1 && !line.endsWith(u'\\') && !line.endsWith(u':'))
            titles.append(line);
    }
    if (copyMode() == 2) {
        burn_btnClick();
        return;
    }
    dir_textExit();
    const QString pathTemplate = window_->dir_text->text();
    if (!pathtemplate::CheckPathTemplate(pathTemplate)) return;
    if (pathTemplate.contains(QStringLiteral("%?"))) parameter_ = askParameter();
    if (titles.isEmpty()) return;
    CopyRun::Setup setup;
    setup.pathTemplate = pathTemplate;
    setup.playlistFile = window_->pl_text->currentText().trimmed();
    setup.command = command_;
    setup.catalogDir = window_->environment().catalogDir;
    setup.context.profile = activeProfile_;
    setup.context.parameter = parameter_;
    setup.mode = copyMode() == 1 ? CopyRun::Move : CopyRun::Copy;
    form3_->startRun(titles, setup);
    updateCopyState();
}
