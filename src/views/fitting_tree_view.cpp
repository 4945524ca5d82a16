#include "fitting_tree_view.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QStyledItemDelegate>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace {
// Characters below this whose advances add up as in a laid-out line (kerning aside):
// Latin, Latin-1 and the Latin extensions, without combining marks.
constexpr char16_t kPlainBelow = 0x0300;
// Candidates beyond this many are measured before they are laid out.
constexpr size_t kMeasureFrom = 16;
bool plain(char16_t c) {
    return c >= 0x20 && c < kPlainBelow && c != 0x7F && !(c >= 0x80 && c < 0xA0) && c != 0xAD;
}
} // namespace

class FittingTreeView::Delegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    struct Row {
        QModelIndex index;
        QString text;
        qreal estimate = 0;
        bool exact = false; // cannot be estimated
    };

    // While collecting, size hints only note their rows (widths 0).
    void collect(bool on) {
        collecting_ = on;
        if (on) rows_.clear();
    }
    const std::vector<Row>& rows() const { return rows_; }
    const QStyleOptionViewItem& option() const { return option_; }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (!collecting_) return QStyledItemDelegate::sizeHint(option, index);
        if (rows_.empty()) option_ = option;
        rows_.push_back(estimate(option, index));
        return {0, 0};
    }

private:
    Row estimate(const QStyleOptionViewItem& option, const QModelIndex& index) const {
        Row r{index, {}, 0, false};
        if (index.data(Qt::FontRole).isValid() || index.data(Qt::SizeHintRole).isValid()) {
            r.exact = true;
            return r;
        }
        if (!fontKnown_ || option.font != font_) {
            font_ = option.font;
            fontKnown_ = true;
            known_.fill(-1);
        }
        r.text = index.data(Qt::DisplayRole).toString();
        // A laid-out line leaves out trailing blanks; a measured text does not.
        if (!r.text.isEmpty() && (r.text.front().isSpace() || r.text.back().isSpace())) {
            r.exact = true;
            return r;
        }
        for (const QChar ch : std::as_const(r.text)) {
            const char16_t c = ch.unicode();
            if (!plain(c)) {
                r.exact = true;
                return r;
            }
            qreal& a = known_[c];
            if (a < 0) a = QFontMetricsF(font_).horizontalAdvance(ch);
            r.estimate += a;
        }
        return r;
    }

    bool collecting_ = false;
    mutable std::vector<Row> rows_;
    mutable QStyleOptionViewItem option_;
    mutable QFont font_;
    mutable bool fontKnown_ = false;
    mutable std::array<qreal, kPlainBelow> known_{};
};

FittingTreeView::FittingTreeView(QWidget* parent)
    : QTreeView(parent), delegate_(new Delegate(this)) {
    setItemDelegate(delegate_);
}

FittingTreeView::~FittingTreeView() = default;

int FittingTreeView::sizeHintForColumn(int column) const {
    if (!uniformRowHeights() || itemDelegate() != delegate_)
        return QTreeView::sizeHintForColumn(column);
    // A layout still pending asks the delegate for row heights: let it run first.
    (void)indexAt(QPoint(0, 0));
    delegate_->collect(true);
    const int others = QTreeView::sizeHintForColumn(column); // -1: no rows
    delegate_->collect(false);
    const std::vector<Delegate::Row>& rows = delegate_->rows();
    laidOut_ = 0;
    if (others < 0 || rows.empty()) return others;

    qreal widest = 0;
    for (const Delegate::Row& r : rows)
        if (!r.exact) widest = std::max(widest, r.estimate);
    // Kerning and hinting move a laid-out line by a few pixels at most; a row further below
    // the widest estimate than this cannot be the widest.
    const qreal margin = widest / 10 + 2 * QFontMetricsF(delegate_->option().font).height();
    std::vector<const Delegate::Row*> candidates;
    for (const Delegate::Row& r : rows)
        if (r.exact || r.estimate >= widest - margin) candidates.push_back(&r);
    // Many rows of about the same width: their texts measured with kerning are within a
    // rounding of their laid-out lines, which is cheaper to find than a size hint.
    if (candidates.size() > kMeasureFrom) {
        const QFontMetricsF metrics(delegate_->option().font);
        std::vector<qreal> measured(candidates.size(), 0);
        qreal widestMeasured = 0;
        for (size_t i = 0; i < candidates.size(); ++i)
            if (!candidates[i]->exact) {
                measured[i] = metrics.horizontalAdvance(candidates[i]->text);
                widestMeasured = std::max(widestMeasured, measured[i]);
            }
        // Texts of the same measured width lay out alike: one of them is enough.
        std::vector<qreal> seen;
        size_t kept = 0;
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (!candidates[i]->exact) {
                if (measured[i] < widestMeasured - 2) continue;
                if (std::find(seen.begin(), seen.end(), measured[i]) != seen.end()) continue;
                seen.push_back(measured[i]);
            }
            candidates[kept++] = candidates[i];
        }
        candidates.resize(kept);
    }
    const int treeColumn = treePosition() >= 0 ? treePosition() : header()->logicalIndex(0);
    const int indent = column == treeColumn && rootIsDecorated() ? indentation() : 0;
    int width = others;
    for (const Delegate::Row* c : candidates) {
        const Delegate::Row& r = *c;
        ++laidOut_;
        width = std::max(
            width, delegate_->QStyledItemDelegate::sizeHint(delegate_->option(), r.index).width() +
                       indent);
    }
    return width;
}
