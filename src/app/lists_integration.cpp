#include "lists_integration.h"

#include "command_binding.h"
#include "command_panel.h"
#include "commands.h"
#include "main_window.h"
#include "merkzettel.h"
#include "settings_store.h"

#include "collection_views.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTreeView>

ListsIntegration::ListsIntegration(TForm1* window)
    : QObject(window), window_(window), vault_(new MailPasswordVault(this)) {
    askSaveFile = [this] {
        QFileDialog dialog(window_, QStringLiteral("Merkzettel speichern als..."));
        dialog.setObjectName(QStringLiteral("mz_save"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("cd"));
        dialog.setNameFilters({QStringLiteral("Medienverzeichnisse (*.cd)"),
                               QStringLiteral("Textdateien (*.txt)"),
                               QStringLiteral("Alle Dateien (*)")});
        dialog.setDirectory(window_->environment().catalogDir);
        dialog.selectFile(QStringLiteral("Gemerkte Titel.cd"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    askRecipient = [this] {
        bool ok = false;
        const QString text = QInputDialog::getText(
            window_, QStringLiteral("Merkzettel verschicken..."),
            QStringLiteral("An welche Adresse soll die e-Mail gesandt werden?"), QLineEdit::Normal,
            QString(), &ok);
        return ok ? text : QString();
    };
    connect(&sharing_, &MerkzettelSharing::mailFinished, this, &ListsIntegration::onMailFinished);
    registerCommands();
    buildMenus();
}

ListsIntegration::~ListsIntegration() = default;

QStringList& ListsIntegration::list() {
    return window_->collection().titleLists.list(TitleLists::Merkzettel);
}

QStringList ListsIntegration::selectedTitles() const {
    return window_->views() ? window_->views()->selectedTitles() : QStringList();
}

void ListsIntegration::rebuildView() {
    if (window_->views()) window_->views()->rebuild();
}

void ListsIntegration::registerCommands() {
    CommandTable& table = window_->commandTable();
    table.addStateSource(this, [this](UiState& s) {
        s.merkzettelTitles = int(list().size());
        s.mailUnderWay = mailUnderWay();
    });
    table.add(QLatin1String(cmd::Remember), [this](const QString& arg) {
        rememberTitles(arg.isEmpty() ? selectedTitles() : merkzettel::explicitSelection(arg));
    });
    table.add(QLatin1String(cmd::RemoveTitle),
              [this](const QString&) { removeTitles(selectedTitles()); });
    table.add(QLatin1String(cmd::ClearBrainList), [this](const QString&) { clearList(true); });
    table.add(QLatin1String(cmd::SaveBrainList), [this](const QString&) { saveList(); });
    table.add(QLatin1String(cmd::MailBrainList), [this](const QString&) { mailList(); });
    // The list may be replaced by a reload or restored from the settings.
    connect(window_, &TForm1::collectionReplaced, &table, &CommandTable::refresh);
    connect(window_, &TForm1::loadFinished, &table, &CommandTable::refresh);
}

void ListsIntegration::buildMenus() {
    CommandTable& table = window_->commandTable();
    // Captions and commands from the descriptors.
    auto add = [&table](QMenu* menu, const char* name) {
        return commandbinding::addItem(table, menu, name);
    };

    // The Merkzettel menu under "&Verwalten...".
    popup2_ = new QMenu(window_);
    popup2_->setObjectName(QStringLiteral("PopupMenu2"));
    add(popup2_, "Titelhinzufgen2");
    add(popup2_, "Titelentfernen1");
    popup2_->addSeparator();
    add(popup2_, "ZumWeitergebenspeichern2");
    add(popup2_, "PereMailverschicken2");
    QPushButton* mz = window_->commands->mz_btn;
    mz->setEnabled(true);
    // Just below the button, at the left edge of the command bar.
    connect(mz, &QPushButton::clicked, popup2_, [this, mz] {
        const QPoint below = mz->mapToGlobal(QPoint(0, mz->height()));
        popup2_->popup(QPoint(window_->commands->mapToGlobal(QPoint(0, 0)).x(), below.y()));
    });

    // The title list's context menu.
    popup1_ = new QMenu(window_);
    popup1_->setObjectName(QStringLiteral("PopupMenu1"));
    for (const char* name :
         {"Wiedergabe2", "Merken2", "Titelentfernen2", "InZielordnerkopieren2", "Eigenschaften1"})
        add(popup1_, name);
    popup1_->addSeparator();
    QMenu* view = popup1_->addMenu(QStringLiteral("A&nsicht"));
    view->setObjectName(QStringLiteral("Ansicht2"));
    // Each item mirrors the main menu's item of the same name: one check mark, one action.
    auto mirror = [this, view](const char* mainName, const char* ownName) {
        QAction* main = window_->action(QLatin1String(mainName));
        QAction* own = view->addAction(main->text());
        own->setObjectName(QLatin1String(ownName));
        own->setCheckable(main->isCheckable());
        own->setChecked(main->isChecked());
        own->setEnabled(main->isEnabled());
        connect(main, &QAction::toggled, own, &QAction::setChecked);
        connect(main, &QAction::enabledChanged, own, &QAction::setEnabled);
        connect(own, &QAction::triggered, main, [main, own] {
            if (main->isCheckable() && main->actionGroup() && !own->isChecked()) {
                own->setChecked(true); // a radio item is not unchecked by itself
                return;
            }
            main->trigger();
        });
        return own;
    };
    auto* styles = new QActionGroup(view);
    for (const auto& [mainName, ownName] :
         {std::pair{"GroeSymbole1", "GroeSymbole2"}, std::pair{"KleineSymbole1", "KleineSymbole2"},
          std::pair{"Liste1", "Liste2"}, std::pair{"Details1", "Details2"}})
        styles->addAction(mirror(mainName, ownName));
    view->addSeparator();
    mirror("Name1", "Name2");
    mirror("Datentrger1", "Datentrger2");
    mirror("AusfhrlicherName1", "AusfhrlicherName2");
    view->addSeparator();
    mirror("Aktualisieren1", "Aktualisieren2");
    mirror("AmRasterausrichten1", "AmRasterausrichten2");
    view->addSeparator();
    mirror("Browser1", "Browser2");
    popup1_->addSeparator();
    add(popup1_, "Allesmarkieren2");

    if (CollectionViews* views = window_->views()) {
        for (QAbstractItemView* list : views->findChildren<QAbstractItemView*>()) {
            if (list == views->tree()) continue;
            list->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(list, &QWidget::customContextMenuRequested, popup1_,
                    [this, list](const QPoint& at) {
                        window_->commandTable().refresh();
                        popup1_->popup(list->viewport()->mapToGlobal(at));
                    });
        }
    }
}

MerkzettelSharing::Context ListsIntegration::context() const {
    return {merkzettel::registeredOwner(), window_->versionInfo().VersionString,
            QDateTime::currentDateTime()};
}

void ListsIntegration::rememberTitles(const QStringList& lines) {
    if (lines.isEmpty()) return;
    merkzettel::add(list(), lines);
    window_->commandTable().refresh();
}

void ListsIntegration::removeTitles(const QStringList& lines) {
    merkzettel::remove(list(), lines);
    rebuildView();
    window_->commandTable().refresh();
}

void ListsIntegration::clearList(bool askFirst) {
    if (askFirst &&
        window_->messageBox(QMessageBox::Question,
                            QStringLiteral("Sollen wirklich alle gemerkten Titel gelöscht werden?"),
                            QMessageBox::No | QMessageBox::Ok) != QMessageBox::Ok)
        return;
    list().clear();
    rebuildView();
    window_->commandTable().refresh();
    if (askFirst)
        window_->messageBox(QMessageBox::Information,
                            QStringLiteral("Die Liste der gemerkten Titel wurde gelöscht."),
                            QMessageBox::Ok);
}

void ListsIntegration::saveList() {
    if (list().isEmpty()) return;
    const QString path = askSaveFile ? askSaveFile() : QString();
    if (path.isEmpty()) return;
    QString error;
    if (!MerkzettelSharing::save(path, list(), context(), &error))
        window_->messageBox(QMessageBox::Critical, error, QMessageBox::Ok);
}

void ListsIntegration::mailList() {
    if (list().isEmpty() || mailUnderWay()) return;
    const QString to = (askRecipient ? askRecipient() : QString()).trimmed();
    if (to.isEmpty()) return;
    if (!mail::validAddress(to)) {
        window_->messageBox(QMessageBox::Warning,
                            QStringLiteral("\"%1\" ist keine gültige e-Mail-Adresse.").arg(to),
                            QMessageBox::Ok);
        return;
    }
    // A password kept in the keyring arrives asynchronously.
    if (SettingsStore* store = window_->core().store()) {
        mailPending_ = true;
        window_->commandTable().refresh();
        vault_->load(*store, [this, to](const MailAccount& account) {
            mailPending_ = false;
            mailWith(account, to);
            window_->commandTable().refresh();
        });
    } else
        mailWith(MailAccount(), to);
}

void ListsIntegration::mailWith(const MailAccount& account, const QString& to) {
    if (list().isEmpty() || sharing_.isSending()) return;
    const MerkzettelSharing::Context c = context();
    if (account.configured()) {
        window_->setStatusText(QStringLiteral("e-Mail wird gesendet..."));
        sharing_.send(account, to, list(), c);
        return;
    }
    // No account of the user's own: the desktop's mail program takes the message.
    const QStringList lines = MerkzettelSharing::mailLines(list(), c);
    QString attachment;
    if (lines.join(QStringLiteral("\r\n")).toUtf8().size() > MerkzettelSharing::kMaxBodyArgument) {
        attachment =
            QDir(window_->environment().tempDir).filePath(QStringLiteral("Gemerkte Titel.cd"));
        QString error;
        // Too long for the mail program's command line: without the attachment, no mail.
        if (!MerkzettelSharing::save(attachment, list(), c, &error)) {
            lastMailError_ = error;
            window_->messageBox(QMessageBox::Critical,
                                QStringLiteral("Die e-Mail konnte nicht versandt werden."),
                                QMessageBox::Ok, error);
            return;
        }
    }
    const QStringList args = MerkzettelSharing::desktopMailArguments(
        to, MerkzettelSharing::subject(c), lines, attachment);
    if (QProcess::startDetached(desktopMailProgram, args)) {
        window_->setStatusText(
            QStringLiteral("Der Merkzettel wurde an das e-Mail-Programm übergeben."));
    } else {
        lastMailError_ =
            QStringLiteral("Kein e-Mail-Konto eingerichtet und kein e-Mail-Programm gefunden.");
        window_->messageBox(QMessageBox::Critical,
                            QStringLiteral("Die e-Mail konnte nicht versandt werden."),
                            QMessageBox::Ok);
    }
}

void ListsIntegration::onMailFinished(bool ok, const QString& reason) {
    lastMailError_ = reason;
    window_->setStatusText(QString());
    window_->commandTable().refresh();
    if (ok) {
        window_->messageBox(QMessageBox::Information,
                            QStringLiteral("Die e-Mail wurde erfolgreich gesendet."),
                            QMessageBox::Ok);
    } else {
        window_->messageBox(QMessageBox::Critical,
                            QStringLiteral("Die e-Mail konnte nicht versandt werden."),
                            QMessageBox::Ok, reason);
    }
    emit mailDone(ok);
}
