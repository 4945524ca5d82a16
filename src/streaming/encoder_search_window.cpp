#include "encoder_search_window.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

TForm9::TForm9(QWidget* parent, const QString& dataFolder)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint),
      m_search(new EncoderSearch(this)) {
    setWindowTitle(QStringLiteral("Encoder suchen..."));
    setModal(true);
    m_list = new QTreeWidget(this);
    m_list->setHeaderLabels({QStringLiteral("Beschreibung"), QStringLiteral("Dateiversion"),
                             QStringLiteral("Speicherort")});
    m_list->setRootIsDecorated(false);
    m_list->setSortingEnabled(true);
    m_list->sortByColumn(0, Qt::AscendingOrder);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(true);
    m_empty = new QLabel(QStringLiteral("Diese Liste enthält keine Elemente."), m_list->viewport());
    m_empty->move(8, 8);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText); // folder names
    m_animation = new QProgressBar(this);
    m_animation->setTextVisible(false);
    m_animation->setMaximumHeight(10);
    m_select = new QPushButton(QStringLiteral("&Auswählen"), this);
    m_select->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("A&bbrechen"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_select);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_animation);
    layout->addWidget(m_status);
    layout->addWidget(m_list, 1);
    layout->addLayout(buttons);
    resize(560, 320);

    m_roots = EncoderSearch::defaultRoots(dataFolder);
    m_startTimer.setSingleShot(true);
    m_startTimer.setInterval(567);
    connect(&m_startTimer, &QTimer::timeout, this, &TForm9::startSearch);
    connect(m_search, &EncoderSearch::found, this, &TForm9::addRow);
    connect(m_search, &EncoderSearch::folderEntered, this, &TForm9::showFolder);
    connect(m_search, &EncoderSearch::finished, this, &TForm9::searchFinished);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &TForm9::updateSelect);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_select->isEnabled()) choose();
    });
    connect(m_select, &QPushButton::clicked, this, &TForm9::choose);
    connect(m_cancel, &QPushButton::clicked, this, &TForm9::reject);
}

TForm9::~TForm9() {
    m_search->cancel();
}

void TForm9::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    m_result.clear();
    m_list->clear();
    m_empty->show();
    m_select->setEnabled(false);
    m_status->setText(QStringLiteral("Initialisierung..."));
    m_status->setStyleSheet(QString());
    m_animation->setRange(0, 1);
    m_cancel->setFocus();
    m_startTimer.start();
}

void TForm9::startSearch() {
    m_animation->setRange(0, 0); // busy indicator
    m_search->start(m_roots);
}

void TForm9::showFolder(const QString& path) {
    if (!m_search->isScanning()) return;
    m_status->setText(m_status->fontMetrics().elidedText(path, Qt::ElideMiddle, m_status->width()));
}

void TForm9::addRow(const EncoderCandidate& c) {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->text(2) == c.path) return;
    auto* item = new QTreeWidgetItem({c.description, c.fileVersion, c.path});
    item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
    m_list->addTopLevelItem(item);
    m_empty->hide();
}

void TForm9::searchFinished(bool cancelled) {
    m_animation->setRange(0, 1);
    if (cancelled) return;
    if (m_list->topLevelItemCount() > 0) {
        m_status->setStyleSheet(QString());
        m_status->setText(QStringLiteral(
            "Die Suche wurde beendet. Bitte wählen Sie einen Encoder aus der Liste."));
    } else {
        m_status->setStyleSheet(QStringLiteral("color: red"));
        m_status->setText(QStringLiteral(
            "Die Suche wurde beendet. Es wurde jedoch kein passender Encoder gefunden."));
    }
}

void TForm9::updateSelect() {
    m_select->setEnabled(m_list->selectedItems().size() == 1);
}

void TForm9::choose() {
    const auto sel = m_list->selectedItems();
    if (sel.size() != 1) return;
    m_result = sel.first()->text(2);
    m_startTimer.stop();
    m_search->cancel();
    m_animation->setRange(0, 1);
    accept();
}

void TForm9::reject() {
    m_result.clear();
    m_startTimer.stop();
    m_search->cancel();
    m_animation->setRange(0, 1);
    QDialog::reject();
}
