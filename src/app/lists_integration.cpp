#include "lists_integration.h"

#include "collection.h"
#include "command_binding.h"
#include "commands.h"
#include "merkzettel.h"
#include "settings_store.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QMenu>
#include <QProcess>

ListsIntegration::ListsIntegration(CommandTable& commands,
                                   const std::shared_ptr<Collection>& collection,
                                   SettingsStore* store, const QString& versionString,
                                   const QString& catalogDir, const QString& tempDir,
                                   ListsView& view, QObject* parent)
    : QObject(parent), commands_(commands), collection_(collection), store_(store),
      versionString_(versionString), catalogDir_(catalogDir), tempDir_(tempDir), view_(view),
      vault_(new MailPasswordVault(this)) {
    connect(&sharing_, &MerkzettelSharing::mailFinished, this, &ListsIntegration::onMailFinished);
    registerCommands();
    buildMenus();
}

ListsIntegration::~ListsIntegration() {
    if (table_) table_->withdraw<ListsCommands>(&CommandServices::lists, this);
}

QStringList& ListsIntegration::list() {
    return collection_->titleLists.list(TitleLists::Merkzettel);
}

QStringList ListsIntegration::selectedTitles() const {
    return view_.selectedTitles();
}

void ListsIntegration::rebuildView() {
    view_.rebuildList();
}

void ListsIntegration::registerCommands() {
    CommandTable& table = commands_;
    table.addStateSource(this, [this](UiState& s) {
        s.merkzettelTitles = int(list().size());
        s.mailUnderWay = mailUnderWay();
    });
    table.provide<ListsCommands>(&CommandServices::lists, this);
}

void ListsIntegration::onRemember(const QString& selection) {
    rememberTitles(selection.isEmpty() ? selectedTitles()
                                       : merkzettel::explicitSelection(selection));
}

void ListsIntegration::onRemoveTitle() {
    removeTitles(selectedTitles());
}

void ListsIntegration::onClearBrainList() {
    clearList(true);
}

void ListsIntegration::onSaveBrainList() {
    saveList();
}

void ListsIntegration::onMailBrainList() {
    mailList();
}

void ListsIntegration::buildMenus() {
    CommandTable& table = commands_;
    // Captions and commands from the descriptors.
    auto add = [&table](QMenu* menu, const char* name) {
        return commandbinding::addItem(table, menu, name);
    };

    // The Merkzettel menu under "&Verwalten...".
    popup2_ = new QMenu(view_.dialogParent());
    popup2_->setObjectName(QStringLiteral("PopupMenu2"));
    add(popup2_, "Titelhinzufgen2");
    add(popup2_, "Titelentfernen1");
    popup2_->addSeparator();
    add(popup2_, "ZumWeitergebenspeichern2");
    add(popup2_, "PereMailverschicken2");
    if (QAbstractButton* mz = view_.merkzettelButton()) {
        mz->setEnabled(true);
        connect(mz, &QAbstractButton::clicked, popup2_,
                [this] { popup2_->popup(view_.merkzettelMenuPosition()); });
    }

    // The title list's context menu.
    popup1_ = new QMenu(view_.dialogParent());
    popup1_->setObjectName(QStringLiteral("PopupMenu1"));
    for (const char* name :
         {"Wiedergabe2", "Merken2", "Titelentfernen2", "InZielordnerkopieren2", "Eigenschaften1"})
        add(popup1_, name);
    popup1_->addSeparator();
    QMenu* view = popup1_->addMenu(QStringLiteral("A&nsicht"));
    view->setObjectName(QStringLiteral("Ansicht2"));
    // Each item mirrors the main menu's item of the same name: one check mark, one action.
    auto mirror = [this, view](const char* mainName, const char* ownName) {
        QAction* main = view_.menuItem(QLatin1String(mainName));
        QAction* own = view->addAction(main ? main->text() : QString());
        own->setObjectName(QLatin1String(ownName));
        if (!main) {
            own->setEnabled(false);
            return own;
        }
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

    for (QAbstractItemView* list : view_.titleLists()) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, popup1_,
                [this, list](const QPoint& at) {
                    commands_.refresh();
                    popup1_->popup(list->viewport()->mapToGlobal(at));
                });
    }
}

MerkzettelSharing::Context ListsIntegration::context() const {
    return {merkzettel::registeredOwner(), versionString_, QDateTime::currentDateTime()};
}

