#include "options_dialog.h"

#include "desktop_shortcut.h"
#include "encoder_search_window.h"
#include "mail_job.h"
#include "mail_message.h"
#include "mail_password.h"
#include "registered_owner.h"
#include "settings_store.h"
#include "streaming_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

TForm5::TForm5(OptionsHost& host, QWidget* parent)
    : QDialog(parent), host_(host), vault_(new MailPasswordVault(this)),
      testMail_(new MailJob(this)) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Optionen"));
    setModal(true);
    if (host_.store()) editor_ = std::make_unique<ProfileEditor>(*host_.store(), host_.dataDir());

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildProfilePage(), QStringLiteral("Profile"));
    PageControl1->addTab(buildSoundsPage(), QStringLiteral("Klänge"));
    PageControl1->addTab(buildSearchPage(), QStringLiteral("Suche"));
    PageControl1->addTab(buildCommandsPage(), QStringLiteral("Befehle"));
    PageControl1->addTab(buildStreamingPage(), QStringLiteral("Streaming"));
    PageControl1->addTab(buildMiscPage(), QStringLiteral("Sonstiges"));
    PageControl1->addTab(buildMailPage(), QStringLiteral("E-Mail"));
    // Every tab in view: the dialog is never narrower than the whole tab row.
    PageControl1->setUsesScrollButtons(false);
    closeButton = new QPushButton(QStringLiteral("&Schließen"), this);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setDefault(false);
    closeButton->setAutoDefault(false);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(buttons);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm5::pageChanged);
    connect(testMail_, &MailJob::finished, this, [this](bool ok, const QString& reason) {
        mailTest->setEnabled(true);
        if (ok)
            host_.ask(QMessageBox::Information, QStringLiteral("Die Testnachricht wurde gesendet."),
                      QMessageBox::Ok);
        else
            host_.ask(QMessageBox::Critical,
                      QStringLiteral("Die Testnachricht konnte nicht gesendet werden.\n\n") +
                          reason,
                      QMessageBox::Ok);
        emit testMessageDone(ok, reason);
    });
    connect(vault_, &MailPasswordVault::availabilityKnown, this, &TForm5::showPasswordPlace);
}

// A test mail still under way is told to stop and ends on its own (see MailJob).
TForm5::~TForm5() = default;

int TForm5::currentPage() const {
    return PageControl1->currentIndex();
}

void TForm5::openOn(int page) {
    page = std::clamp(page, 0, PageControl1->count() - 1);
    const bool wasVisible = isVisible();
    if (wasVisible && page_ >= 0) pageExit(page_);
    {
        const QSignalBlocker block(PageControl1);
        PageControl1->setCurrentIndex(page);
    }
    if (!wasVisible) {
        showingSteps();
        show();
        raise();
        activateWindow();
    }
    page_ = page;
    pageEntry(page);
    if (page == optionspages::Profiles)
        profnames->setFocus(Qt::OtherFocusReason);
    else
        closeButton->setFocus(Qt::OtherFocusReason);
}

void TForm5::pageChanged(int page) {
    if (page_ >= 0 && page_ != page) pageExit(page_);
    page_ = page;
    pageEntry(page);
}

void TForm5::done(int result) {
    if (isVisible() && page_ >= 0) pageExit(page_);
    saveStore();
    QDialog::done(result);
    emit closedDialog();
}

bool TForm5::saveStore() {
    SettingsStore* store = host_.store();
    // A file the user was told about at start is left alone without another word.
    if (!store || !store->mayWrite()) return false;
    QString error;
    if (store->save(&error)) return true;
    host_.ask(QMessageBox::Warning,
              SettingsStore::saveFailedText(store->filePath(), error) +
                  QStringLiteral("\nDie Änderungen gelten bis zum Beenden; dann wird das "
                                 "Speichern erneut versucht."),
              QMessageBox::Ok);
    return false;
}

QString TForm5::askFile(const QString& title, const QString& start, const QString& filter) {
    if (filePrompt_) return filePrompt_(title, start, filter);
    return QFileDialog::getOpenFileName(this, title, start, filter);
}

