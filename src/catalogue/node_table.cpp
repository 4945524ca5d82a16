#include "node_table.h"

#include "tree_node.h"

#include <algorithm>
#include <bit>

size_t NodeTable::slotOf(const TreeNode* owner, const HashedKey& name, size_t hash) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.entry == 0) return i;
        if (slot.hash == quint32(hash)) {
            const Entry& e = entries_[slot.entry - 1];
            if (e.owner == owner && e.node->text == name.text) return i;
        }
    }
}

TreeNode* NodeTable::find(const TreeNode* owner, const HashedKey& name) const {
    if (slots_.empty()) return nullptr;
    const Slot& slot = slots_[slotOf(owner, name, hashOf(owner, name.hash))];
    return slot.entry == 0 ? nullptr : entries_[slot.entry - 1].node;
}

void NodeTable::set(const TreeNode* owner, const HashedKey& name, TreeNode* node) {
    // At most three quarters full.
    if (4 * (entries_.size() + 1) > 3 * slots_.size()) grow();
    const size_t hash = hashOf(owner, name.hash);
    Slot& slot = slots_[slotOf(owner, name, hash)];
    if (slot.entry != 0) {
        entries_[slot.entry - 1].node = node;
        return;
    }
    entries_.push_back({owner, node});
    slot = {quint32(entries_.size()), quint32(hash)};
}

void NodeTable::grow() {
    // The full hash is not kept: each entry's is made again from its owner and text.
    slots_.assign(std::max<size_t>(16, 2 * slots_.size()), Slot{0, 0});
    const size_t mask = slots_.size() - 1;
    for (size_t k = 0; k < entries_.size(); ++k) {
        const Entry& e = entries_[k];
        const size_t hash = hashOf(e.owner, HashedKey::hashOf(e.node->text));
        size_t i = hash & mask;
        while (slots_[i].entry != 0)
            i = (i + 1) & mask;
        slots_[i] = {quint32(k + 1), quint32(hash)};
    }
}

void NodeTable::clear() {
    entries_ = {};
    slots_ = {};
}