void ListsIntegration::rememberTitles(const QStringList& lines) {
    if (lines.isEmpty()) return;
    merkzettel::add(list(), lines);
    commands_.refresh();
}

void ListsIntegration::removeTitles(const QStringList& lines) {
    merkzettel::remove(list(), lines);
    rebuildView();
    commands_.refresh();
}

void ListsIntegration::clearList(bool askFirst) {
    if (askFirst &&
        view_.ask(QMessageBox::Question,
                  QStringLiteral("Sollen wirklich alle gemerkten Titel gelöscht werden?"),
                  QMessageBox::No | QMessageBox::Ok, {}) != QMessageBox::Ok)
        return;
    list().clear();
    rebuildView();
    commands_.refresh();
    if (askFirst)
        view_.ask(QMessageBox::Information,
                  QStringLiteral("Die Liste der gemerkten Titel wurde gelöscht."), QMessageBox::Ok,
                  {});
}

void ListsIntegration::saveList() {
    if (list().isEmpty()) return;
    const QString path = askSaveFile_ ? askSaveFile_() : view_.askSaveFile(catalogDir_);
    if (path.isEmpty()) return;
    QString error;
    if (!MerkzettelSharing::save(path, list(), context(), &error))
        view_.ask(QMessageBox::Critical, error, QMessageBox::Ok, {});
}

void ListsIntegration::mailList() {
    if (list().isEmpty() || mailUnderWay()) return;
    const QString to = (askRecipient_ ? askRecipient_() : view_.askRecipient()).trimmed();
    if (to.isEmpty()) return;
    if (!mail::validAddress(to)) {
        view_.ask(QMessageBox::Warning,
                  QStringLiteral("\"%1\" ist keine gültige e-Mail-Adresse.").arg(to),
                  QMessageBox::Ok, {});
        return;
    }
    // A password kept in the keyring arrives asynchronously.
    if (SettingsStore* store = store_) {
        mailPending_ = true;
        commands_.refresh();
        vault_->load(*store, [this, to](const MailAccount& account) {
            mailPending_ = false;
            mailWith(account, to);
            commands_.refresh();
        });
    } else
        mailWith(MailAccount(), to);
}

void ListsIntegration::mailWith(const MailAccount& account, const QString& to) {
    if (list().isEmpty() || sharing_.isSending()) return;
    const MerkzettelSharing::Context c = context();
    if (account.configured()) {
        view_.setStatusText(QStringLiteral("e-Mail wird gesendet..."));
        sharing_.send(account, to, list(), c);
        return;
    }
    // No account of the user's own: the desktop's mail program takes the message.
    const QStringList lines = MerkzettelSharing::mailLines(list(), c);
    QString attachment;
    if (lines.join(QStringLiteral("\r\n")).toUtf8().size() > MerkzettelSharing::kMaxBodyArgument) {
        attachment = QDir(tempDir_).filePath(QStringLiteral("Gemerkte Titel.cd"));
        QString error;
        // Too long for the mail program's command line: without the attachment, no mail.
        if (!MerkzettelSharing::save(attachment, list(), c, &error)) {
            lastMailError_ = error;
            view_.ask(QMessageBox::Critical,
                      QStringLiteral("Die e-Mail konnte nicht versandt werden."), QMessageBox::Ok,
                      error);
            return;
        }
    }
    const QStringList args = MerkzettelSharing::desktopMailArguments(
        to, MerkzettelSharing::subject(c), lines, attachment);
    if (QProcess::startDetached(desktopMailProgram_, args)) {
        view_.setStatusText(
            QStringLiteral("Der Merkzettel wurde an das e-Mail-Programm übergeben."));
    } else {
        lastMailError_ =
            QStringLiteral("Kein e-Mail-Konto eingerichtet und kein e-Mail-Programm gefunden.");
        view_.ask(QMessageBox::Critical, QStringLiteral("Die e-Mail konnte nicht versandt werden."),
                  QMessageBox::Ok, {});
    }
}

void ListsIntegration::onMailFinished(bool ok, const QString& reason) {
    lastMailError_ = reason;
    view_.setStatusText(QString());
    commands_.refresh();
    if (ok) {
        view_.ask(QMessageBox::Information,
                  QStringLiteral("Die e-Mail wurde erfolgreich gesendet."), QMessageBox::Ok, {});
    } else {
        view_.ask(QMessageBox::Critical, QStringLiteral("Die e-Mail konnte nicht versandt werden."),
                  QMessageBox::Ok, reason);
    }
    emit mailDone(ok);
}
