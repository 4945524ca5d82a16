#include "node_table.h"
#include "tree_node.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace {

// Sets and finds, against a map, for owners and names of every kind: names alike but for
// case, empty, beyond Latin-1, many per owner (the table grows past 1,000 entries), nodes
// replaced by others of the same name, and cleared.
TEST(NodeTable, AgreesWithAMapThroughGrowthReplacementAndClearing) {
    const QStringList names = {"Best Of", "best of", "", "Łódź", "Über", "A", "a", "Rock 1"};
    TreeNode root(QStringLiteral("root"), 0, 0);
    std::vector<TreeNode*> owners;
    for (int i = 0; i < 40; ++i)
        owners.push_back(root.addChild(QStringLiteral("owner %1").arg(i), 0, 0));
    std::mt19937 rng(3);
    NodeTable table;
    std::map<std::pair<const TreeNode*, QString>, TreeNode*> want;
    for (int round = 0; round < 2; ++round) {
        for (int step = 0; step < 4000; ++step) {
            const TreeNode* owner = owners[rng() % owners.size()];
            // Numbered names make many per owner; the fixed ones collide across owners.
            const QString name = rng() % 2 ? names[qsizetype(rng() % unsigned(names.size()))]
                                           : QStringLiteral("n%1").arg(rng() % 700);
            const HashedKey key(name);
            const auto it = want.find({owner, name});
            ASSERT_EQ(table.find(owner, key), it == want.end() ? nullptr : it->second) << step;
            if (rng() % 3) {
                TreeNode* node = owners[rng() % owners.size()]->addChild(name, 0, 0);
                table.set(owner, key, node);
                want[{owner, name}] = node;
            }
        }
        EXPECT_EQ(table.size(), want.size());
        EXPECT_GT(table.size(), 1000u);
        for (const auto& [k, node] : want)
            EXPECT_EQ(table.find(k.first, HashedKey(k.second)), node);
        table.clear();
        for (const auto& [k, node] : want)
            EXPECT_EQ(table.find(k.first, HashedKey(k.second)), nullptr);
        want.clear();
    }
}

} // namespace