void TForm5::pageEntry(int page) {
    SettingsStore* store = host_.store();
    switch (page) {
    case optionspages::Sounds: {
        const QStringList files = store ? optionspages::readSounds(*store) : QStringList();
        for (int i = 0; i < soundFields.size(); ++i)
            soundFields[i]->setText(files.value(i));
        updateSoundButtons();
        break;
    }
    case optionspages::Search: {
        filling_ = true;
        const optionspages::SearchValues v = optionspages::searchValues(host_.settings().main);
        nomedia->setChecked(v.nomedia);
        nopads->setChecked(v.nopads);
        reslimit->setChecked(v.reslimit);
        reslimitcnt->setValue(v.reslimitcnt);
        nosyntax->setChecked(v.nosyntax);
        minln->setChecked(v.minln);
        minlncnt->setValue(v.minlncnt);
        noballoon->setChecked(v.noballoon);
        filling_ = false;
        updateSearchControls();
        break;
    }
    case optionspages::Commands: {
        filling_ = true;
        const QStringList hidden = host_.hiddenPanels();
        for (int i = 0; i < cmdpanels->count(); ++i) {
            QListWidgetItem* item = cmdpanels->item(i);
            item->setCheckState(hidden.contains(item->text()) ? Qt::Unchecked : Qt::Checked);
        }
        filling_ = false;
        break;
    }
    case optionspages::Streaming:
        fillStreamingControls();
        if (taStationID->text().trimmed().isEmpty())
            taStationID->setText(optionspages::stationPreset(systemuser::registeredOwner()));
        applyStreaming();
        break;
    case optionspages::Misc:
        btn_clearsearch->setEnabled(host_.searchHistoryCount() > 0);
        btn_clearplaylists->setEnabled(!host_.playlistHistory().isEmpty());
        btn_cleanregistry->setEnabled(!host_.registryReleased());
        break;
    case optionspages::Mail:
        fillMail();
        break;
    default:
        break;
    }
}

void TForm5::pageExit(int page) {
    SettingsStore* store = host_.store();
    switch (page) {
    case optionspages::Sounds: {
        QStringList files;
        for (QLineEdit* field : soundFields)
            files.append(field->text());
        if (store) optionspages::writeSounds(*store, files);
        break;
    }
    case optionspages::Search: {
        optionspages::SearchValues v;
        v.nomedia = nomedia->isChecked();
        v.nopads = nopads->isChecked();
        v.reslimit = reslimit->isChecked();
        v.reslimitcnt = reslimitcnt->value();
        v.nosyntax = nosyntax->isChecked();
        v.minln = minln->isChecked();
        v.minlncnt = minlncnt->value();
        v.noballoon = noballoon->isChecked();
        appsettings::MainSettings& main = host_.settings().main;
        if (store)
            optionspages::writeSearch(*store, main, v);
        else
            optionspages::applySearch(main, v);
        host_.applySearchOptions(v);
        break;
    }
    case optionspages::Commands: {
        QStringList hidden;
        for (int i = 0; i < cmdpanels->count(); ++i)
            if (cmdpanels->item(i)->checkState() != Qt::Checked)
                hidden.append(cmdpanels->item(i)->text());
        if (store) optionspages::writeHiddenPanels(*store, hidden);
        break;
    }
    case optionspages::Streaming:
        if (taStationID->text().trimmed().isEmpty())
            taStationID->setText(optionspages::stationPreset(systemuser::registeredOwner()));
        collectStreaming();
        if (store) {
            optionspages::writeStreaming(*store, host_.settings().streaming);
            RelaySettings r;
            r.Enabled = cbRelay->isChecked();
            r.Host = edRelayHost->text().trimmed();
            r.Port = seRelayPort->value();
            r.Mount = edRelayMount->text().trimmed();
            r.User = edRelayUser->text().trimmed();
            r.Password = edRelayPassword->text();
            r.TLS = cbRelayTls->isChecked();
            streamingsettings::writeRelay(*store, r);
        }
        applyStreaming();
        break;
    case optionspages::Mail: {
        if (!store) break;
        MailAccount a;
        a.server = mailServer->text().trimmed();
        a.port = mailPort->value();
        a.security = mailSecurity->currentIndex();
        a.user = mailUser->text().trimmed();
        a.password = mailPassword->text();
        a.sender = mailSender->text().trimmed();
        vault_->save(*store, a, [this](MailPasswordVault::Place place, const QString& error) {
            showPasswordPlace();
            if (place == MailPasswordVault::Place::SettingsFile && !error.isEmpty())
                mailPasswordPlace->setText(
                    QStringLiteral("Das Kennwort konnte nicht im Schlüsselbund gespeichert "
                                   "werden (%1); es steht in der Einstellungsdatei (nur für Sie "
                                   "lesbar).")
                        .arg(error));
        });
        break;
    }
    default:
        break;
    }
}

// ---- "Klänge" ----

