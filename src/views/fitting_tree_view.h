#pragma once

#include <QTreeView>

// A tree view for flat lists with uniform row heights whose column fitting
// (resizeColumnToContents, sizeHintForColumn) gives QTreeView's width but lays out only the
// texts that may be the widest of the rows it looks at: every other row is estimated from
// its characters' advances. Rows with their own font or size, or with characters that
// shaping may join or reorder, are always laid out.
class FittingTreeView : public QTreeView {
public:
    explicit FittingTreeView(QWidget* parent = nullptr);
    ~FittingTreeView() override;

    int sizeHintForColumn(int column) const override;

    // Rows laid out by the last sizeHintForColumn() (for tests and measurements).
    int laidOutRows() const { return laidOut_; }

private:
    class Delegate;
    Delegate* delegate_;
    mutable int laidOut_ = 0;
};
