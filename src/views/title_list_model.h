#pragma once

#include "view_build.h"

#include <QAbstractTableModel>
#include <QFont>

class TitleStyles;

// Drops a list of titles; the last holder of a long list lets a worker thread free it.
void releaseInBackground(QStringList&& titles);

// The title list of one view build as a lazy table: texts, icons and display marks are
// made when a row is shown. Columns "Name", "Datenträger", "Ausführlicher Name", and in
// the charts view also "Gespielt", "Häufigkeit", "Platz".
class TitleListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        NameColumn = 0,
        LabelColumn,
        FullNameColumn,
        PlayedColumn,
        FrequencyColumn,
        RankColumn
    };
    enum Roles { LineRole = Qt::UserRole + 1, IconIndexRole };
    static constexpr int kPlainColumns = 3;
    static constexpr int kChartColumns = 6;

    explicit TitleListModel(QObject* parent = nullptr);

    void setStyles(const TitleStyles* styles) { styles_ = styles; }
    // The list's font, the base of the display marks.
    void setBaseFont(const QFont& font) { baseFont_ = font; }

    // Replaces the whole list with a view build (the list control is rebuilt every time).
    void setBuild(ViewBuild build, const QString& currentLine, int playlistCurrentIndex);
    void clear();

    const ViewBuild& build() const { return build_; }
    bool isCharts() const { return build_.mode == ViewBuild::Mode::Charts; }
    QString lineAt(int row) const;
    bool isCurrent(int row) const;
    // The first row marked current, -1 when none.
    int firstCurrentRow() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // The view asks for every row when it lays the list out: answered without virtual calls.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    ViewBuild build_;
    QString currentLine_;
    int playlistCurrentIndex_ = -1;
    const TitleStyles* styles_ = nullptr;
    QFont baseFont_;
};