QWidget* TForm5::buildSoundsPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    const char* names[] = {"vlfc", "vlwfm", "vlpr", "vlis"};
    const QString labels[] = {
        QStringLiteral("&Kopieren abgeschlossen:"), QStringLiteral("&Medium einlegen:"),
        QStringLiteral("Kennwort-&Abfrage:"), QStringLiteral("&Unzureichender Speicherplatz:")};
    const QStringList events = optionspages::soundEvents();
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(labels[i], page);
        auto* field = new QLineEdit(page);
        field->setObjectName(QLatin1String(names[i]));
        label->setBuddy(field);
        auto* browse = new QPushButton(QStringLiteral("..."), page);
        browse->setObjectName(QLatin1String(names[i]) + QStringLiteral("_browse"));
        browse->setToolTip(QStringLiteral("Klang auswählen..."));
        auto* play = new QPushButton(page);
        play->setObjectName(QLatin1String(names[i]) + QStringLiteral("_play"));
        play->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
        play->setToolTip(QStringLiteral("Abspielen"));
        grid->addWidget(label, 2 * i, 0, 1, 3);
        grid->addWidget(field, 2 * i + 1, 0);
        grid->addWidget(browse, 2 * i + 1, 1);
        grid->addWidget(play, 2 * i + 1, 2);
        soundFields.append(field);
        soundBrowse.append(browse);
        soundPlay.append(play);
        connect(field, &QLineEdit::textChanged, this, &TForm5::updateSoundButtons);
        connect(browse, &QPushButton::clicked, this, [this, field] {
            const QString file =
                askFile(QStringLiteral("Klang auswählen..."), field->text().trimmed(),
                        QStringLiteral("Klänge (*.wav *.ogg *.oga *.flac *.mp3);;"
                                       "Alle Dateien (*)"));
            if (!file.isEmpty()) field->setText(file);
        });
        const QString event = events.value(i);
        connect(play, &QPushButton::clicked, this, [this, field, event] {
            if (optionspages::playable(field->text()))
                host_.playSound(field->text().trimmed(), event);
        });
    }
    grid->setRowStretch(8, 1);
    return page;
}

void TForm5::updateSoundButtons() {
    for (int i = 0; i < soundFields.size(); ++i)
        soundPlay[i]->setEnabled(optionspages::playable(soundFields[i]->text()));
}

// ---- "Suche" ----

QWidget* TForm5::buildSearchPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    auto check = [&](const char* name, const QString& caption) {
        auto* box = new QCheckBox(caption, page);
        box->setObjectName(QLatin1String(name));
        column->addWidget(box);
        return box;
    };
    auto counter = [&](const char* name, const char* labelName, int max, QLabel*& label) {
        auto* row = new QHBoxLayout;
        label = new QLabel(QStringLiteral("Anzahl:"), page);
        label->setObjectName(QLatin1String(labelName));
        auto* spin = new QSpinBox(page);
        spin->setObjectName(QLatin1String(name));
        spin->setRange(0, max);
        label->setBuddy(spin);
        row->addSpacing(24);
        row->addWidget(label);
        row->addWidget(spin);
        row->addStretch(1);
        column->addLayout(row);
        return spin;
    };
    nomedia = check("nomedia", QStringLiteral("&Ordner- && Mediennamen ausschließen"));
    nopads = check("nopads", QStringLiteral("&Titel aus Merkzetteln ausschließen"));
    reslimit = check("reslimit", QStringLiteral("&Anzahl der Suchergebnisse begrenzen"));
    reslimitcnt = counter("reslimitcnt", "reslimitlbl", optionspages::kMaxResultLimit, reslimitlbl);
    reslimitlbl->setText(QStringLiteral("Höchstens:"));
    minln = check("minln", QStringLiteral("&Mindestlänge für Begriffe begrenzen"));
    minlncnt = counter("minlncnt", "minlnlbl", optionspages::kMaxMinLength, minlnlbl);
    minlnlbl->setText(QStringLiteral("Zeichen:"));
    nosyntax = check("nosyntax", QStringLiteral("S&yntaxhervorhebung ausschalten"));
    noballoon = check("noballoon", QStringLiteral("&Hilfe-Sprechblase nicht anzeigen"));
    column->addStretch(1);
    reslimitcnt->setValue(50);
    minlncnt->setValue(3);
    connect(reslimit, &QCheckBox::toggled, this, &TForm5::updateSearchControls);
    connect(minln, &QCheckBox::toggled, this, &TForm5::updateSearchControls);
    // The quick-search box changes its style at once.
    connect(nosyntax, &QCheckBox::toggled, this, [this](bool on) {
        if (filling_) return;
        optionspages::SearchValues v = optionspages::searchValues(host_.settings().main);
        v.nosyntax = on;
        host_.settings().main.searchDisableHighlight = on;
        host_.applySearchOptions(v);
    });
    return page;
}

