#include "statistics_window.h"

#include "agent_icons.h"
#include "collection.h"
#include "listener_details.h"
#include "listener_model.h"
#include "statistics_texts.h"
#include "streaming_server.h"
#include "title_line.h"
#include "version_info.h"
#include "view_icons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QTabWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kNoData = QStringLiteral("(Daten konnten nicht ermittelt werden.)");
const QString kCounterHint = QStringLiteral("Anzahl der Zuhörer");

QLabel* valueLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText); // file names and paths, never markup
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setWordWrap(true);
    return l;
}

bool sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    if (a == b) return true;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

} // namespace

TForm4::TForm4(StatisticsContext* context, TaskService& tasks, QWidget* parent)
    : QDialog(parent), context_(context) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("Statistik"));
    model_ = new ListenerModel(this);
    model_->setIconProvider([](int icon) { return QVariant(agenticons::icon(icon)); });
    buildPages();
    details_ = new TForm10(
        nullptr, [this](int index) { return model_->iconOf(index); }, this);
    measurer_ = new TitleMeasurer(tasks, this);
    connect(measurer_, &TitleMeasurer::measured, this,
            [this](quint64 serial, titleprops::Length length) {
                if (serial != measureSerial_) return;
                props_[Size]->setText(stattexts::sizeText(
                    shownBytes_, stattexts::lengthExtra(length.ms, length.kbps)));
                emit propertiesComplete();
            });
    timer_.setInterval(TickMs);
    connect(&timer_, &QTimer::timeout, this, &TForm4::tick);
    timer_.start();
}

TForm4::~TForm4() {
    connectServer(nullptr);
}

