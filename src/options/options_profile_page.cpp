// The options dialog's "Profile" page: the profile editor.
#include "options_dialog.h"

#include "settings_keys.h"

#include "desktop_shortcut.h"
#include "path_template.h"
#include "settings_store.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>

QWidget* TForm5::buildProfilePage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    int row = 0;

    profnames = new QComboBox(page);
    profnames->setObjectName(QStringLiteral("profnames"));
    profnames->setEditable(true);
    profnames->setInsertPolicy(QComboBox::NoInsert);
    profnames->lineEdit()->setMaxLength(ProfileEditor::kMaxNameLength);
    profnames->addItem(QStringLiteral("Beispiel-Profil"));
    btn_save = new QPushButton(QStringLiteral("Spei&chern"), page);
    btn_save->setObjectName(QStringLiteral("btn_save"));
    btn_del = new QPushButton(QStringLiteral("&Löschen"), page);
    btn_del->setObjectName(QStringLiteral("btn_del"));
    auto* nameLabel = new QLabel(QStringLiteral("&Profil:"), page);
    nameLabel->setBuddy(profnames);
    grid->addWidget(nameLabel, row, 0);
    grid->addWidget(profnames, row, 1);
    auto* nameButtons = new QHBoxLayout;
    nameButtons->addWidget(btn_save);
    nameButtons->addWidget(btn_del);
    grid->addLayout(nameButtons, row++, 2);

    dir_text = new QLineEdit(page);
    dir_text->setObjectName(QStringLiteral("dir_text"));
    auto* dirLabel = new QLabel(QStringLiteral("&Ziel:"), page);
    dirLabel->setBuddy(dir_text);
    grid->addWidget(dirLabel, row, 0);
    grid->addWidget(dir_text, row++, 1, 1, 2);

    // Placeholder buttons leave the focus in the template field.
    auto* placeholders = new QGridLayout;
    const std::pair<const char*, const char*> marks[] = {
        {"Interpret", "%A"},   {"Titel", "%T"},       {"Dateiname", "%F"},
        {"Medien-Name", "%C"}, {"Erweiterung", "%E"}, {"Dateityp", "%M"},
        {"Profil-Name", "%P"}, {"Datum", "%D"},       {"(Eingabefeld)", "%?"}};
    for (int i = 0; i < 9; ++i) {
        auto* b = new QPushButton(QString::fromUtf8(marks[i].first), page);
        b->setObjectName(QStringLiteral("ph%1").arg(i));
        b->setFocusPolicy(Qt::NoFocus);
        b->setToolTip(QLatin1String(marks[i].second));
        const QString mark = QLatin1String(marks[i].second);
        connect(b, &QPushButton::clicked, this, [this, mark] { insertPlaceholder(mark); });
        placeholders->addWidget(b, i / 3, i % 3);
        placeholderButtons.append(b);
    }
    grid->addLayout(placeholders, row++, 1, 1, 2);

    pl_text = new QComboBox(page);
    pl_text->setObjectName(QStringLiteral("pl_text"));
    pl_text->setEditable(true);
    pl_text->setInsertPolicy(QComboBox::NoInsert);
    pl_btn = new QPushButton(QStringLiteral("..."), page);
    pl_btn->setObjectName(QStringLiteral("pl_btn"));
    auto* plLabel = new QLabel(QStringLiteral("Pl&aylist:"), page);
    plLabel->setBuddy(pl_text);
    grid->addWidget(plLabel, row, 0);
    grid->addWidget(pl_text, row, 1);
    grid->addWidget(pl_btn, row++, 2);

    cmd_text = new QLineEdit(page);
    cmd_text->setObjectName(QStringLiteral("cmd_text"));
    cmd_text->setMaxLength(255);
    cmd_btn = new QPushButton(QStringLiteral("..."), page);
    cmd_btn->setObjectName(QStringLiteral("cmd_btn"));
    auto* cmdLabel = new QLabel(QStringLiteral("&Befehl:"), page);
    cmdLabel->setBuddy(cmd_text);
    grid->addWidget(cmdLabel, row, 0);
    grid->addWidget(cmd_text, row, 1);
    grid->addWidget(cmd_btn, row++, 2);

    btnico24 = new QLabel(page);
    btnico24->setObjectName(QStringLiteral("btnico24"));
    btnico24->setFixedSize(ProfileEditor::kGlyphSize + 4, ProfileEditor::kGlyphSize + 4);
    btnico24->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    btnico24->setAlignment(Qt::AlignCenter);
    btnico24->setToolTip(QStringLiteral("Doppelklicken, um ein Symbol auszuwählen"));
    btnico24->installEventFilter(this);
    grid->addWidget(new QLabel(QStringLiteral("Symbol:"), page), row, 0);
    grid->addWidget(btnico24, row++, 1, Qt::AlignLeft);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);

    dir_text->installEventFilter(this);
    pl_text->lineEdit()->installEventFilter(this);
    connect(profnames, &QComboBox::editTextChanged, this, &TForm5::profileNameChanged);
    connect(profnames, &QComboBox::activated, this, &TForm5::profileNameChanged);
    connect(btn_save, &QPushButton::clicked, this, &TForm5::saveProfile);
    connect(btn_del, &QPushButton::clicked, this, &TForm5::deleteProfile);
    connect(dir_text, &QLineEdit::editingFinished, this, [this] { dirTextExit(); });
    connect(pl_text->lineEdit(), &QLineEdit::editingFinished, this, &TForm5::plTextExit);
    connect(pl_btn, &QPushButton::clicked, this, &TForm5::choosePlaylist);
    connect(cmd_btn, &QPushButton::clicked, this, &TForm5::chooseCommand);
    return page;
}

