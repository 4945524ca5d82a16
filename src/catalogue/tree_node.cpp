#include "tree_node.h"

#include "collection.h"
#include "index_file.h"

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <new>

// Room for the nodes of one tree, in blocks of growing size. A removed node's room is
// taken again, oldest first, and is poisoned for the address sanitizer until then.
class TreeNode::Room {
public:
    Room() = default;
    Room(const Room&) = delete;
    Room& operator=(const Room&) = delete;
    ~Room() {
        for (const Block& b : blocks_)
            ASAN_UNPOISON_MEMORY_REGION(b.cells.get(), b.size * sizeof(Slot));
        for (size_t c = 0; c < std::size(freeArrays_); ++c)
            for (Child* a : freeArrays_[c]) {
                ASAN_UNPOISON_MEMORY_REGION(a, (size_t(1) << c) * sizeof(Child));
                ::operator delete(a);
            }
    }

    // An array of children for at least `capacity` (raised to the size it gets), empty.
    // Arrays of up to kPooledArray children are taken from those given back, the others
    // allocated; they are poisoned for the address sanitizer while given back.
    Child* takeArray(size_t& capacity) {
        Child* a;
        if (capacity <= kPooledArray) {
            const size_t c = size_t(std::bit_width(capacity - 1));
            capacity = size_t(1) << c;
            if (!freeArrays_[c].empty()) {
                a = freeArrays_[c].back();
                freeArrays_[c].pop_back();
                ASAN_UNPOISON_MEMORY_REGION(a, capacity * sizeof(Child));
            } else {
                a = static_cast<Child*>(::operator new(capacity * sizeof(Child)));
            }
        } else {
            a = static_cast<Child*>(::operator new(capacity * sizeof(Child)));
        }
        std::uninitialized_value_construct_n(a, capacity);
        return a;
    }
    // Gives back an array of released children.
    void giveArray(Child* a, size_t capacity) {
        std::destroy_n(a, capacity);
        if (capacity > kPooledArray) {
            ::operator delete(a);
            return;
        }
        freeArrays_[size_t(std::bit_width(capacity - 1))].push_back(a);
        ASAN_POISON_MEMORY_REGION(a, capacity * sizeof(Child));
    }

    void* take() {
        void* p;
        if (!free_.empty()) {
            p = free_[freeFirst_++];
            // The slots taken are dropped from the front once they are half the list, so
            // that adding and removing in turn does not grow it.
            if (freeFirst_ == free_.size()) {
                free_.clear();
                freeFirst_ = 0;
            } else if (freeFirst_ >= 64 && 2 * freeFirst_ >= free_.size()) {
                free_.erase(free_.begin(), free_.begin() + std::ptrdiff_t(freeFirst_));
                freeFirst_ = 0;
            }
        } else {
            if (used_ == blockSize_) {
                blockSize_ = blocks_.empty() ? 8 : std::min<size_t>(2 * blockSize_, 256);
                blocks_.push_back({std::unique_ptr<Slot[]>(new Slot[blockSize_]), blockSize_});
                slotCount_ += blockSize_;
                ASAN_POISON_MEMORY_REGION(blocks_.back().cells.get(), blockSize_ * sizeof(Slot));
                used_ = 0;
            }
            p = &blocks_.back().cells[used_++];
        }
        ASAN_UNPOISON_MEMORY_REGION(p, sizeof(Slot));
        return p;
    }
    void give(void* p) {
        ASAN_POISON_MEMORY_REGION(p, sizeof(Slot));
        // Room for every slot at once: removing a tree grows the list only once.
        if (free_.size() == free_.capacity()) free_.reserve(slotCount_);
        free_.push_back(p);
    }

private:
    struct Slot {
        alignas(TreeNode) unsigned char bytes[sizeof(TreeNode)];
    };
    struct Block {
        std::unique_ptr<Slot[]> cells;
        size_t size;
    };
    std::vector<Block> blocks_;
    size_t blockSize_ = 0;
    size_t slotCount_ = 0;
    size_t used_ = 0;
    std::vector<void*> free_;
    size_t freeFirst_ = 0;
    // Arrays of children given back, by size: 1, 2, 4, ... kPooledArray.
    static constexpr size_t kPooledArray = 1024;
    std::vector<Child*> freeArrays_[11];
};

void TreeNode::Children::reserve(size_t n, Room* room) {
    if (n <= capacity_) return;
    Child* more = room->takeArray(n);
    std::move(begin(), end(), more);
    const quint32 size = size_;
    release(room);
    data_ = more;
    size_ = size;
    capacity_ = quint32(n);
}