void TForm4::buildPages() {
    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("pages"));

    // Eigenschaften
    page_[statpages::Properties] = new QWidget;
    auto* form = new QFormLayout(page_[statpages::Properties]);
    const char* const propLabels[PropertyCount] = {
        "Name:", "Dateityp:", "Ort:", "Größe:", "Erstellt:", "Geändert am:", "Letzter Zugriff:"};
    for (int i = 0; i < PropertyCount; ++i) {
        props_[i] = valueLabel(page_[statpages::Properties]);
        form->addRow(QString::fromUtf8(propLabels[i]), props_[i]);
    }
    auto* attrs = new QHBoxLayout;
    const char* const attrLabels[3] = {"Schreibgeschützt", "Versteckt", "Archiv"};
    for (int i = 0; i < 3; ++i) {
        attributes_[i] = new QCheckBox(QString::fromUtf8(attrLabels[i]));
        attributes_[i]->setEnabled(false);
        attrs->addWidget(attributes_[i]);
    }
    attrs->addStretch(1);
    form->addRow(QStringLiteral("Attribute:"), attrs);

    // Statistik
    page_[statpages::Statistics] = new QWidget;
    auto* stats = new QVBoxLayout(page_[statpages::Statistics]);
    for (int i = 0; i < 3; ++i) {
        figures_[i] = valueLabel(page_[statpages::Statistics]);
        stats->addWidget(figures_[i]);
    }
    stats->addWidget(
        new QLabel(QStringLiteral("Durch Instanzinformationen belegter Arbeitsspeicher:")));
    figures_[3] = valueLabel(page_[statpages::Statistics]);
    stats->addWidget(figures_[3]);
    media_ = new QComboBox(page_[statpages::Statistics]);
    media_->setObjectName(QStringLiteral("mediumList"));
    stats->addWidget(media_);
    auto* mediumRow = new QHBoxLayout;
    mediumIcon_ = new QLabel(page_[statpages::Statistics]);
    mediumIcon_->setFixedSize(34, 34);
    mediumText_ = valueLabel(page_[statpages::Statistics]);
    mediumRow->addWidget(mediumIcon_);
    mediumRow->addWidget(mediumText_, 1);
    stats->addLayout(mediumRow);
    stats->addStretch(1);
    connect(media_, &QComboBox::currentIndexChanged, this, &TForm4::mediumChosen);

    // Verbindungen
    page_[statpages::Connections] = new QWidget;
    auto* conns = new QVBoxLayout(page_[statpages::Connections]);
    netdrvs_ = new QTreeWidget(page_[statpages::Connections]);
    netdrvs_->setObjectName(QStringLiteral("netdrvs"));
    netdrvs_->setRootIsDecorated(false);
    netdrvs_->setHeaderLabels({QStringLiteral("Laufwerk"), QStringLiteral("Netzwerkressource"),
                               QStringLiteral("Bezeichnung")});
    conns->addWidget(netdrvs_);

    // Zuhörer
    page_[statpages::Listeners] = new QWidget;
    auto* lis = new QVBoxLayout(page_[statpages::Listeners]);
    listeners_ = new QTreeView(page_[statpages::Listeners]);
    listeners_->setObjectName(QStringLiteral("listeners"));
    listeners_->setRootIsDecorated(false);
    listeners_->setUniformRowHeights(true);
    listeners_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listeners_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listeners_->setContextMenuPolicy(Qt::CustomContextMenu);
    listeners_->setModel(model_);
    // Address, time and amount get what their widest texts need; the host name the rest.
    QHeaderView* header = listeners_->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(ListenerModel::HostColumn, QHeaderView::Stretch);
    const QFontMetrics fm(listeners_->font());
    const QFontMetrics hm(header->font());
    const int pad = 2 * listeners_->style()->pixelMetric(QStyle::PM_HeaderMargin) + 16;
    const auto fit = [&](int column, std::initializer_list<QString> samples) {
        int width = hm.horizontalAdvance(
            model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
        for (const QString& sample : samples)
            width = qMax(width, fm.horizontalAdvance(sample));
        listeners_->setColumnWidth(column, width + pad);
    };
    fit(ListenerModel::AddressColumn, {QStringLiteral("255.255.255.255") + QString(4, ' ')});
    fit(ListenerModel::TimeColumn, {stattexts::connectionTime(99LL * 86400000 + 86399000)});
    fit(ListenerModel::SentColumn,
        {stattexts::sentText(999), stattexts::sentText(quint64(99.9 * 1024 * 1024))});
    connect(listeners_, &QWidget::customContextMenuRequested, this, &TForm4::listenerMenu);
    connect(listeners_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { showDetails(index.row()); });
    lis->addWidget(listeners_, 1);
    auto* rateRow = new QHBoxLayout;
    rateRow->addWidget(new QLabel(QStringLiteral("Aktuell verwendete Bitrate:")));
    sbitrate_ = new QLabel(QStringLiteral("0 kbps"), page_[statpages::Listeners]);
    sbitrate_->setObjectName(QStringLiteral("sbitrate"));
    rateRow->addWidget(sbitrate_);
    rateRow->addStretch(1);
    lis->addLayout(rateRow);

    // Information
    page_[statpages::Information] = new QWidget;
    auto* info = new QVBoxLayout(page_[statpages::Information]);
    auto* name = new QLabel(QStringLiteral("<b>Vorlune</b>"));
    versionLabel_ = valueLabel(page_[statpages::Information]);
    noticeLabel_ = valueLabel(page_[statpages::Information]);
    contactLabel_ = valueLabel(page_[statpages::Information]);
    info->addWidget(name);
    info->addWidget(versionLabel_);
    info->addWidget(noticeLabel_);
    info->addWidget(contactLabel_);
    info->addStretch(1);

    const char* const titles[statpages::PageCount] = {"Eigenschaften", "Statistik", "Verbindungen",
                                                      "Zuhörer", "Information"};
    for (int i = 0; i < statpages::PageCount; ++i)
        pages_->addTab(page_[i], QString::fromUtf8(titles[i]));

    auto* close = new QPushButton(QStringLiteral("OK"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_, 1);
    layout->addLayout(buttons);
    resize(620, 440);
}

void TForm4::Request(const QString& name, const QString& medium, const QString& path) {
    request_ = {name, medium, path};
}

int TForm4::showRequested() {
    prepare();
    return exec();
}

void TForm4::prepare() {
    // 1. Information
    if (context_) versionLabel_->setText(stattexts::versionLine(context_->version()));
    noticeLabel_->setText(stattexts::noticeLine(QDate::currentDate().year()));
    contactLabel_->setText(stattexts::contactLine());
    // 2. Statistik
    fillStatistics();
    fillConnections();
    // 3. and 4. Pages by the request.
    const statpages::Selection sel = statpages::select(request_, netdrvs_->topLevelItemCount() > 0,
                                                       server_ && server_->isActive());
    for (int i = 0; i < statpages::PageCount; ++i)
        pages_->setTabVisible(i, sel.visible[i]);
    pages_->setCurrentIndex(sel.current);
    setWindowTitle(sel.caption);
    if (sel.clearRequest) request_ = {};
    // 5. Property fields reset.
    measurer_->cancel();
    ++measureSerial_;
    for (QLabel* l : props_)
        l->setText(kNoData);
    for (QCheckBox* b : attributes_) {
        b->setChecked(false);
        b->hide();
    }
    // 6. A title.
    if (sel.fillProperties) fillProperties();
    if (sel.current == statpages::Listeners && server_)
        model_->refresh(
            [this](int i, WClientInfo& info) { return server_->GetClientInfo(i, info); },
            QDateTime::currentDateTime());
}

void TForm4::fillStatistics() {
    const Collection* c = context_ ? context_->collection() : nullptr;
    const QSignalBlocker block(media_);
    media_->clear();
    media_->addItem(QStringLiteral("(Medium auswählen)"));
    if (c) {
        figures_[0]->setText(stattexts::countText(c->mediaCount, QStringLiteral(" Medien")));
        figures_[1]->setText(
            stattexts::countText(c->folderCount, QStringLiteral(" Verzeichnisse")));
        figures_[2]->setText(stattexts::countText(c->titleCount, QStringLiteral(" Titel")));
        if (c != bulkOf_ || c->titleCount != bulkTitles_ || c->titleLists.count() != bulkLists_) {
            bulkOf_ = c;
            bulkTitles_ = c->titleCount;
            bulkLists_ = c->titleLists.count();
            bulkBytes_ = stattexts::catalogueBulkMemory(*c);
        }
        figures_[3]->setText(stattexts::countText(
            bulkBytes_ + stattexts::catalogueLiveMemory(*c, context_->shownListEntries()),
            QStringLiteral(" Bytes")));
        media_->addItems(c->cdnames);
    }
    media_->setCurrentIndex(0);
    previousMedium_ = 0;
    mediumIcon_->setPixmap(viewicons::treeIcon(indexfile::MediaUnknown).pixmap(32, 32));
    mediumText_->setText(QStringLiteral("Medium aus der Liste wählen..."));
}

void TForm4::fillConnections() {
    netdrvs_->clear();
    if (!context_) return;
    for (const ConnectionEntry& e : context_->connections()) {
        auto* item = new QTreeWidgetItem(netdrvs_, {e.drive, e.resource, e.label});
        item->setIcon(0, viewicons::treeIcon(e.icon));
    }
}

void TForm4::mediumChosen(int index) {
    if (index <= 0) {
        previousMedium_ = 0;
        mediumIcon_->setPixmap(viewicons::treeIcon(indexfile::MediaUnknown).pixmap(32, 32));
        mediumText_->setText(QStringLiteral("Medium aus der Liste wählen..."));
        return;
    }
    const QString label = media_->itemText(index);
    const QString root = context_ ? context_->findMediumDrive(label) : QString();
    if (root.isEmpty()) {
        const QSignalBlocker block(media_);
        media_->setCurrentIndex(previousMedium_);
        return;
    }
    previousMedium_ = index;
    int type = indexfile::MediaUnknown;
    if (const Collection* c = context_->collection()) {
        const TreeNode* list = c->mediaListNode();
        for (int i = 0; list && i < list->childCount(); ++i)
            if (list->child(i)->text.compare(label, Qt::CaseInsensitive) == 0) {
                type = list->child(i)->icon;
                break;
            }
    }
    mediumIcon_->setPixmap(viewicons::treeIcon(type).pixmap(32, 32));
    if (context_->isWebFolder(root)) {
        mediumText_->setText(stattexts::driveText(root, 0, true));
        return;
    }
    const QStorageInfo storage(root);
    const qint64 used = storage.isValid() && storage.isReady()
                            ? qMax<qint64>(storage.bytesTotal() - storage.bytesFree(), 0)
                            : -1;
    mediumText_->setText(stattexts::driveText(root, used, false));
}

void TForm4::fillProperties() {
    const QString line = request_.path;
    const QString fileName = titleline::fileName(line);
    props_[Name]->setText(request_.name);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot >= 0 ? fileName.mid(dot + 1) : QString();
    props_[Type]->setText(stattexts::fileTypeText(ext, titleprops::typeDescription(fileName)));
    props_[Place]->setText(titleline::folderLine(line));
    const QString label = request_.medium.isEmpty() ? titleline::label(line) : request_.medium;
    const QString root = context_ ? context_->findMediumDrive(label) : QString();
    if (root.isEmpty()) return;
    const QString file = context_->titleFilePath(root, line);
    props_[Place]->setText(context_->folderDisplay(file));
    const titleprops::FileFacts facts = titleprops::fileFacts(file);
    if (!facts.found) return;
    shownBytes_ = facts.size;
    props_[Created]->setText(facts.created);
    props_[Changed]->setText(facts.changed);
    props_[Accessed]->setText(facts.accessed);
    attributes_[0]->setChecked(facts.readOnly);
    attributes_[1]->setChecked(facts.hidden);
    attributes_[2]->setChecked(false);
    for (QCheckBox* b : attributes_)
        b->show();
    if (!titleprops::isMp3(fileName)) {
        props_[Size]->setText(stattexts::sizeText(facts.size));
        return;
    }
    if (sameFile(file, context_->playingFile())) {
        const qint64 length = context_->playingLength();
        props_[Size]->setText(stattexts::sizeText(
            facts.size, stattexts::lengthExtra(length, stattexts::bitRateOf(facts.size, length))));
        return;
    }
    props_[Size]->setText(stattexts::sizeText(facts.size));
    measureSerial_ = measurer_->measure(file, facts.size);
}

void TForm4::connectServer(WStreamingServer* server) {
    if (server_) disconnect(server_, nullptr, this, nullptr);
    server_ = server;
    details_->setServer(server);
    if (!server) return;
    connect(server, &WStreamingServer::OnClientConnect, this, &TForm4::StreamServerClientConnect);
    connect(server, &WStreamingServer::OnClientDisconnect, this,
            &TForm4::StreamServerClientDisconnect);
    connect(server, &WStreamingServer::OnClientInfoChange, this,
            &TForm4::StreamServerClientInfoChange);
    connect(server, &WStreamingServer::OnStop, this, &TForm4::StreamServerStop);
    connect(server, &WStreamingServer::OnServerFull, this, &TForm4::StreamServerFull);
}

void TForm4::setCounterLabel(QLabel* label) {
    counter_ = label;
    if (counter_) {
        counter_->setText(QString::number(model_->rowCount()));
        counter_->setToolTip(kCounterHint);
    }
}

void TForm4::updateCounter() {
    if (!counter_) return;
    counter_->setText(QString::number(model_->rowCount()));
}

static void setCounterColour(QLabel* counter, bool red) {
    if (!counter) return;
    QPalette pal = counter->parentWidget() ? counter->parentWidget()->palette() : QPalette();
    if (red) pal.setColor(QPalette::WindowText, Qt::red);
    counter->setPalette(pal);
    counter->setProperty("refused", red);
}

void TForm4::StreamServerClientConnect(WStreamingServer*, const WClientInfo& info) {
    model_->clientConnected(info);
    updateCounter();
}

void TForm4::StreamServerClientDisconnect(WStreamingServer*, const WClientInfo& info) {
    if (info.Index < 0 || info.Index >= model_->rowCount()) return;
    details_->listenerRemoved(info.Index);
    model_->clientDisconnected(info);
    if (counter_) {
        setCounterColour(counter_, false);
        counter_->setToolTip(kCounterHint);
    }
    updateCounter();
}

void TForm4::StreamServerClientInfoChange(WStreamingServer*, const WClientInfo& info) {
    model_->clientInfoChanged(info, QDateTime::currentDateTime());
}

void TForm4::StreamServerStop(WStreamingServer*) {
    details_->listenerRemoved(details_->listenerIndex());
    model_->clear();
    if (counter_) {
        setCounterColour(counter_, false);
        counter_->setText(QStringLiteral("0"));
    }
}

void TForm4::StreamServerFull(WStreamingServer*) {
    refusal_.start();
    if (!counter_) return;
    setCounterColour(counter_, true);
    counter_->setToolTip(QStringLiteral("Es stehen Zuhörer auf der Warteliste, aber die Zahl der "
                                        "Verbindungen wurde begrenzt."));
}

void TForm4::tick() {
    sbitrate_->setText(QString::number(server_ ? server_->currentBitRate() : 0) +
                       QStringLiteral(" kbps"));
    if (refusal_.isValid() && refusal_.elapsed() >= RefusalMs) {
        refusal_.invalidate();
        setCounterColour(counter_, false);
        if (counter_) counter_->setToolTip(kCounterHint);
    }
    // The figures are read only while someone can see them.
    if (!isVisible() || !server_) return;
    model_->refresh([this](int i, WClientInfo& info) { return server_->GetClientInfo(i, info); },
                    QDateTime::currentDateTime());
    askHostNames();
}

void TForm4::askHostNames() {
    if (!server_ || pages_->currentIndex() != statpages::Listeners || model_->rowCount() == 0)
        return;
    const QModelIndex top = listeners_->indexAt(QPoint(0, 0));
    const QModelIndex bottom = listeners_->indexAt(QPoint(0, listeners_->viewport()->height() - 1));
    const int first = top.isValid() ? top.row() : 0;
    const int last = bottom.isValid() ? bottom.row() : model_->rowCount() - 1;
    for (int row = first; row <= last; ++row)
        if (model_->takeHostQuestion(row)) server_->RequestHostName(row);
}

void TForm4::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    askHostNames();
}

void TForm4::hideEvent(QHideEvent* event) {
    measurer_->cancel();
    QDialog::hideEvent(event);
}

void TForm4::listenerMenu(const QPoint& pos) {
    const QModelIndexList rows = listeners_->selectionModel()->selectedRows();
    if (rows.size() != 1) return;
    const int row = rows.first().row();
    QMenu menu(this);
    QAction* details = menu.addAction(QStringLiteral("&Details..."));
    QAction* drop = menu.addAction(QStringLiteral("&Trennen"));
    menu.setDefaultAction(details);
    QAction* chosen = menu.exec(listeners_->viewport()->mapToGlobal(pos));
    if (chosen == details) showDetails(row);
    if (chosen == drop) disconnectRow(row);
}

void TForm4::disconnectRow(int row) {
    if (server_) server_->DisconnectClient(row);
}

void TForm4::showDetails(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    details_->showListener(row);
}
