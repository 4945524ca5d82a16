#pragma once

#include <QString>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

struct MyMediaInfo;

// A node of the collection's trees, shaped for a lazy item model: text, icons, parent,
// children and the row within the parent. A root keeps the room of all nodes below it in
// blocks, so that adding a node costs no allocation of its own.
class TreeNode {
public:
    // A root.
    TreeNode(QString text, int icon, int selectedIcon);
    ~TreeNode();
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    QString text;
    int icon = 0;
    int selectedIcon = 0;
    std::unique_ptr<MyMediaInfo> media; // medium nodes only

    TreeNode* parent() const { return parent_; }
    int childCount() const { return int(children_.size()); }
    TreeNode* child(int row) const;
    int row() const;
    int depth() const;

    TreeNode* addChild(QString text, int icon, int selectedIcon);
    void reserveChildren(size_t count) { children_.reserve(count, room_); }
    void removeChildren();
    // Sorts the direct children by text in the catalogue order (stable).
    void sortChildren();
    // Keeps the children sorted by text, lazily: they are sorted (stable, so equal
    // texts stay in the order they were added) the next time anyone looks at them.
    void sortChildrenLater() { sortPending_ = true; }

    bool isAncestorOrSelfOf(const TreeNode* other) const;
    // Number of nodes below this one, at any depth.
    int descendantCount() const { return descendants_; }
    // The first node in a depth-first walk of this subtree (this node included) whose
    // text equals `text` exactly.
    TreeNode* findInSubtree(const QString& text);

private:
    friend bool precedesInPreorder(const TreeNode* a, const TreeNode* b);
    class Room;
    struct Release {
        void operator()(TreeNode* node) const;
    };
    using Child = std::unique_ptr<TreeNode, Release>;
    // The children in order: what the vector does here, in 16 bytes rather than 24. The
    // array is taken from the root's room and given back to it (release), so that it is
    // taken again by other nodes rather than freed.
    class Children {
    public:
        Children() = default;
        Children(const Children&) = delete;
        Children& operator=(const Children&) = delete;
        size_t size() const { return size_; }
        Child* begin() const { return data_; }
        Child* end() const { return data_ + size_; }
        const Child* cbegin() const { return begin(); }
        const Child* cend() const { return end(); }
        Child& operator[](size_t i) const { return data_[i]; }
        Child& back() const { return data_[size_ - 1]; }
        void reserve(size_t n, Room* room);
        void push_back(Child&& c, Room* room) {
            if (size_ == capacity_) reserve(capacity_ ? 2 * size_t(capacity_) : 1, room);
            data_[size_++] = std::move(c);
        }
        // Releases the children in order and keeps the array.
        void clear() {
            for (Child& c : *this)
                c.reset();
            size_ = 0;
        }
        // Releases the children and gives the array back.
        void release(Room* room);
        // Puts the child at order[k] at k for every k, along the cycles of the order (which
        // is used up).
        void reorder(std::vector<int>& order);

    private:
        Child* data_ = nullptr;
        quint32 size_ = 0;
        quint32 capacity_ = 0;
    };
    TreeNode(QString text, int icon, int selectedIcon, Room* room);
    void ensureSorted() const;
    void renumber() const;

    Room* room_ = nullptr; // the root's own, the others' the root's
    TreeNode* parent_ = nullptr;
    mutable Children children_;
    int descendants_ = 0;
    int seq_ = 0; // order of adding among the siblings (children are only removed all at once)
    mutable int row_ = 0;
    mutable bool rowsValid_ = true; // of the children
    mutable bool sortPending_ = false;
    bool ownsRoom_ = false; // a root
};

// True when a comes before b in a depth-first walk (parents before children).
bool precedesInPreorder(const TreeNode* a, const TreeNode* b);
