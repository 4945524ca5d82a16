#include "copy_integration.h"

#include "commands.h"
#include "copy_dialogs.h"
#include "copy_profiles.h"
#include "copy_worker.h"
#include "event_sounds.h"
#include "media_access.h"
#include "merkzettel.h"
#include "path_template.h"
#include "settings_store.h"

#include <QAbstractButton>
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

CopyIntegration::CopyIntegration(CommandTable& commands, MediaAccess& media, SettingsStore* store,
                                 const QString& catalogDir, const QString& dataDir, CopyView& view,
                                 QObject* parent)
    : QObject(parent), commands_(commands), store_(store), catalogDir_(catalogDir),
      dataDir_(dataDir), view_(view), parent_(view.dialogParent()),
      dirText_(view.destinationField()), plText_(view.playlistField()),
      sounds_(std::make_unique<EventSounds>(store)) {
    Q_ASSERT(dirText_ && plText_);
    activeProfile_ = pathtemplate::kNoProfile;
    parameter_ = pathtemplate::kNoParameter;
    form3_ = new TForm3(&media, parent_);
    form3_->setEventSound([this](const QString& e) { sounds_->play(e); });
    CopyRun& run = form3_->run();
    // Names may be long: the status line shows what fits, its tool tip the whole text.
    connect(&run, &CopyRun::statusText, this,
            [this](const QString& text) { view_.showCopyStatus(text); });
    connect(&run, &CopyRun::changed, this, &CopyIntegration::updateCopyState);
    connect(&run, &CopyRun::finished, this, &CopyIntegration::updateCopyState);
    // Moved titles whose originals stayed: said once, at the end of the run.
    connect(&run, &CopyRun::finished, this, [this] {
        const QStringList kept = form3_->run().keptSources();
        if (!kept.isEmpty())
            view_.ask(QMessageBox::Warning,
                      QStringLiteral("Nicht jeder verschobene Titel konnte von seinem "
                                     "Medium gelöscht werden; die Kopien sind "
                                     "vollständig.\n\n") +
                          kept.join(u'\n'),
                      QMessageBox::Ok);
    });

    // The destination fields.
    dirText_->setToolTip(QStringLiteral(
        "Vorlage des Dateinamens, der für das Kopieren eines Titels verwendet wird"));
    plText_->setToolTip(QStringLiteral(
        "Name der Playlist, zu der auf Festplatte kopierte Dateien hinzugefügt werden"));
    dirText_->installEventFilter(this);
    plText_->installEventFilter(this);
    if (plText_->lineEdit()) plText_->lineEdit()->installEventFilter(this);
    dirWatched_ = dirText_.data();
    plWatched_ = plText_.data();
    plEditWatched_ = plText_->lineEdit();
    connect(dirText_, &QLineEdit::textEdited, this, &CopyIntegration::releaseProfile);
    connect(dirText_, &QLineEdit::editingFinished, this, &CopyIntegration::dir_textExit);
    // The state holds the destination as a value; the field reports each change.
    destination_ = dirText_->text();
    connect(dirText_, &QLineEdit::textChanged, this, [this](const QString& text) {
        destination_ = text;
        updateCopyState();
    });
    if (QLineEdit* edit = plText_->lineEdit()) {
        connect(edit, &QLineEdit::textEdited, this, &CopyIntegration::releaseProfile);
        connect(edit, &QLineEdit::returnPressed, this, [this] {
            const QString file = plText_->currentText().trimmed();
            if (QFileInfo(file).isFile()) insertPlaylistAtTop(file);
        });
    }
    if (QAbstractButton* b = view_.destinationButton()) {
        b->setEnabled(true);
        connect(b, &QAbstractButton::clicked, this, &CopyIntegration::dir_btnClick);
    }
    if (QAbstractButton* b = view_.playlistButton()) {
        b->setEnabled(true);
        connect(b, &QAbstractButton::clicked, this, &CopyIntegration::pl_btnClick);
    }
    if (QAction* a = view_.menuItem(QStringLiteral("Zielordner1"))) {
        a->setEnabled(true);
        connect(a, &QAction::triggered, this, &CopyIntegration::dir_btnClick);
    }
    if (QAction* a = view_.menuItem(QStringLiteral("Playlist1"))) {
        a->setEnabled(true);
        connect(a, &QAction::triggered, this, &CopyIntegration::pl_btnClick);
    }

    // Copy mode and its context menu on the action buttons.
    popupMenu3_ = new QMenu(parent_);
    popupMenu3_->setObjectName(QStringLiteral("PopupMenu3"));
    for (const char* name : kModeActions)
        if (QAction* a = view_.menuItem(QLatin1String(name))) {
            popupMenu3_->addAction(a);
            connect(a, &QAction::toggled, this, &CopyIntegration::applyCopyMode);
        }
    for (QAbstractButton* b : {view_.copyButton(), view_.burnButton()}) {
        if (!b) continue;
        b->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(b, &QWidget::customContextMenuRequested, this,
                [this, b](const QPoint& at) { popupMenu3_->popup(b->mapToGlobal(at)); });
    }
    // The copy and burn commands; the menu items and buttons are bound to them.
    CommandTable& table = commands_;
    // Its part of the state: the destination as typed, a run under way, the copy mode.
    table.addStateSource(this, [this](UiState& s) {
        s.destination = destination_;
        s.copyRunning = form3_->isRunning();
        s.copyMode = copyMode();
    });
    table.provide<CopyCommands>(&CommandServices::copy, this);
    connect(&table, &CommandTable::enabledChanged, this, [this](const QString& name, bool on) {
        if (name == QLatin1String(cmd::Copy)) emit enabledChanged(on);
    });
    applyCopyMode();

    // Profiles: the new-profile button shows only without profiles; the buttons live in
    // the window's row for them.
    if (QAbstractButton* newProfile = view_.newProfileButton()) {
        newProfile->setText(QString());
        newProfile->setIcon(newProfile->style()->standardIcon(QStyle::SP_FileDialogNewFolder));
        newProfile->setToolTip(QStringLiteral("Neues Profil anlegen"));
    }
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::buttonClicked, this, &CopyIntegration::ProfButtonClick);
}

