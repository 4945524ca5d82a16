#pragma once

#include "streaming_server.h"

#include <QAbstractTableModel>
#include <QLocale>

#include <functional>
#include <vector>

// The listener list: one row per accepted listener in the server's connection order (row
// i is the listener with Index i). Rows follow the server's events; the figures that
// change all the time (connection time, amount sent) are read on a timer. Only cells
// whose text changed are announced, in runs of neighbouring rows.
class ListenerModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { AddressColumn = 0, HostColumn, TimeColumn, SentColumn, ColumnCount };
    static constexpr int IconRole = Qt::UserRole + 1;
    using Fetch = std::function<bool(int index, WClientInfo& info)>;
    using IconProvider = std::function<QVariant(int icon)>;

    explicit ListenerModel(QObject* parent = nullptr);

    void setLocale(const QLocale& locale);
    void setIconProvider(IconProvider provider) { icons_ = std::move(provider); }

    // The server's events. Records whose Index lies beyond the rows are ignored.
    void clientConnected(const WClientInfo& info);
    void clientInfoChanged(const WClientInfo& info, const QDateTime& now);
    void clientDisconnected(const WClientInfo& info);
    void clear();

    // Reads every row's record through `fetch` and updates its cells.
    void refresh(const Fetch& fetch, const QDateTime& now);

    int iconOf(int row) const { return row >= 0 && row < int(rows_.size()) ? rows_[row].icon : -1; }
    QString text(int row, int column) const;
    quint64 bytesSent(int row) const;
    // Rows whose host name was asked for: asked once per row.
    bool takeHostQuestion(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        QString cells[ColumnCount];
        int icon = 0;
        qint64 shownSecond = -1;
        qint64 connectMs = 0; // the connect time, converted once (local times are costly)
        bool connectKnown = false;
        QString agent; // the user agent the icon was chosen for
        quint64 shownBytes = 0;
        bool sentShown = false;
        bool hostAsked = false;
    };
    // Applies a record; returns a bit per changed column (bit ColumnCount: the icon).
    unsigned apply(Row& row, const WClientInfo& info, qint64 nowMs);

    std::vector<Row> rows_;
    QLocale locale_;
    QString timeFormat_;
    IconProvider icons_;
};