QImage TForm5::defaultPicture() const {
    return style()
        ->standardIcon(QStyle::SP_DriveHDIcon)
        .pixmap(ProfileEditor::kGlyphSize, ProfileEditor::kGlyphSize)
        .toImage();
}

void TForm5::setPreview(const QImage& picture) {
    picture_ = picture;
    btnico24->setPixmap(
        QPixmap::fromImage(picture.scaled(ProfileEditor::kGlyphSize, ProfileEditor::kGlyphSize,
                                          Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

void TForm5::showingSteps() {
    setPreview(defaultPicture());
    iconFile_.clear();
    iconChosen_ = false;
    dir_text->setText(host_.destinationTemplate());
    pl_text->clear();
    pl_text->addItems(host_.playlistHistory());
    pl_text->setEditText(host_.playlistFile());
    cmd_text->clear();
    {
        const QSignalBlocker block(profnames);
        profnames->clear();
        if (editor_) profnames->addItems(editor_->names());
        profnames->setCurrentIndex(-1);
        profnames->setEditText(ProfileEditor::kNewProfile);
    }
    profileNameChanged();
}

void TForm5::profileNameChanged() {
    const QString name = profnames->currentText().trimmed();
    btn_save->setEnabled(ProfileEditor::canSave(name));
    const bool listed = !name.isEmpty() && profnames->findText(name, Qt::MatchFixedString) >= 0;
    btn_del->setEnabled(listed);
    SettingsStore* store = host_.store();
    if (!listed || !store) return;
    const QString key = copyprofiles::kProfilesKey + u'\\' + name;
    if (const auto v = store->readText(key, QLatin1String(settingskeys::profile::Path)))
        dir_text->setText(*v);
    if (const auto v = store->readText(key, QLatin1String(settingskeys::profile::Playlist)))
        pl_text->setEditText(*v);
    if (const auto v = store->readText(key, QLatin1String(settingskeys::profile::Command)))
        cmd_text->setText(*v);
    const QString glyph =
        store->readText(key, QLatin1String(settingskeys::profile::Glyph)).value_or(QString());
    QImage picture;
    if (!glyph.isEmpty() && QFileInfo(glyph).isFile() && picture.load(glyph)) {
        setPreview(picture);
        iconFile_ = glyph;
    } else {
        setPreview(defaultPicture());
        iconFile_.clear();
    }
    iconChosen_ = false;
}

void TForm5::saveProfile() {
    const QString name = profnames->currentText().trimmed();
    if (!editor_ || !ProfileEditor::canSave(name)) return;
    if (!dirTextExit()) return;
    const ProfileEditor::SaveCheck check = editor_->checkSave(name);
    if (check == ProfileEditor::SaveCheck::LimitReached) {
        host_.ask(QMessageBox::Critical,
                  QStringLiteral("Es können keine weiteren Profile erstellt werden.\n\rLöschen Sie "
                                 "evtl. unnötige Profile, um dieses zu speichern."),
                  QMessageBox::Ok);
        return;
    }
    if (check == ProfileEditor::SaveCheck::Exists &&
        host_.ask(QMessageBox::Question,
                  QStringLiteral("Das Profil \"%1\" existiert bereits.\n\rSoll es überschrieben "
                                 "werden?")
                      .arg(name),
                  QMessageBox::No | QMessageBox::Ok) != QMessageBox::Ok)
        return;
    copyprofiles::Profile p;
    p.name = name;
    p.path = dir_text->text();
    p.playlist = pl_text->currentText().trimmed();
    p.command = cmd_text->text();
    p.glyph = iconFile_;
    // An existing profile keeps its stored picture unless another one was chosen.
    QImage picture = picture_;
    if (!iconChosen_ && check == ProfileEditor::SaveCheck::Exists && iconFile_.isEmpty())
        picture = QImage();
    editor_->save(p, picture);
    if (profnames->findText(name, Qt::MatchFixedString) < 0) {
        const QSignalBlocker block(profnames);
        profnames->clear();
        profnames->addItems(editor_->names());
        profnames->setCurrentIndex(profnames->findText(name, Qt::MatchFixedString));
        profnames->setEditText(name);
    }
    profileNameChanged();
    saveStore();
    host_.profilesChanged();
}

void TForm5::deleteProfile() {
    const QString name = profnames->currentText().trimmed();
    if (!editor_ || profnames->findText(name, Qt::MatchFixedString) < 0) return;
    if (host_.ask(QMessageBox::Question,
                  QStringLiteral("Das Profil \"%1\" wirklich löschen?").arg(name),
                  QMessageBox::No | QMessageBox::Ok) != QMessageBox::Ok)
        return;
    editor_->remove(name);
    showingSteps();
    saveStore();
    host_.profilesChanged();
}

void TForm5::insertPlaceholder(const QString& placeholder) {
    dir_text->insert(placeholder);
    dir_text->setFocus(Qt::OtherFocusReason);
}

bool TForm5::dirTextExit() {
    if (checkingTemplate_) return pathtemplate::CheckPathTemplate(dir_text->text());
    checkingTemplate_ = true;
    const QString text = dir_text->text().trimmed();
    if (text != dir_text->text()) dir_text->setText(text);
    if (!pathtemplate::CheckPathTemplate(text)) {
        const QString question = QStringLiteral("Die Pfadvorlage \"") + text +
                                 QStringLiteral("\" enthält falsche Angaben.\n\rSoll sie "
                                                "automatisch korrigiert werden?");
        if (host_.ask(QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No) ==
            QMessageBox::Yes)
            dir_text->setText(pathtemplate::CorrectPathTemplate(text, QDir::homePath()));
        else
            dir_text->setText(remembered_);
    }
    remembered_ = dir_text->text();
    checkingTemplate_ = false;
    return pathtemplate::CheckPathTemplate(dir_text->text());
}

void TForm5::plTextExit() {
    const QString text = pl_text->currentText().trimmed();
    if (text != pl_text->currentText()) pl_text->setEditText(text);
    if (QFileInfo(text).isFile() && pl_text->findText(text) < 0) {
        pl_text->insertItem(0, text);
        pl_text->setEditText(text);
        host_.addPlaylistToHistory(text);
    }
    const QString folder = QFileInfo(text).absolutePath();
    if (!text.isEmpty() && !QFileInfo(folder).isDir()) {
        const QString question = QStringLiteral("Verzeichnis \"") + folder +
                                 QStringLiteral("\" existiert nicht.\n\r Soll es neu angelegt "
                                                "werden?");
        const bool yes = host_.ask(QMessageBox::Question, question,
                                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        if (yes && !QDir().mkpath(folder))
            host_.ask(
                QMessageBox::Warning,
                QStringLiteral("Das Verzeichnis \"%1\" kann nicht angelegt werden.").arg(folder),
                QMessageBox::Ok);
        if (!QFileInfo(folder).isDir()) pl_text->setEditText(remembered_);
    }
    remembered_ = pl_text->currentText();
}

void TForm5::choosePlaylist() {
    const QString current = pl_text->currentText().trimmed();
    const QString file = askFile(QStringLiteral("Ziel-Playlist auswählen..."), current,
                                 QStringLiteral("WinAmp M3U PlayLists (*.m3u);;Alle Dateien (*)"));
    if (file.isEmpty()) return;
    pl_text->setEditText(file);
    remembered_ = file;
    plTextExit();
}

void TForm5::chooseIcon() {
    const QString file = askFile(QStringLiteral("Symbol für Profil auswählen..."), iconFile_,
                                 QStringLiteral("Bilder (*.png *.bmp *.jpg *.jpeg *.gif *.svg "
                                                "*.ico *.xpm);;Alle Dateien (*)"));
    QImage picture;
    if (file.isEmpty() || !picture.load(file)) return;
    setPreview(picture);
    iconFile_ = file;
    iconChosen_ = true;
}

void TForm5::chooseCommand() {
    const QString file = askFile(QString(), desktopshortcut::desktopFolder(), QString());
    if (file.isEmpty()) return;
    cmd_text->setText(
        (cmd_text->text() + QStringLiteral(" \"") + file + QLatin1Char('"')).trimmed());
}

bool TForm5::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == dir_text) remembered_ = dir_text->text();
        if (watched == pl_text->lineEdit()) remembered_ = pl_text->currentText();
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == btnico24) {
        chooseIcon();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