void TreeNode::Children::reorder(std::vector<int>& order) {
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] < 0 || size_t(order[i]) == i) continue;
        Child first = std::move(data_[i]);
        size_t j = i;
        while (size_t(order[j]) != i) {
            const size_t from = size_t(order[j]);
            data_[j] = std::move(data_[from]);
            order[j] = -1;
            j = from;
        }
        data_[j] = std::move(first);
        order[j] = -1;
    }
}

void TreeNode::Children::release(Room* room) {
    clear();
    if (data_) room->giveArray(data_, capacity_);
    data_ = nullptr;
    capacity_ = 0;
}

// A node's room is taken once per folder: keep it from growing unnoticed.
static_assert(sizeof(void*) != 8 || sizeof(TreeNode) <= 88);

void TreeNode::Release::operator()(TreeNode* node) const {
    Room* room = node->room_;
    node->~TreeNode();
    room->give(node);
}

namespace {
template <typename P> bool textLess(const P& a, const P& b) {
    return indexfile::compareCatalogue(a->text, b->text) < 0;
}
} // namespace

TreeNode::TreeNode(QString t, int i, int s)
    : text(std::move(t)), icon(i), selectedIcon(s), room_(new Room), ownsRoom_(true) {}
TreeNode::TreeNode(QString t, int i, int s, Room* room)
    : text(std::move(t)), icon(i), selectedIcon(s), room_(room) {}
TreeNode::~TreeNode() {
    children_.release(room_); // into the room, which a root deletes after them
    if (ownsRoom_) delete room_;
}

TreeNode* TreeNode::child(int row) const {
    ensureSorted();
    return children_[size_t(row)].get();
}

int TreeNode::row() const {
    if (!parent_) return 0;
    parent_->ensureSorted();
    if (!parent_->rowsValid_) parent_->renumber();
    return row_;
}

int TreeNode::depth() const {
    int d = 0;
    for (const TreeNode* n = parent_; n; n = n->parent_)
        ++d;
    return d;
}

void TreeNode::ensureSorted() const {
    if (!sortPending_) return;
    sortPending_ = false;
    // Children are mostly added in order already: then one pass, and the rows stay.
    if (std::is_sorted(children_.cbegin(), children_.cend(), textLess<Child>)) return;
    rowsValid_ = false;
    if (children_.size() <= 16) {
        // A few: in place, each moved after the last one not greater (stable).
        for (auto it = children_.begin() + 1; it != children_.end(); ++it)
            std::rotate(std::upper_bound(children_.begin(), it, *it, textLess<Child>), it, it + 1);
        return;
    }
    std::vector<QStringView> texts;
    texts.reserve(children_.size());
    for (const auto& c : children_)
        texts.emplace_back(c->text);
    std::vector<int> order = indexfile::catalogueOrder(texts);
    children_.reorder(order);
}

void TreeNode::renumber() const {
    for (size_t i = 0; i < children_.size(); ++i)
        children_[i]->row_ = int(i);
    rowsValid_ = true;
}

TreeNode* TreeNode::addChild(QString t, int i, int s) {
    // Appending keeps a pending sort valid: equal texts stay in the order added.
    Child node(new (room_->take()) TreeNode(std::move(t), i, s, room_));
    node->parent_ = this;
    node->row_ = int(children_.size());
    node->seq_ = int(children_.size());
    children_.push_back(std::move(node), room_);
    for (TreeNode* n = this; n; n = n->parent_)
        ++n->descendants_;
    return children_.back().get();
}

void TreeNode::removeChildren() {
    const int removed = descendants_;
    for (TreeNode* n = this; n; n = n->parent_)
        n->descendants_ -= removed;
    children_.clear();
    rowsValid_ = true;
    sortPending_ = false;
}

void TreeNode::sortChildren() {
    sortPending_ = true;
    ensureSorted();
}

bool TreeNode::isAncestorOrSelfOf(const TreeNode* other) const {
    for (const TreeNode* n = other; n; n = n->parent_)
        if (n == this) return true;
    return false;
}

TreeNode* TreeNode::findInSubtree(const QString& t) {
    if (text == t) return this;
    ensureSorted();
    for (const auto& c : children_)
        if (TreeNode* found = c->findInSubtree(t)) return found;
    return nullptr;
}

bool precedesInPreorder(const TreeNode* a, const TreeNode* b) {
    if (a == b) return false;
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
    if (x == y) return x == a; // one is an ancestor of the other: the ancestor comes first
    while (x->parent() != y->parent()) {
        x = x->parent();
        y = y->parent();
    }
    const TreeNode* p = x->parent();
    if (p->sortPending_) {
        // The order the pending sort will give, without sorting now.
        const int c = indexfile::compareCatalogue(x->text, y->text);
        return c != 0 ? c < 0 : x->seq_ < y->seq_;
    }
    return x->row() < y->row();
}
