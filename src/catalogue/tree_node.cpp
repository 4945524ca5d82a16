#include "tree_node.h"

#include "collection.h"
#include "index_file.h"

#include <algorithm>

namespace {
bool textLess(const std::unique_ptr<TreeNode>& a, const std::unique_ptr<TreeNode>& b) {
    return indexfile::compareCatalogue(a->text, b->text) < 0;
}
} // namespace

TreeNode::TreeNode(QString t, int i, int s) : text(std::move(t)), icon(i), selectedIcon(s) {}
TreeNode::~TreeNode() = default;

int TreeNode::row() const {
    if (!parent_)
        return 0;
    if (!parent_->rowsValid_)
        parent_->renumber();
    return row_;
}

int TreeNode::depth() const {
    int d = 0;
    for (const TreeNode* n = parent_; n; n = n->parent_)
        ++d;
    return d;
}

void TreeNode::renumber() const {
    for (size_t i = 0; i < children_.size(); ++i)
        children_[i]->row_ = int(i);
    rowsValid_ = true;
}

TreeNode* TreeNode::addChild(QString t, int i, int s) {
    auto node = std::make_unique<TreeNode>(std::move(t), i, s);
    node->parent_ = this;
    node->row_ = int(children_.size());
    children_.push_back(std::move(node));
    for (TreeNode* n = this; n; n = n->parent_)
        ++n->descendants_;
    return children_.back().get();
}

TreeNode* TreeNode::insertChildSorted(QString t, int i, int s) {
    auto node = std::make_unique<TreeNode>(std::move(t), i, s);
    node->parent_ = this;
    TreeNode* raw = node.get();
    auto pos = std::upper_bound(children_.begin(), children_.end(), node, textLess);
    const bool atEnd = pos == children_.end();
    node->row_ = int(pos - children_.begin());
    children_.insert(pos, std::move(node));
    for (TreeNode* n = this; n; n = n->parent_)
        ++n->descendants_;
    if (!atEnd)
        rowsValid_ = false;
    return raw;
}

void TreeNode::removeChildren() {
    const int removed = descendants_;
    for (TreeNode* n = this; n; n = n->parent_)
        n->descendants_ -= removed;
    children_.clear();
    rowsValid_ = true;
}

void TreeNode::sortChildren() {
    std::stable_sort(children_.begin(), children_.end(), textLess);
    rowsValid_ = false;
}

void TreeNode::mergeSortedTail(int from) {
    if (from >= int(children_.size()))
        return;
    auto mid = children_.begin() + from;
    std::stable_sort(mid, children_.end(), textLess);
    std::inplace_merge(children_.begin(), mid, children_.end(), textLess);
    rowsValid_ = false;
}

bool TreeNode::isAncestorOrSelfOf(const TreeNode* other) const {
    for (const TreeNode* n = other; n; n = n->parent_)
        if (n == this)
            return true;
    return false;
}

TreeNode* TreeNode::findInSubtree(const QString& t) {
    if (text == t)
        return this;
    for (const auto& c : children_)
        if (TreeNode* found = c->findInSubtree(t))
            return found;
    return nullptr;
}

bool precedesInPreorder(const TreeNode* a, const TreeNode* b) {
    if (a == b)
        return false;
    int da = a->depth();
    int db = b->depth();
    const TreeNode* x = a;
    const TreeNode* y = b;
    while (da > db) {
        x = x->parent();
        --da;
    }
    while (db > da) {
        y = y->parent();
        --db;
    }
    if (x == y)
        return x == a; // one is an ancestor of the other: the ancestor comes first
    while (x->parent() != y->parent()) {
        x = x->parent();
        y = y->parent();
    }
    return x->row() < y->row();
}
