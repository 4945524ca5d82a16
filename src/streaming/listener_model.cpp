#include "listener_model.h"

#include "statistics_texts.h"

#include <algorithm>
#include <iterator>

ListenerModel::ListenerModel(QObject* parent) : QAbstractTableModel(parent) {
    setLocale(QLocale());
}

void ListenerModel::setLocale(const QLocale& locale) {
    locale_ = locale;
    timeFormat_ = stattexts::longTimeFormat(locale);
}

void ListenerModel::clientConnected(const WClientInfo& info) {
    // Rows mirror the server's list: a new listener is always the last one.
    const int n = int(rows_.size());
    beginInsertRows({}, n, n);
    Row row;
    row.cells[AddressColumn] = info.RemoteAddress;
    row.cells[HostColumn] = info.RemoteHost;
    row.cells[TimeColumn] = stattexts::timeOfDay(0, timeFormat_);
    row.cells[SentColumn] = QStringLiteral("Verbinde...");
    row.shownSecond = 0;
    rows_.push_back(std::move(row));
    endInsertRows();
}

void ListenerModel::clientInfoChanged(const WClientInfo& info, const QDateTime& now) {
    if (info.Index < 0 || info.Index >= int(rows_.size())) return;
    const unsigned changed = apply(rows_[info.Index], info, now.toMSecsSinceEpoch());
    if (!changed) return;
    const int first = changed & (1u << ColumnCount) ? 0 : __builtin_ctz(changed);
    const int last = changed & (1u << ColumnCount) ? ColumnCount - 1 : 31 - __builtin_clz(changed);
    emit dataChanged(index(info.Index, first), index(info.Index, last));
}

void ListenerModel::clientDisconnected(const WClientInfo& info) {
    if (info.Index < 0 || info.Index >= int(rows_.size())) return;
    beginRemoveRows({}, info.Index, info.Index);
    rows_.erase(rows_.begin() + info.Index);
    endRemoveRows();
}

void ListenerModel::clear() {
    if (rows_.empty()) return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

unsigned ListenerModel::apply(Row& row, const WClientInfo& info, qint64 nowMs) {
    unsigned changed = 0;
    const auto set = [&](int column, QString&& text) {
        if (row.cells[column] == text) return;
        row.cells[column] = std::move(text);
        changed |= 1u << column;
    };
    if (row.cells[AddressColumn] != info.RemoteAddress)
        set(AddressColumn, QString(info.RemoteAddress));
    if (row.cells[HostColumn] != info.RemoteHost) set(HostColumn, QString(info.RemoteHost));
    if (!row.connectKnown && info.ConnectTime.isValid()) {
        row.connectMs = info.ConnectTime.toMSecsSinceEpoch();
        row.connectKnown = true;
    }
    const qint64 elapsed = row.connectKnown ? nowMs - row.connectMs : 0;
    const qint64 second = qMax<qint64>(elapsed, 0) / 1000;
    if (second != row.shownSecond) {
        row.shownSecond = second;
        set(TimeColumn, stattexts::connectionTime(second * 1000, timeFormat_));
    }
    if (info.Streaming && (!row.sentShown || row.shownBytes != info.BytesSent)) {
        row.sentShown = true;
        row.shownBytes = info.BytesSent;
        set(SentColumn, stattexts::sentText(info.BytesSent, locale_));
    }
    if (info.Streaming && (row.agent.isNull() || row.agent != info.UserAgent)) {
        row.agent = info.UserAgent;
        const int icon = stattexts::agentIcon(info.UserAgent);
        if (icon != row.icon) {
            row.icon = icon;
            changed |= 1u << ColumnCount;
        }
    }
    return changed;
}

void ListenerModel::refresh(const Fetch& fetch, const QDateTime& now) {
    const qint64 nowMs = now.toMSecsSinceEpoch();
    const int n = int(rows_.size());
    // Runs of rows with a change in a column, announced together.
    int runStart[ColumnCount];
    std::fill(std::begin(runStart), std::end(runStart), -1);
    const auto flush = [&](int column, int endRow) {
        if (runStart[column] < 0) return;
        emit dataChanged(index(runStart[column], column), index(endRow - 1, column));
        runStart[column] = -1;
    };
    WClientInfo info;
    for (int i = 0; i < n; ++i) {
        unsigned changed = 0;
        if (fetch(i, info)) {
            info.Index = i;
            changed = apply(rows_[size_t(i)], info, nowMs);
            if (changed & (1u << ColumnCount)) changed |= 1u << AddressColumn; // the icon's cell
        }
        for (int c = 0; c < ColumnCount; ++c) {
            if (changed & (1u << c)) {
                if (runStart[c] < 0) runStart[c] = i;
            } else {
                flush(c, i);
            }
        }
    }
    for (int c = 0; c < ColumnCount; ++c)
        flush(c, n);
}

QString ListenerModel::text(int row, int column) const {
    if (row < 0 || row >= int(rows_.size()) || column < 0 || column >= ColumnCount) return {};
    return rows_[size_t(row)].cells[column];
}

quint64 ListenerModel::bytesSent(int row) const {
    return row >= 0 && row < int(rows_.size()) ? rows_[size_t(row)].shownBytes : 0;
}

bool ListenerModel::takeHostQuestion(int row) {
    if (row < 0 || row >= int(rows_.size()) || rows_[size_t(row)].hostAsked) return false;
    if (!rows_[size_t(row)].cells[HostColumn].isEmpty()) return false;
    rows_[size_t(row)].hostAsked = true;
    return true;
}

int ListenerModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int ListenerModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ListenerModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(rows_.size())) return {};
    const Row& row = rows_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.cells[index.column()];
    case Qt::DecorationRole:
        if (index.column() == AddressColumn && icons_) return icons_(row.icon);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == TimeColumn || index.column() == SentColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case IconRole:
        return row.icon;
    default:
        return {};
    }
}

QVariant ListenerModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount) return {};
    if (role == Qt::TextAlignmentRole && (section == TimeColumn || section == SentColumn))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    static const char* const titles[] = {"IP-Adresse", "Hostname", "Verbindungszeit", "Gesendet"};
    return QString::fromUtf8(titles[section]);
}
