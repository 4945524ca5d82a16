#include "wizard_window.h"

#include "udisks_client.h"
#include "udisks_media.h"

#include "index_file.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

using namespace reapwell;

namespace {

const char* const kHeadings[kPageCount] = {
    "Medium erstellen",   "Verzeichnis wählen",  "Zielort festlegen",
    "Medien-Bezeichnung", "Medientyp",           "Netzwerk-Ressource",
    "Web-Verzeichnis",    "Zusätzliche Angaben", "Eingaben vollständig",
};

const char* const kFinishText =
    "Alle nötigen Angaben liegen vor. Klicken Sie auf \"Fertig!\", um die Index-Datei des "
    "Mediums zu erstellen.";
const char* const kFileCaption = "Die Index-Datei des Mediums wird unter folgendem Namen erstellt:";

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QLabel* wrappedLabel(const QString& content) {
    auto* label = new QLabel(content);
    label->setWordWrap(true);
    return label;
}

QIcon typeIcon(int index) {
    struct Icon {
        const char* theme;
        QStyle::StandardPixmap fallback;
    };
    static const Icon icons[] = {
        {"drive-harddisk", QStyle::SP_DriveHDIcon},
        {"media-floppy", QStyle::SP_DriveFDIcon},
        {"drive-removable-media-usb", QStyle::SP_DriveHDIcon},
        {"media-flash", QStyle::SP_DriveHDIcon},
        {"media-optical", QStyle::SP_DriveCDIcon},
        {"drive-harddisk", QStyle::SP_DriveHDIcon},
        {"network-server", QStyle::SP_DriveNetIcon},
        {"applications-internet", QStyle::SP_DriveNetIcon},
    };
    const Icon& icon = icons[index];
    return QIcon::fromTheme(QString::fromLatin1(icon.theme),
                            QApplication::style()->standardIcon(icon.fallback));
}

constexpr int UrlRole = Qt::UserRole + 1;
constexpr int UncRole = Qt::UserRole + 2;
constexpr int LoadedRole = Qt::UserRole + 3;

QStandardItem* placeholderItem(const QString& caption) {
    auto* item = new QStandardItem(caption);
    item->setEnabled(false);
    return item;
}

} // namespace

bool WizardDialogs::confirmCancel(QWidget* parent) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Reapwell"), shownText(cancelQuestion()),
                    QMessageBox::Ok | QMessageBox::No, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    return box.exec() == QMessageBox::Ok;
}