void TForm5::updateSearchControls() {
    reslimitcnt->setEnabled(reslimit->isChecked());
    reslimitlbl->setEnabled(reslimit->isChecked());
    minlncnt->setEnabled(minln->isChecked());
    minlnlbl->setEnabled(minln->isChecked());
}

// ---- "Befehle" ----

QWidget* TForm5::buildCommandsPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addWidget(new QLabel(QStringLiteral("Angezeigte Befehlsgruppen:"), page));
    cmdpanels = new QListWidget(page);
    cmdpanels->setObjectName(QStringLiteral("cmdpanels"));
    for (const QString& group : appsettings::commandGroups()) {
        auto* item = new QListWidgetItem(group, cmdpanels);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(Qt::Checked);
    }
    column->addWidget(cmdpanels, 1);
    connect(cmdpanels, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (!filling_) host_.setPanelShown(item->text(), item->checkState() == Qt::Checked);
    });
    return page;
}

// ---- "Sonstiges" ----

QWidget* TForm5::buildMiscPage() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    auto button = [&](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, page);
        b->setObjectName(QLatin1String(name));
        column->addWidget(b);
        return b;
    };
    btn_link = button("btn_link", QStringLiteral("&Verknüpfung erstellen"));
    btn_clearsearch = button("btn_clearsearch", QStringLiteral("Such&begriffe leeren"));
    btn_clearplaylists =
        button("btn_clearplaylists", QStringLiteral("&Playlist-Dateinamen leeren"));
    btn_cleanregistry = button("btn_cleanregistry", QStringLiteral("&Registry säubern"));
    column->addStretch(1);
    connect(btn_link, &QPushButton::clicked, this, &TForm5::createShortcut);
    connect(btn_clearsearch, &QPushButton::clicked, this, &TForm5::clearSearchHistory);
    connect(btn_clearplaylists, &QPushButton::clicked, this, &TForm5::clearPlaylistHistory);
    connect(btn_cleanregistry, &QPushButton::clicked, this, &TForm5::cleanRegistry);
    return page;
}

void TForm5::createShortcut() {
    QString error;
    if (desktopshortcut::create(desktopshortcut::desktopFolder(), host_.executable(),
                                QStringLiteral("vorlune"), nullptr, &error))
        host_.ask(QMessageBox::Information, QStringLiteral("Verknüpfung wurde erstellt."),
                  QMessageBox::Ok);
    else
        host_.ask(QMessageBox::Critical,
                  QStringLiteral("Die Verknüpfung konnte nicht erstellt werden.\n\n") + error,
                  QMessageBox::Ok);
}

void TForm5::clearSearchHistory() {
    if (host_.ask(QMessageBox::Question, QStringLiteral("Alle gemerkten Suchbegriffe verwerfen?"),
                  QMessageBox::No | QMessageBox::Ok) != QMessageBox::Ok)
        return;
    host_.clearSearchHistory();
    if (SettingsStore* store = host_.store())
        optionspages::clearHistory(*store, appsettings::kQuickSearchMruKey);
    btn_clearsearch->setEnabled(false);
}

void TForm5::clearPlaylistHistory() {
    if (host_.ask(QMessageBox::Question,
                  QStringLiteral("Alle gemerkten Playlist-Dateinamen verwerfen?"),
                  QMessageBox::No | QMessageBox::Ok) != QMessageBox::Ok)
        return;
    host_.clearPlaylistHistory();
    const QString text = pl_text->currentText();
    pl_text->clear();
    pl_text->setEditText(text);
    if (SettingsStore* store = host_.store())
        optionspages::clearHistory(*store, appsettings::kPlaylistMruKey);
    btn_clearplaylists->setEnabled(false);
}

void TForm5::cleanRegistry() {
    const QString warning = QStringLiteral(
        "!!!WARNUNG!!!\r\n\r\nDiese Aktion löscht UNWIDERRUFLICH alle von der \"Vorlune\" "
        "gespeicherten Werte aus der Einstellungsdatei - inklusive des Merkzettels sowie aller "
        "Suchbegriffe, Playlist-Namen und Profile!\r\nSollen diese Daten wirklich VERNICHTET "
        "werden?");
    if (host_.ask(QMessageBox::Warning, warning, QMessageBox::No | QMessageBox::Ok) !=
        QMessageBox::Ok)
        return;
    btn_cleanregistry->setEnabled(false);
    host_.releaseRegistry();
    host_.ask(QMessageBox::Information,
              QStringLiteral("Die durch die \"Vorlune\" vorgenommenen Einträge werden beim "
                             "Beenden des Programms gelöscht."),
              QMessageBox::Ok);
}

