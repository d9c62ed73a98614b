#include "widgets/folder_tree.h"
#include "widgets/image_list.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

using widgets::FolderTree;

namespace {
class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tree.setImageList(&images);
        ASSERT_TRUE(tree.addNode(QString(), QStringLiteral("Root"), QStringLiteral("Notes Email Database"), 0));
        ASSERT_TRUE(tree.addNode(QStringLiteral("Root"), QStringLiteral("Inbox"), QStringLiteral("Inbox (3)"), 67));
        ASSERT_TRUE(tree.addNode(QStringLiteral("Root"), QStringLiteral("Folders"), QStringLiteral("Folders"), 70));
    }
    widgets::ImageList images;
    FolderTree tree;
};
} // namespace

TEST_F(FolderTreeTest, NodesKeepTheirFields)
{
    ASSERT_TRUE(tree.setBold(QStringLiteral("Inbox"), true));
    ASSERT_TRUE(tree.setTag(QStringLiteral("Inbox"), QStringLiteral("Inbox")));
    const auto inbox = tree.node(QStringLiteral("Inbox"));
    ASSERT_TRUE(inbox);
    EXPECT_EQ(inbox->key, QStringLiteral("Inbox"));
    EXPECT_EQ(inbox->parentKey, QStringLiteral("Root"));
    EXPECT_EQ(inbox->text, QStringLiteral("Inbox (3)"));
    EXPECT_EQ(inbox->imageIndex, 67);
    EXPECT_TRUE(inbox->bold);
    EXPECT_EQ(inbox->tag, QStringLiteral("Inbox"));

    const auto root = tree.node(QStringLiteral("Root"));
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->parentKey.isEmpty());
    EXPECT_FALSE(root->bold);
    EXPECT_TRUE(root->tag.isEmpty());
    EXPECT_EQ(tree.childKeys(QString()), QStringList { QStringLiteral("Root") });
    EXPECT_EQ(
        tree.childKeys(QStringLiteral("Root")), (QStringList { QStringLiteral("Inbox"), QStringLiteral("Folders") }));
    EXPECT_FALSE(tree.tree()->topLevelItem(0)->child(0)->icon(0).isNull());
}

TEST_F(FolderTreeTest, DuplicateKeysAndMissingParentsAreRefusedUntilClear)
{
    // Folders A, A\B, C\B and X\B where X is not a folder: only A\B gets a node.
    ASSERT_TRUE(tree.addNode(QStringLiteral("Folders"), QStringLiteral("A"), QStringLiteral("A (0)"), 70));
    ASSERT_TRUE(tree.addNode(QStringLiteral("Folders"), QStringLiteral("C"), QStringLiteral("C (0)"), 70));
    EXPECT_TRUE(tree.addNode(QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("B (2)"), 70));
    EXPECT_FALSE(tree.addNode(QStringLiteral("C"), QStringLiteral("B"), QStringLiteral("B (5)"), 70));
    EXPECT_FALSE(tree.addNode(QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Y (1)"), 70));
    EXPECT_FALSE(tree.addNode(QStringLiteral("Root"), QString(), QStringLiteral("no key"), 70));

    EXPECT_EQ(tree.node(QStringLiteral("B"))->parentKey, QStringLiteral("A"));
    EXPECT_EQ(tree.node(QStringLiteral("B"))->text, QStringLiteral("B (2)"));
    EXPECT_TRUE(tree.childKeys(QStringLiteral("C")).isEmpty());
    EXPECT_FALSE(tree.contains(QStringLiteral("Y")));
    EXPECT_EQ(tree.nodeCount(), 6);

    for (const QString& missing : { QStringLiteral("Y"), QString() }) {
        EXPECT_FALSE(tree.setBold(missing, true));
        EXPECT_FALSE(tree.setTag(missing, QStringLiteral("t")));
        EXPECT_FALSE(tree.setText(missing, QStringLiteral("t")));
        EXPECT_FALSE(tree.setImage(missing, 1));
        EXPECT_FALSE(tree.select(missing));
        EXPECT_FALSE(tree.node(missing));
    }

    // Clear forgets every key: a key can be used again, at the top.
    tree.select(QStringLiteral("Inbox"));
    tree.clear();
    EXPECT_EQ(tree.nodeCount(), 0);
    EXPECT_FALSE(tree.node(QStringLiteral("Inbox")));
    EXPECT_FALSE(tree.selectedNode());
    EXPECT_FALSE(tree.addNode(QStringLiteral("Root"), QStringLiteral("Inbox"), QStringLiteral("Inbox (0)"), 67));
    EXPECT_TRUE(tree.addNode(QString(), QStringLiteral("Inbox"), QStringLiteral("Inbox (0)"), 67));
}

TEST_F(FolderTreeTest, AClickSelectsTheNodeAndIsReported)
{
    tree.setHeaderCaption(QStringLiteral("Notes Database"));
    EXPECT_EQ(tree.headerCaption(), QStringLiteral("Notes Database"));
    tree.setTag(QStringLiteral("Folders"), QStringLiteral("Folders"));
    tree.expandAll();
    tree.resize(200, 200);
    tree.show();
    QCoreApplication::processEvents();

    QSignalSpy clicked(&tree, &FolderTree::nodeClicked);
    QTreeWidget* view = tree.tree();
    const QRect target = view->visualItemRect(view->topLevelItem(0)->child(1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, target.center());
    ASSERT_EQ(clicked.count(), 1);
    ASSERT_TRUE(tree.selectedNode());
    EXPECT_EQ(tree.selectedNode()->tag, QStringLiteral("Folders"));
}