void WizardDialogs::information(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Reapwell"), message, QMessageBox::Ok,
                    parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

void WizardDialogs::error(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Reapwell"), message, QMessageBox::Ok,
                    parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

QString WizardDialogs::infoFileToOpen(QWidget* parent) {
    QFileDialog dialog(parent, text("Angaben beziehen aus..."), QDir::currentPath(),
                       text("Textdateien (*.txt);;Medien-Inhaltsverzeichnisse (*.cd);;"
                            "Medien-Beschreibungen (*.desc);;Alle Dateien (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

QString WizardDialogs::outputFolder(QWidget* parent, const QString& start) {
    return QFileDialog::getExistingDirectory(parent, text("Neues Zielverzeichnis für das Medium:"),
                                             start);
}

WizardWindow::WizardWindow(const QString& tempDir, WizardDialogs* dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs ? dialogs : new WizardDialogs), tempDir_(tempDir) {
    setWindowTitle(QStringLiteral("Reapwell"));

    heading_ = new QLabel;
    heading_->setObjectName(QStringLiteral("heading"));
    QFont headingFont = heading_->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    heading_->setFont(headingFont);

    pages_ = new QStackedWidget;
    for (int page = 0; page < kPageCount; ++page)
        pages_->addWidget(buildPage(page));

    cancel_ = new QPushButton(text("&Abbrechen"));
    back_ = new QPushButton(text("&Zurück"));
    next_ = new QPushButton(text("W&eiter"));
    finish_ = new QPushButton(text("F&ertig!"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    back_->setObjectName(QStringLiteral("back"));
    next_->setObjectName(QStringLiteral("next"));
    finish_->setObjectName(QStringLiteral("finish"));
    connect(cancel_, &QPushButton::clicked, this, &QWidget::close);
    connect(back_, &QPushButton::clicked, this, [this] { move(-1); });
    connect(next_, &QPushButton::clicked, this, [this] { move(1); });
    connect(finish_, &QPushButton::clicked, this, &WizardWindow::finish);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    buttons->addWidget(back_);
    buttons->addWidget(next_);
    buttons->addWidget(finish_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(pages_, 1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    author_->setText(registeredOwner());
    resize(560, 420);
    sync();
    next_->setFocus();
}

WizardWindow::~WizardWindow() {
    if (runner_) QApplication::restoreOverrideCursor();
}

QWidget* WizardWindow::buildPage(int page) {
    auto* widget = new QWidget;
    widget->setObjectName(QStringLiteral("page%1").arg(page));
    auto* layout = new QVBoxLayout(widget);
    auto labelFor = [layout](const char* caption, QWidget* buddy) {
        auto* label = new QLabel(text(caption));
        label->setBuddy(buddy);
        layout->addWidget(label);
        layout->addWidget(buddy);
    };

    switch (page) {
    case 0:
        layout->addWidget(wrappedLabel(
            text("Dieser Assistent erfasst einen Verzeichnisbaum als neues Medium Ihrer "
                 "Sammlung. Er fragt nach dem Verzeichnis, der Bezeichnung und dem Typ des "
                 "Mediums und erstellt daraus die Index-Datei des Mediums.\n\n"
                 "Klicken Sie auf \"Weiter\", um zu beginnen.")));
        break;
    case 1: {
        folders_ = new QFileSystemModel(this);
        folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
        folders_->setRootPath(QStringLiteral("/"));
        baseDirTree_ = new QTreeView;
        baseDirTree_->setObjectName(QStringLiteral("basedir"));
        baseDirTree_->setModel(folders_);
        baseDirTree_->setHeaderHidden(true);
        for (int column = 1; column < folders_->columnCount(); ++column)
            baseDirTree_->hideColumn(column);
        baseDirTree_->expand(folders_->index(QStringLiteral("/")));
        // Open where media usually are: the home folder and the removable media's
        // folders, each with the folders above it; the home folder is current but not
        // selected, so that nothing is chosen for the user.
        const QStringList open = openFolders(QDir::homePath(), loginName());
        for (const QString& folder : open) {
            QString path = folder;
            for (;;) {
                baseDirTree_->expand(folders_->index(path));
                const QString up = QFileInfo(path).path();
                if (up == path) break;
                path = up;
            }
        }
        if (!open.isEmpty()) {
            const QModelIndex start = folders_->index(open.first());
            baseDirTree_->selectionModel()->setCurrentIndex(start, QItemSelectionModel::NoUpdate);
            baseDirTree_->scrollTo(start, QAbstractItemView::PositionAtTop);
        }
        // The selection, not the current item: focusing the tree makes its first item
        // current without selecting it.
        connect(baseDirTree_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this] {
                    const QModelIndexList rows = baseDirTree_->selectionModel()->selectedRows();
                    flow_.setBaseDir(rows.isEmpty() ? QString() : folders_->filePath(rows.first()));
                    sync();
                });
        layout->addWidget(wrappedLabel(text("Wählen Sie das Verzeichnis, dessen Mediendateien "
                                            "das neue Medium enthalten soll.")));
        // The removable volumes, when the system reports them: choosing one opens it.
        volumeList_ = new QListWidget;
        volumeList_->setObjectName(QStringLiteral("volumes"));
        volumeList_->setMaximumHeight(volumeList_->fontMetrics().height() * 5);
        connect(volumeList_, &QListWidget::itemActivated, this, &WizardWindow::volumeChosen);
        connect(volumeList_, &QListWidget::itemClicked, this, &WizardWindow::volumeChosen);
        volumeCaption_ = new QLabel(text("&Wechseldatenträger:"));
        volumeCaption_->setBuddy(volumeList_);
        layout->addWidget(volumeCaption_);
        layout->addWidget(volumeList_);
        volumeCaption_->hide();
        volumeList_->hide();
        labelFor("&Wurzelverzeichnis:", baseDirTree_);
        layout->setStretchFactor(baseDirTree_, 1);
        return widget;
    }
    case 2: {
        rootDir_ = new QRadioButton(text("&Stammverzeichnis"));
        subDir_ = new QRadioButton(text("&Unterverzeichnis"));
        rootDir_->setObjectName(QStringLiteral("cb_rootdir"));
        subDir_->setObjectName(QStringLiteral("cb_subdir"));
        rootDir_->setChecked(true);
        auto* group = new QButtonGroup(widget);
        group->addButton(rootDir_);
        group->addButton(subDir_);
        rootDirText_ = wrappedLabel(
            text("Das gewählte Verzeichnis wird zur Wurzel des Mediums: seine Unterverzeichnisse "
                 "und Dateien stehen direkt unter der Bezeichnung des Mediums."));
        subDirText_ = wrappedLabel(
            text("Das gewählte Verzeichnis behält seinen Pfad auf dem Medium; nur der Stamm des "
                 "Datenträgers wird durch die Bezeichnung des Mediums ersetzt."));
        rootDirText_->setObjectName(QStringLiteral("rootdirText"));
        subDirText_->setObjectName(QStringLiteral("subdirText"));
        for (QLabel* label : {rootDirText_, subDirText_}) {
            label->setIndent(24);
            label->installEventFilter(this);
        }
        connect(rootDir_, &QRadioButton::toggled, this, [this](bool on) {
            flow_.setRootOption(on ? RootOption::RootFolder : RootOption::SubFolder);
        });
        layout->addWidget(wrappedLabel(text("Wie soll das gewählte Verzeichnis auf dem "
                                            "Medium erscheinen?")));
        layout->addWidget(rootDir_);
        layout->addWidget(rootDirText_);
        layout->addWidget(subDir_);
        layout->addWidget(subDirText_);
        break;
    }
    case 3:
        mediaTitle_ = new QLineEdit;
        mediaTitle_->setObjectName(QStringLiteral("mediatitle"));
        mediaTitle_->setMaxLength(kLabelMaxLength);
        connect(mediaTitle_, &QLineEdit::textChanged, this, &WizardWindow::labelChanged);
        layout->addWidget(wrappedLabel(text("Unter dieser Bezeichnung erscheint das Medium in "
                                            "der Sammlung; sie benennt auch die Index-Datei.")));
        labelFor("&Bezeichnung des Mediums:", mediaTitle_);
        break;
    case 4: {
        icon_ = new QComboBox;
        icon_->setObjectName(QStringLiteral("icon"));
        for (int index = 0; index < int(mediumTypes().size()); ++index)
            icon_->addItem(typeIcon(index), text(mediumTypes()[index].caption));
        connect_ = new QCheckBox(text("Automatisch eine &Netzverbindung herstellen"));
        connect_->setObjectName(QStringLiteral("cb_connect"));
        connectText_ = wrappedLabel(
            text("Beim Laden des Mediums wird die Verbindung zur Netzwerk-Ressource oder zum "
                 "Web-Laufwerk selbsttätig hergestellt."));
        connectText_->setObjectName(QStringLiteral("connectText"));
        connectText_->setIndent(24);
        connect(icon_, &QComboBox::currentIndexChanged, this, [this](int index) {
            flow_.setTypeIndex(index);
            sync();
        });
        connect(connect_, &QCheckBox::toggled, this, [this](bool on) {
            flow_.setConnectChecked(on);
            sync();
        });
        labelFor("&Symbol für Medientyp:", icon_);
        layout->addSpacing(12);
        layout->addWidget(connect_);
        layout->addWidget(connectText_);
        break;
    }
    case 5:
        netDir_ = new QLineEdit;
        netDir_->setObjectName(QStringLiteral("netdir"));
        netDir_->setPlaceholderText(QStringLiteral("\\\\Server\\Freigabe\\Pfad"));
        connect(netDir_, &QLineEdit::textChanged, this, [this](const QString& path) {
            flow_.setNetworkPath(path);
            sync();
        });
        network_ = new QStandardItemModel(this);
        netTree_ = new QTreeView;
        netTree_->setObjectName(QStringLiteral("netTree"));
        netTree_->setModel(network_);
        netTree_->setHeaderHidden(true);
        netTree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        connect(netTree_, &QTreeView::expanded, this, [this](const QModelIndex& index) {
            browseNetwork(network_->itemFromIndex(index));
        });
        connect(netTree_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
            const QModelIndexList rows = netTree_->selectionModel()->selectedRows();
            if (rows.isEmpty()) return;
            const QString unc = rows.first().data(UncRole).toString();
            if (!unc.isEmpty()) netDir_->setText(unc);
        });
        layout->addWidget(wrappedLabel(text("Geben Sie die Netzwerk-Freigabe an, mit der beim "
                                            "Laden des Mediums verbunden werden soll, oder "
                                            "wählen Sie sie in der Netzwerkumgebung.")));
        labelFor("&Netzwerkpfad:", netDir_);
        layout->addWidget(netTree_, 1);
        return widget;
    case 6:
        wwwDir_ = new QLineEdit;
        wwwDir_->setObjectName(QStringLiteral("wwwdir"));
        wwwDir_->setMaxLength(kUrlMaxLength);
        wwwDir_->setText(flow_.url());
        connect(wwwDir_, &QLineEdit::textChanged, this, &WizardWindow::urlChanged);
        layout->addWidget(wrappedLabel(text("Geben Sie die Adresse des Web-Verzeichnisses an, "
                                            "das die Dateien des Mediums enthält.")));
        labelFor("&Vollständige URL:", wwwDir_);
        break;
    case 7:
        author_ = new QLineEdit;
        version_ = new QLineEdit(QStringLiteral("%HTMLDATETIME%"));
        comment_ = new QLineEdit(QStringLiteral("Erzeugt mit Reapwell, Version 1.4a"));
        author_->setObjectName(QStringLiteral("author"));
        version_->setObjectName(QStringLiteral("version"));
        comment_->setObjectName(QStringLiteral("comment"));
        author_->setMaxLength(kAuthorMaxLength);
        version_->setMaxLength(kVersionMaxLength);
        comment_->setMaxLength(kCommentMaxLength);
        labelFor("&Herausgeber:", author_);
        labelFor("&Versionsbezeichnung:", version_);
        labelFor("&Beschreibung des Mediums:", comment_);
        infoLink_ = new QLabel(QStringLiteral("<a href=\"#\">%1</a>")
                                   .arg(text("Um die Informationen einer Datei zu entnehmen, "
                                             "klicken Sie hier.")));
        infoLink_->setObjectName(QStringLiteral("infoLink"));
        infoLink_->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                           Qt::LinksAccessibleByKeyboard);
        connect(infoLink_, &QLabel::linkActivated, this, &WizardWindow::takeInfoFromFile);
        layout->addSpacing(12);
        layout->addWidget(infoLink_);
        break;
    case 8: {
        finishText_ = wrappedLabel(text(kFinishText));
        fileCaption_ = wrappedLabel(text(kFileCaption));
        fileName_ = new QLabel;
        fileName_->setTextFormat(Qt::PlainText); // the label is the user's text
        finishText_->setObjectName(QStringLiteral("finishText"));
        fileCaption_->setObjectName(QStringLiteral("fileCaption"));
        fileName_->setObjectName(QStringLiteral("fileName"));
        fileName_->setFrameShape(QFrame::StyledPanel);
        fileName_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        fileName_->setMinimumWidth(1);
        changeDir_ = new QPushButton(text("&Verzeichnis ändern..."));
        changeDir_->setObjectName(QStringLiteral("changeDir"));
        connect(changeDir_, &QPushButton::clicked, this, &WizardWindow::changeOutputFolder);
        auto* row = new QHBoxLayout;
        row->addWidget(changeDir_);
        row->addStretch(1);
        layout->addWidget(finishText_);
        layout->addSpacing(12);
        layout->addWidget(fileCaption_);
        layout->addWidget(fileName_);
        layout->addLayout(row);
        break;
    }
    default:
        break;
    }
    layout->addStretch(1);
    return widget;
}

void WizardWindow::selectBaseDir(const QString& path) {
    const QModelIndex index = folders_->index(path);
    if (!index.isValid()) return;
    baseDirTree_->setCurrentIndex(index);
    baseDirTree_->scrollTo(index);
}

void WizardWindow::setVolumeClient(UDisksClient* client) {
    if (volumes_) volumes_->disconnect(this);
    volumes_ = client;
    if (client) {
        connect(client, &UDisksClient::volumesChanged, this, &WizardWindow::refreshVolumes);
        connect(client, &UDisksClient::mounted, this, &WizardWindow::volumeMounted);
        connect(client, &UDisksClient::mountFailed, this,
                [this](const QString& path, const QString& reason) {
                    if (path != mountingVolume_) return;
                    mountingVolume_.clear();
                    dialogs_->error(this, QStringLiteral("Der Datenträger konnte nicht "
                                                         "eingebunden werden: %1")
                                              .arg(reason));
                });
    }
    refreshVolumes();
}

void WizardWindow::refreshVolumes() {
    const QString current = volumeList_->currentItem()
                                ? volumeList_->currentItem()->data(Qt::UserRole).toString()
                                : QString();
    volumeList_->clear();
    const QList<UDisksVolume> list =
        volumes_ ? volumes_->removableVolumes() : QList<UDisksVolume>();
    for (const UDisksVolume& v : list) {
        const UDisksDrive* d = volumes_->drive(v.drive);
        auto* item = new QListWidgetItem(
            udisksmedia::volumeText(v, d ? d->kind() : UDisksDrive::Fixed), volumeList_);
        item->setData(Qt::UserRole, v.path);
        if (v.path == current) volumeList_->setCurrentItem(item);
    }
    volumeCaption_->setVisible(!list.isEmpty());
    volumeList_->setVisible(!list.isEmpty());
}

void WizardWindow::volumeChosen(QListWidgetItem* item) {
    if (!item || !volumes_) return;
    const QString path = item->data(Qt::UserRole).toString();
    const UDisksVolume* v = volumes_->volume(path);
    if (!v) return;
    if (v->isMounted()) {
        volumeMounted(path, v->mountPoints.first());
        return;
    }
    if (mountingVolume_ == path) return; // asked already
    mountingVolume_ = path;
    volumes_->mount(path);
}

void WizardWindow::volumeMounted(const QString& path, const QString& mountPoint) {
    const UDisksVolume* v = volumes_ ? volumes_->volume(path) : nullptr;
    if (!v) return;
    // Only the volume the user chose, whether mounted now or before.
    if (path != mountingVolume_ &&
        !(volumeList_->currentItem() &&
          volumeList_->currentItem()->data(Qt::UserRole).toString() == path))
        return;
    mountingVolume_.clear();
    const UDisksDrive* d = volumes_->drive(v->drive);
    presetMedium(mountPoint, v->label,
                 udisksmedia::mediumTypeFor(d ? d->kind() : UDisksDrive::Fixed).index);
}

void WizardWindow::presetMedium(const QString& folder, const QString& label, int typeIndex) {
    if (!folder.isEmpty()) {
        // Loads the folders on the way, so the folder has an index at once.
        QString path = folder;
        QStringList chain;
        for (;;) {
            chain.prepend(path);
            const QString up = QFileInfo(path).path();
            if (up == path) break;
            path = up;
        }
        for (const QString& p : chain)
            baseDirTree_->expand(folders_->index(p));
        selectBaseDir(folder);
    }
    if (!label.isEmpty()) mediaTitle_->setText(label);
    if (typeIndex >= 0 && typeIndex < icon_->count()) icon_->setCurrentIndex(typeIndex);
    sync();
}

void WizardWindow::browseNetwork(QStandardItem* item) {
    if (!shares_) {
        shares_ = new ShareLister(0, this);
        connect(shares_, &ShareLister::listed, this, &WizardWindow::networkListed);
    }
    const QString url = item ? item->data(UrlRole).toString() : QStringLiteral("smb://");
    if (item) {
        if (item->data(LoadedRole).toBool()) return;
        item->setData(true, LoadedRole);
    }
    shares_->list(url);
}

void WizardWindow::networkListed(const QString& url, const QList<ShareEntry>& entries,
                                 const QString& error) {
    QStandardItem* parent = nullptr;
    if (url == u"smb://") {
        parent = network_->invisibleRootItem();
    } else {
        const QModelIndexList found = network_->match(network_->index(0, 0), UrlRole, url, 1,
                                                      Qt::MatchExactly | Qt::MatchRecursive);
        if (found.isEmpty()) return;
        parent = network_->itemFromIndex(found.first());
    }
    parent->removeRows(0, parent->rowCount());
    for (const ShareEntry& entry : entries) {
        static const QStyle::StandardPixmap icons[] = {QStyle::SP_DriveNetIcon,
                                                       QStyle::SP_ComputerIcon,
                                                       QStyle::SP_DirLinkIcon, QStyle::SP_DirIcon};
        auto* item = new QStandardItem(style()->standardIcon(icons[entry.kind]), entry.name);
        item->setData(entry.url, UrlRole);
        if (entry.kind != ShareEntry::Workgroup) item->setData(uncFromSmbUrl(entry.url), UncRole);
        item->appendRow(placeholderItem(QString()));
        parent->appendRow(item);
    }
    if (entries.isEmpty())
        parent->appendRow(placeholderItem(error.isEmpty() ? text("(leer)") : error));
}

void WizardWindow::move(int direction) {
    if (direction > 0 ? !next_->isEnabled() : !back_->isEnabled()) return;
    if (direction > 0)
        flow_.next();
    else
        flow_.back();
    sync();
    if (flow_.page() == kLastPage) showIndexFileName();
    if (flow_.page() == 5 && !shares_) browseNetwork(nullptr);
    focusPageControl();
}

void WizardWindow::sync() {
    const int page = flow_.page();
    pages_->setCurrentIndex(page);
    if (!runner_) heading_->setText(text(kHeadings[page]));
    next_->setVisible(!flow_.finishVisible());
    finish_->setVisible(flow_.finishVisible());
    next_->setEnabled(flow_.nextEnabled());
    back_->setEnabled(flow_.backEnabled());
    connect_->setEnabled(flow_.connectEnabled());
    connectText_->setEnabled(flow_.connectEnabled());
    {
        const QSignalBlocker blockRoot(rootDir_);
        const QSignalBlocker blockSub(subDir_);
        (flow_.rootOption() == RootOption::RootFolder ? rootDir_ : subDir_)->setChecked(true);
    }
    if (wwwDir_->text() != flow_.url()) {
        const QSignalBlocker block(wwwDir_);
        wwwDir_->setText(flow_.url());
    }
}

void WizardWindow::focusPageControl() {
    QWidget* const controls[kPageCount] = {
        next_,
        baseDirTree_,
        flow_.rootOption() == RootOption::RootFolder ? rootDir_ : subDir_,
        mediaTitle_,
        icon_,
        netDir_,
        wwwDir_,
        author_,
        finish_,
    };
    QWidget* control = controls[flow_.page()];
    control->setFocus();
    // Entering a field selects its text, so typing replaces it.
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
}

void WizardWindow::showIndexFileName() {
    const QString full = indexFilePath(QDir::currentPath(), flow_.label());
    const int width = fileName_->contentsRect().width() - 2 * fileName_->margin() - 4;
    const QString shown = fileName_->fontMetrics().elidedText(full, Qt::ElideMiddle, width);
    fileName_->setText(shown);
    fileName_->setToolTip(shown == full ? QString() : full);
}

void WizardWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (flow_.page() == kLastPage) showIndexFileName();
}

void WizardWindow::labelChanged(const QString& typed) {
    const TextEdit cleaned = cleanLabel(typed, mediaTitle_->cursorPosition());
    if (cleaned.text != typed) {
        const QSignalBlocker block(mediaTitle_);
        mediaTitle_->setText(cleaned.text);
        mediaTitle_->setCursorPosition(cleaned.caret);
    }
    flow_.setLabel(cleaned.text);
    sync();
}

void WizardWindow::urlChanged(const QString& typed) {
    const TextEdit edited = editUrl(flow_.url(), typed, wwwDir_->cursorPosition());
    if (edited.text != typed) {
        const QSignalBlocker block(wwwDir_);
        wwwDir_->setText(edited.text);
        wwwDir_->setCursorPosition(edited.caret);
    }
    flow_.setUrl(edited.text);
    sync();
}

void WizardWindow::takeInfoFromFile() {
    const QString path = dialogs_->infoFileToOpen(this);
    if (path.isEmpty()) return;
    InfoTexts texts{author_->text(), version_->text(), comment_->text()};
    QString error;
    if (!infoFromFile(path, texts, &error)) {
        dialogs_->error(this, error);
        return;
    }
    author_->setText(texts.author);
    version_->setText(texts.version);
    comment_->setText(texts.comment);
}

void WizardWindow::changeOutputFolder() {
    const QString folder = dialogs_->outputFolder(this, QDir::currentPath());
    if (!folder.isEmpty() && QDir::setCurrent(folder)) showIndexFileName();
    finish_->setFocus();
}

bool WizardWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == rootDirText_) rootDir_->click();
        if (watched == subDirText_) subDir_->click();
    }
    return QWidget::eventFilter(watched, event);
}

void WizardWindow::setFinishButtonsEnabled(bool on) {
    for (QPushButton* button : {changeDir_, cancel_, finish_, next_, back_})
        button->setEnabled(on);
}

void WizardWindow::finish() {
    if (runner_ || flow_.page() != kLastPage) return;
    setFinishButtonsEnabled(false);

    const QString outputDir = QDir::currentPath();
    runOutputDir_ = outputDir;
    runner_ = new ToolRunner(tempDir_, tickName(), toolResource_, this);
    connect(runner_, &ToolRunner::finished, this, &WizardWindow::toolFinished);
    const ToolParameters parameters = flow_.parameters(runner_->infoFilePath());

    heading_->setText(text("Bitte warten..."));
    finishText_->setText(shownText(waitingText(flow_.label())));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setEnabled(false);

    runner_->start(parameters.arguments,
                   indexfile::infoFileLines(author_->text(), version_->text(), comment_->text()),
                   outputDir);
}

void WizardWindow::toolFinished(const ToolRunner::Result& result) {
    runner_->deleteLater();
    runner_ = nullptr;
    setEnabled(true);
    QApplication::restoreOverrideCursor();

    // The tool names the file after the trimmed label; the label may end with a blank.
    const QString indexFile = indexFilePath(runOutputDir_, flow_.label());
    const bool written =
        result.started && result.normalExit && result.exitCode == 0 &&
        (QFileInfo(indexFile).isFile() ||
         QFileInfo(indexFilePath(runOutputDir_, flow_.label().trimmed())).isFile());
    if (written) {
        heading_->setText(text("Medium fertiggestellt"));
        finishText_->setText(
            text("Das Medium \"%1\" wurde erfolgreich erstellt.").arg(flow_.label()));
        fileCaption_->setText(
            text("Die Index-Datei des Mediums ist unter folgendem Namen zu finden:"));
        dialogs_->information(this, text("Das Medium wurde erfolgreich erstellt."));
        done_ = true;
        close();
        return;
    }

    heading_->setText(text(kHeadings[kLastPage]));
    finishText_->setText(text(kFinishText));
    setFinishButtonsEnabled(true);
    sync();
    finish_->setFocus();

    const QString output = result.output.trimmed();
    QString message;
    if (!result.started)
        message = output;
    else if (!result.normalExit)
        message = text("Das Indexwerkzeug wurde unerwartet beendet.");
    else if (result.exitCode != 0)
        message = text("Das Indexwerkzeug hat das Medium nicht erstellt (Fehlercode %1).")
                      .arg(result.exitCode);
    else
        message =
            text("Das Indexwerkzeug hat die Index-Datei \"%1\" nicht geschrieben.").arg(indexFile);
    if (result.started && !output.isEmpty()) message += QStringLiteral("\n\n") + output;
    dialogs_->error(this, message);
}

void WizardWindow::closeEvent(QCloseEvent* event) {
    if (runner_) {
        event->ignore();
        return;
    }
    if (done_ || dialogs_->confirmCancel(this))
        event->accept();
    else
        event->ignore();
}
