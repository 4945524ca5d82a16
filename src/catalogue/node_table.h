#pragma once

#include "hashed_key.h"

#include <QtGlobal>

#include <vector>

class TreeNode;

// Tree nodes by an owner node and a name that is the node's own text: one node for each
// (owner, name). Dense entries and a table of open addressing over them, which keeps the
// entry + 1 and the low half of the hash, so that a probe reads a node's text only on a
// match of both.
class NodeTable {
public:
    // The node of (owner, name), or nullptr.
    TreeNode* find(const TreeNode* owner, const HashedKey& name) const;
    // Makes `node` (whose text is name.text) the node of (owner, name).
    void set(const TreeNode* owner, const HashedKey& name, TreeNode* node);
    void clear();
    size_t size() const { return entries_.size(); }

private:
    struct Entry {
        const TreeNode* owner;
        TreeNode* node;
    };
    struct Slot {
        quint32 entry; // + 1; 0 for none
        quint32 hash;
    };
    static size_t hashOf(const TreeNode* owner, size_t nameHash) {
        return nameHash ^ (quintptr(owner) * 0x9E3779B97F4A7C15ULL);
    }
    // The slot of (owner, name), or the empty slot where it belongs.
    size_t slotOf(const TreeNode* owner, const HashedKey& name, size_t hash) const;
    void grow();

    std::vector<Entry> entries_;
    std::vector<Slot> slots_;
};