// ---- "E-Mail" ----

QWidget* TForm5::buildMailPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    auto edit = [&](const char* name) {
        auto* e = new QLineEdit(page);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    mailServer = edit("mailServer");
    mailPort = new QSpinBox(page);
    mailPort->setObjectName(QStringLiteral("mailPort"));
    mailPort->setRange(0, 65535);
    mailPort->setSpecialValueText(QStringLiteral("Standard"));
    mailSecurity = new QComboBox(page);
    mailSecurity->setObjectName(QStringLiteral("mailSecurity"));
    mailSecurity->addItems(
        {QStringLiteral("Keine"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")});
    mailUser = edit("mailUser");
    mailPassword = edit("mailPassword");
    mailPassword->setEchoMode(QLineEdit::Password);
    mailSender = edit("mailSender");
    mailPasswordPlace = new QLabel(page);
    mailPasswordPlace->setObjectName(QStringLiteral("mailPasswordPlace"));
    mailPasswordPlace->setWordWrap(true);
    mailTest = new QPushButton(QStringLiteral("&Testnachricht senden"), page);
    mailTest->setObjectName(QStringLiteral("mailTest"));
    form->addRow(QStringLiteral("Se&rver:"), mailServer);
    form->addRow(QStringLiteral("&Port:"), mailPort);
    form->addRow(QStringLiteral("&Verschlüsselung:"), mailSecurity);
    form->addRow(QStringLiteral("&Benutzername:"), mailUser);
    form->addRow(QStringLiteral("&Kennwort:"), mailPassword);
    form->addRow(QStringLiteral("&Absenderadresse:"), mailSender);
    form->addRow(mailPasswordPlace);
    form->addRow(QString(), mailTest);
    connect(mailTest, &QPushButton::clicked, this, &TForm5::sendTestMessage);
    return page;
}

void TForm5::fillMail() {
    showPasswordPlace();
    if (!host_.store()) return;
    vault_->load(*host_.store(), [this](const MailAccount& a) {
        mailServer->setText(a.server);
        mailPort->setValue(a.port);
        mailSecurity->setCurrentIndex(a.security);
        mailUser->setText(a.user);
        mailPassword->setText(a.password);
        mailSender->setText(a.sender);
    });
}

void TForm5::showPasswordPlace() {
    switch (vault_->place()) {
    case MailPasswordVault::Place::Unknown:
        mailPasswordPlace->setText(QString());
        vault_->probe();
        break;
    case MailPasswordVault::Place::Keyring:
        mailPasswordPlace->setText(
            QStringLiteral("Das Kennwort wird im Schlüsselbund der Arbeitsumgebung gespeichert."));
        break;
    case MailPasswordVault::Place::SettingsFile:
        mailPasswordPlace->setText(
            QStringLiteral("Das Kennwort wird in der Einstellungsdatei gespeichert (nur für Sie "
                           "lesbar), da kein Schlüsselbund zur Verfügung steht."));
        break;
    }
}

void TForm5::sendTestMessage() {
    if (testMail_->isRunning()) return;
    MailAccount a;
    a.server = mailServer->text().trimmed();
    a.port = mailPort->value();
    a.security = mailSecurity->currentIndex();
    a.user = mailUser->text().trimmed();
    a.password = mailPassword->text();
    a.sender = mailSender->text().trimmed();
    if (!a.configured()) {
        host_.ask(QMessageBox::Warning,
                  QStringLiteral("Bitte geben Sie den Server und Ihre Absenderadresse an."),
                  QMessageBox::Ok);
        return;
    }
    if (!mail::validAddress(a.sender)) {
        host_.ask(QMessageBox::Warning,
                  QStringLiteral("\"%1\" ist keine gültige e-Mail-Adresse.").arg(a.sender),
                  QMessageBox::Ok);
        return;
    }
    MailMessage m;
    m.fromName = QStringLiteral("Vorlune");
    m.from = a.sender;
    m.to = a.sender;
    m.subject = QStringLiteral("Vorlune: Testnachricht");
    m.lines = {QStringLiteral("Diese Nachricht wurde von Vorlune gesendet, um das e-Mail-Konto "
                              "zu prüfen.")};
    m.date = QDateTime::currentDateTime();
    const QByteArray message = mail::compose(m);
    mailTest->setEnabled(false);
    testMail_->start(a, a.sender, message);
}