CopyIntegration::~CopyIntegration() {
    if (table_) table_->withdraw<CopyCommands>(&CommandServices::copy, this);
}

// An argument is an explicit selection ("&"-separated, URL-escaped title lines).
void CopyIntegration::onCopy(const QString& selection) {
    if (selection.isEmpty())
        copySelection();
    else
        copyTitles(merkzettel::explicitSelection(selection));
}

void CopyIntegration::onBurn() {
    burn_btnClick();
}

void CopyIntegration::shutdown() {
    form3_->run().shutdown();
    // The store is written by the caller, after every closing step.
    SaveActiveProfile();
}

int CopyIntegration::copyMode() const {
    for (int i = 0; i < 3; ++i)
        if (QAction* a = view_.menuItem(QLatin1String(kModeActions[i])); a && a->isChecked())
            return i;
    return 0;
}

void CopyIntegration::applyCopyMode() {
    const int mode = copyMode();
    if (QAbstractButton* copy = view_.copyButton()) {
        copy->setText(mode == 1 ? QStringLiteral("Ve&rschieben") : QStringLiteral("&Kopieren"));
        copy->setVisible(mode != 2);
    }
    if (QAbstractButton* burn = view_.burnButton()) burn->setVisible(mode == 2);
}

void CopyIntegration::burn_btnClick() {
    view_.ask(QMessageBox::Critical, QStringLiteral("Brennmodul nicht gefunden!"),
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
    QAbstractButton* newProfile = view_.newProfileButton();
    if (!store_) {
        if (newProfile) newProfile->setVisible(true);
        return;
    }
    const QStringList names = copyprofiles::profileNames(*store_);
    const QString active = copyprofiles::activeProfileName(*store_);
    QWidget* rowWidget = view_.profileRow();
    auto* row = qobject_cast<QHBoxLayout*>(rowWidget->layout());
    const QIcon fallback = rowWidget->style()->standardIcon(QStyle::SP_DriveHDIcon);
    const QString& dataDir = dataDir_;
    QToolButton* toActivate = nullptr;
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        auto* b = new QToolButton(rowWidget);
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
    if (newProfile) newProfile->setVisible(names.isEmpty());
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
    if (QLayout* row = view_.profileRow()->layout())
        while (QLayoutItem* item = row->takeAt(0))
            delete item;
}

void CopyIntegration::ProfButtonClick(QAbstractButton* button) {
    if (!button) return;
    button->setChecked(true);
    activeProfile_ = button->toolTip();
    copyprofiles::Profile p;
    if (store_) p = copyprofiles::readProfile(*store_, activeProfile_);
    dirText_->setText(p.path);
    plText_->setEditText(p.playlist);
    command_ = p.command.left(255);
    dirRemembered_ = p.path;
    plRemembered_ = p.playlist;
}

void CopyIntegration::ProfButtonDblClick(QAbstractButton* button) {
    if (!button) return;
    const QString name = button->toolTip();
    if (command_.trimmed().isEmpty()) {
        view_.setStatusText(
            QStringLiteral("Für das Profil \"%1\" wurde kein Befehl angegeben.").arg(name));
        return;
    }
    pathtemplate::Context context;
    context.profile = activeProfile_;
    context.parameter = parameter_;
    const CommandLine c = SplitCommandLine(pathtemplate::ExpandCommand(command_, context));
    const bool started =
        !c.program.isEmpty() && QProcess::startDetached(c.program, c.arguments(), catalogDir_);
    view_.setStatusText(
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
    QLineEdit* field = dirText_;
    const QString text = field->text().trimmed();
    if (text != field->text()) field->setText(text);
    if (!pathtemplate::CheckPathTemplate(text)) {
        const QString question = QStringLiteral("Die Pfadvorlage \"") + text +
                                 QStringLiteral("\" enthält falsche Angaben.\n\rSoll sie "
                                                "automatisch korrigiert werden?");
        if (view_.ask(QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No) ==
            QMessageBox::Yes)
            field->setText(pathtemplate::CorrectPathTemplate(text, QDir::homePath()));
        else
            field->setText(dirRemembered_);
    }
    dirRemembered_ = field->text();
    checking_ = false;
}

void CopyIntegration::insertPlaylistAtTop(const QString& file) {
    QComboBox* box = plText_;
    if (box->findText(file) >= 0) return;
    const QString edit = box->currentText();
    box->insertItem(0, file);
    box->setEditText(edit);
}

void CopyIntegration::pl_textExit() {
    if (checking_) return;
    checking_ = true;
    QComboBox* box = plText_;
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
        const bool yes = view_.ask(QMessageBox::Question, question,
                                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        if (yes && !QDir().mkpath(folder))
            view_.ask(
                QMessageBox::Warning,
                QStringLiteral("Das Verzeichnis \"%1\" kann nicht angelegt werden.").arg(folder),
                QMessageBox::Ok);
        if (!QFileInfo(folder).isDir()) box->setEditText(plRemembered_);
    }
    plRemembered_ = box->currentText();
    checking_ = false;
}

void CopyIntegration::dir_btnClick() {
    const QString start = pathtemplate::baseFolder(dirText_->text());
    const QString folder = folderPrompt_
                               ? folderPrompt_(start)
                               : QFileDialog::getExistingDirectory(parent_, QString(), start);
    if (folder.isEmpty()) return;
    releaseProfile();
    dirText_->setText(pathtemplate::CorrectPathTemplate(folder, QDir::homePath()));
    dirRemembered_ = dirText_->text();
}

void CopyIntegration::pl_btnClick() {
    const QString current = plText_->currentText().trimmed();
    if (QFileInfo(current).isFile()) insertPlaylistAtTop(current);
    const QString file =
        playlistPrompt_ ? playlistPrompt_(current)
                        : QFileDialog::getOpenFileName(
                              parent_, QStringLiteral("Ziel-Playlist auswählen..."), current,
                              QStringLiteral("WinAmp M3U PlayLists (*.m3u);;Alle Dateien (*)"));
    if (file.isEmpty()) return;
    releaseProfile();
    plText_->setEditText(file);
    plRemembered_ = file;
}

bool CopyIntegration::eventFilter(QObject* watched, QEvent* event) {
    if (dirText_.isNull() || plText_.isNull()) return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonDblClick)
        if (auto* b = qobject_cast<QToolButton*>(watched); b && group_->buttons().contains(b)) {
            ProfButtonDblClick(b);
            return true;
        }
    if (event->type() == QEvent::FocusIn) {
        if (watched == dirWatched_) {
            dirRemembered_ = dirText_->text();
        } else if (watched == plWatched_ || watched == plEditWatched_) {
            dir_textExit();
            plRemembered_ = plText_->currentText();
        }
    } else if (event->type() == QEvent::FocusOut && watched == plEditWatched_) {
        QMetaObject::invokeMethod(this, &CopyIntegration::pl_textExit, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

// ---- the copy run ----

bool CopyIntegration::copyEnabled() const {
    return commands_.isEnabled(QLatin1String(cmd::Copy));
}

void CopyIntegration::updateCopyState() {
    commands_.refresh();
}

QString CopyIntegration::askParameter() {
    const QString preset = pathtemplate::kNoParameter;
    QString answer;
    if (prompt_) {
        answer = prompt_(preset);
    } else {
        answer = QInputDialog::getText(parent_, QStringLiteral("Wahlfreier Parameter"),
                                       QStringLiteral("Parameter \"%?\" ersetzen durch:"),
                                       QLineEdit::Normal, preset);
    }
    return answer.trimmed().isEmpty() ? preset : answer;
}

void CopyIntegration::copySelection() {
    copyTitles(view_.selectedTitles());
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
    const QString pathTemplate = dirText_->text();
    if (!pathtemplate::CheckPathTemplate(pathTemplate)) return;
    if (pathTemplate.contains(QStringLiteral("%?"))) parameter_ = askParameter();
    if (titles.isEmpty()) return;
    CopyRun::Setup setup;
    setup.pathTemplate = pathTemplate;
    setup.playlistFile = plText_->currentText().trimmed();
    setup.command = command_;
    setup.catalogDir = catalogDir_;
    setup.context.profile = activeProfile_;
    setup.context.parameter = parameter_;
    setup.mode = copyMode() == 1 ? CopyRun::Move : CopyRun::Copy;
    form3_->startRun(titles, setup);
    updateCopyState();
}
