#include "title_list_model.h"

#include "style_font.h"
#include "title_lists.h"
#include "title_text.h"
#include "view_icons.h"

#include <QThreadPool>

TitleListModel::TitleListModel(QObject* parent) : QAbstractTableModel(parent) {}

void releaseInBackground(QStringList&& titles) {
    // A long list whose last holder this is touches every title's text when it goes:
    // let a worker do that.
    if (titles.size() < 20000 || !titles.isDetached()) {
        titles = QStringList();
        return;
    }
    QThreadPool::globalInstance()->start([list = std::move(titles)]() mutable { list = {}; });
}

void TitleListModel::setBuild(ViewBuild build, const QString& currentLine,
                              int playlistCurrentIndex) {
    beginResetModel();
    releaseInBackground(std::move(build_.titles));
    build_ = std::move(build);
    currentLine_ = currentLine;
    playlistCurrentIndex_ = playlistCurrentIndex;
    endResetModel();
}

void TitleListModel::clear() {
    setBuild(ViewBuild(), QString(), -1);
}

QString TitleListModel::lineAt(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    return build_.titles[build_.order[size_t(row)]];
}

bool TitleListModel::isCurrent(int row) const {
    if (row < 0 || row >= rowCount()) return false;
    const int source = build_.order[size_t(row)];
    if (build_.playlistView && !build_.titles.isEmpty() && source == playlistCurrentIndex_)
        return true;
    return !currentLine_.isEmpty() &&
           build_.titles[source].compare(currentLine_, Qt::CaseInsensitive) == 0;
}

int TitleListModel::firstCurrentRow() const {
    if (currentLine_.isEmpty() && !(build_.playlistView && playlistCurrentIndex_ >= 0)) return -1;
    for (int r = 0, n = rowCount(); r < n; ++r)
        if (isCurrent(r)) return r;
    return -1;
}

int TitleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !build_.showList ? 0 : int(build_.order.size());
}

int TitleListModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return isCharts() ? kChartColumns : kPlainColumns;
}

QModelIndex TitleListModel::index(int row, int column, const QModelIndex& parent) const {
    const int rows = parent.isValid() || !build_.showList ? 0 : int(build_.order.size());
    const int columns = parent.isValid() ? 0 : isCharts() ? kChartColumns : kPlainColumns;
    if (row < 0 || column < 0 || row >= rows || column >= columns) return {};
    return createIndex(row, column);
}

Qt::ItemFlags TitleListModel::flags(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

QVariant TitleListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const QString& line = build_.titles[build_.order[size_t(index.row())]];
    const int col = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (col) {
        case NameColumn:
            return titletext::displayName(line).toString();
        case LabelColumn:
            return titletext::label(line).toString();
        case FullNameColumn:
            return line;
        default:
            break;
        }
        if (isCharts() && size_t(index.row()) < build_.chartRows.size()) {
            const ChartRow& r = build_.chartRows[size_t(index.row())];
            return col == PlayedColumn ? r.played : col == FrequencyColumn ? r.frequency : r.rank;
        }
        return {};
    case Qt::DecorationRole:
    case IconIndexRole: {
        if (col != NameColumn) return {};
        const bool video = titletext::isVideo(line);
        const bool current = isCurrent(index.row());
        const int icon = video ? (current ? viewicons::VideoCurrent : viewicons::Video)
                               : (current ? viewicons::AudioCurrent : viewicons::Audio);
        if (role == IconIndexRole) return icon;
        return viewicons::titleIcon(icon);
    }
    case Qt::TextAlignmentRole:
        if (col >= PlayedColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::FontRole:
    case Qt::ForegroundRole: {
        if (!styles_ || styles_->count() == 0) return {};
        const indexfile::TitleStyle* style = styles_->find(line);
        if (!style) return {};
        return role == Qt::FontRole ? QVariant(styledFont(baseFont_, *style)) : styleColour(*style);
    }
    case LineRole:
        return line;
    default:
        return {};
    }
}

QVariant TitleListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole)
        return section >= PlayedColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole) return {};
    switch (section) {
    case NameColumn:
        return QStringLiteral("Name");
    case LabelColumn:
        return QStringLiteral("Datenträger");
    case FullNameColumn:
        return QStringLiteral("Ausführlicher Name");
    case PlayedColumn:
        return QStringLiteral("Gespielt");
    case FrequencyColumn:
        return QStringLiteral("Häufigkeit");
    case RankColumn:
        return QStringLiteral("Platz");
    default:
        return {};
    }
}
