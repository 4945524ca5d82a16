#include "fitting_tree_view.h"

#include <QApplication>
#include <QFont>
#include <QPixmap>
#include <QStandardItemModel>
#include <QStyle>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

// The fitted width must be QTreeView's own for any rows, fonts, scripts and scroll places.
namespace {

struct Row {
    QString name;
    QString label;
    bool bold = false;
    int pointSize = 0; // 0: the view's font
};

std::vector<Row> plainRows(int n, const std::function<QString(int)>& name) {
    std::vector<Row> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({name(i), QStringLiteral("Medium %1").arg(i % 97)});
    return rows;
}

void fill(QStandardItemModel& m, const std::vector<Row>& rows) {
    m.clear();
    m.setColumnCount(3);
    QPixmap icon(16, 16);
    icon.fill(Qt::blue);
    for (const Row& r : rows) {
        auto* name = new QStandardItem(QIcon(icon), r.name);
        if (r.bold || r.pointSize) {
            QFont f = QApplication::font();
            f.setBold(r.bold);
            if (r.pointSize) f.setPointSize(r.pointSize);
            name->setFont(f);
        }
        m.appendRow({name, new QStandardItem(r.label),
                     new QStandardItem(r.label + QStringLiteral(":\\") + r.name)});
    }
}

// QTreeView as it is, with its column hint in reach.
struct PlainTreeView : QTreeView {
    using QTreeView::sizeHintForColumn;
};

struct Views {
    QStandardItemModel model;
    FittingTreeView fitting;
    PlainTreeView plain;
    explicit Views(bool decorated) {
        for (QTreeView* v : {static_cast<QTreeView*>(&fitting), static_cast<QTreeView*>(&plain)}) {
            v->setModel(&model);
            v->setUniformRowHeights(true);
            v->setRootIsDecorated(decorated);
            v->resize(420, 300);
            v->show();
        }
    }
};

TEST(FittingTreeView, ColumnWidthsEqualQTreeViews) {
    const QString latin = QStringLiteral("Interpret - Titel mit Umlauten äöü ß ÄÖÜ");
    const struct {
        const char* name;
        std::vector<Row> rows;
        int scrollTo; // row scrolled to before fitting, -1: top
        bool decorated;
    } cases[] = {
        {"empty", {}, -1, false},
        {"one row", {{QStringLiteral("Allein"), QStringLiteral("CD")}}, -1, false},
        {"plain rows of varied length",
         plainRows(300, [&](int i) { return latin.left(5 + (i * 37) % latin.size()); }), -1, false},
        // Kerned pairs against unkerned letters of nearly the same width.
        {"kerning",
         {{QStringLiteral("AVAVAVAVAVAVAVAV To To To Yo Yo"), QStringLiteral("a")},
          {QStringLiteral("nnnnnnnnnnnnnnnnnnnnnnnnnnnnnn"), QStringLiteral("b")},
          {QStringLiteral("WAWAWAWAWAWAWAWAWA LT LT LT"), QStringLiteral("c")},
          {QStringLiteral("iiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii"), QStringLiteral("d")}},
         -1,
         false},
        {"scripts that shaping joins or reorders",
         {{QStringLiteral("short"), QStringLiteral("x")},
          {QStringLiteral("مرحبا بالعالم وأهلا وسهلا في كل مكان"), QStringLiteral("y")},
          {QStringLiteral("日本語のタイトルとその長い名前"), QStringLiteral("z")},
          {QStringLiteral("e\u0301e\u0301e\u0301 combining \U0001F3B5 note"), QStringLiteral("w")},
          {QStringLiteral("गीत संगीत कलाकार"), QStringLiteral("v")}},
         -1,
         false},
        {"rows with their own font",
         {{QStringLiteral("A rather long plain title here"), QStringLiteral("p")},
          {QStringLiteral("Short bold"), QStringLiteral("q"), true, 0},
          {QStringLiteral("Tiny but large"), QStringLiteral("r"), false, 20}},
         -1,
         false},
        // The widest title lies beyond the rows QTreeView looks at, then within them.
        {"many rows, top",
         plainRows(
             3000,
             [&](int i) { return i == 2500 ? latin + latin : latin.left(8 + (i * 13) % 20); }),
         -1, false},
        {"many rows, scrolled",
         plainRows(
             3000,
             [&](int i) { return i == 2500 ? latin + latin : latin.left(8 + (i * 13) % 20); }),
         2400, false},
        {"many rows, scrolled to the end",
         plainRows(3000, [&](int i) { return latin.left(8 + (i * 11) % 30); }), 2999, false},
        // The same letters in every order: equal sums of advances, kerned differently.
        {"kerned orders of the same letters",
         plainRows(400,
                   [](int i) {
                       QString t = QStringLiteral("AVWATo.yeLTYr");
                       for (int k = 0; k < 6; ++k)
                           std::swap(t[(i >> k) % t.size()], t[(i * 7 + k) % t.size()]);
                       return t;
                   }),
         -1, false},
        {"blanks at either end",
         plainRows(300,
                   [&](int i) {
                       const QString t = latin.left(20 + i % 7);
                       return i % 3 == 0   ? t + QString(i % 11, QLatin1Char(' '))
                              : i % 3 == 1 ? QStringLiteral("  ") + t
                                           : t;
                   }),
         -1, false},
        {"decorated root", plainRows(50, [&](int i) { return latin.left(3 + i % 30); }), -1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Views v(c.decorated);
        fill(v.model, c.rows);
        if (c.scrollTo >= 0)
            for (QTreeView* view :
                 {static_cast<QTreeView*>(&v.fitting), static_cast<QTreeView*>(&v.plain)})
                view->scrollTo(v.model.index(c.scrollTo, 0), QAbstractItemView::PositionAtTop);
        for (int column = 0; column < 3; ++column) {
            SCOPED_TRACE(column);
            EXPECT_EQ(v.fitting.sizeHintForColumn(column), v.plain.sizeHintForColumn(column));
            v.fitting.resizeColumnToContents(column);
            v.plain.resizeColumnToContents(column);
            EXPECT_EQ(v.fitting.columnWidth(column), v.plain.columnWidth(column));
        }
    }
}

TEST(FittingTreeView, LaysOutOnlyTheRowsThatMayBeWidest) {
    Views v(false);
    fill(v.model, plainRows(3000, [](int i) {
             return QStringLiteral("Titel %1 ").arg(i) + QString(i % 50, QLatin1Char('x'));
         }));
    EXPECT_EQ(v.fitting.sizeHintForColumn(0), v.plain.sizeHintForColumn(0));
    EXPECT_GT(v.fitting.laidOutRows(), 0);
    EXPECT_LT(v.fitting.laidOutRows(), 400); // of the 1,000 it looks at
    // Texts of one width (the medium labels): measured, and only the widest laid out.
    fill(v.model, plainRows(3000, [](int i) { return QStringLiteral("Medium %1").arg(i); }));
    EXPECT_EQ(v.fitting.sizeHintForColumn(0), v.plain.sizeHintForColumn(0));
    EXPECT_LT(v.fitting.laidOutRows(), 100);
    // Rows still get their real height.
    EXPECT_EQ(v.fitting.visualRect(v.model.index(5, 0)).height(),
              v.plain.visualRect(v.model.index(5, 0)).height());
}

} // namespace
