// The help file the build puts beside the program, and the help viewer that shows it.
#include "scripted_ui.h"

#include "common/help_viewer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

using common::HelpViewer;

namespace {
const QString ProgramHelp = QStringLiteral(FERRYMARK_PROGRAM_FOLDER "/Help.html");

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QSet<QString> captures(const QString& text, const char* pattern)
{
    QSet<QString> out;
    for (const auto& m : QRegularExpression(QLatin1String(pattern)).globalMatch(text))
        out.insert(m.captured(1));
    return out;
}

QStringList itemTexts(const QTreeWidget* tree, const QTreeWidgetItem* parent = nullptr)
{
    QStringList out;
    const int n = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < n; ++i)
        out << (parent ? parent->child(i) : tree->topLevelItem(i))->text(0);
    return out;
}
} // namespace

TEST(HelpFileTest, EveryTopicIsInTheContentsAndEveryLinkLeadsToOne)
{
    const QString html = readAll(ProgramHelp);
    ASSERT_FALSE(html.isEmpty()) << "the build puts Help.html beside the program";
    const QSet<QString> ids = captures(html, R"re(id="([^"]+)")re");
    for (const QString& target : captures(html, R"re(href="#([^"]+)")re"))
        EXPECT_TRUE(ids.contains(target)) << "broken link #" << target.toStdString();

    QWidget owner;
    HelpViewer viewer(ProgramHelp, &owner);
    QTreeWidget* contents = viewer.contents();
    EXPECT_EQ(contents->topLevelItemCount(), html.count(QStringLiteral("<h2 id=")));
    int items = 0;
    for (QTreeWidgetItemIterator it(contents); *it; ++it) {
        ++items;
        emit contents->itemClicked(*it, 0);
        EXPECT_FALSE(viewer.browser()->source().fragment().isEmpty()) << (*it)->text(0).toStdString();
        EXPECT_EQ(contents->currentItem(), *it);
    }
    EXPECT_EQ(items, html.count(QStringLiteral("<h2 id=")) + html.count(QStringLiteral("<h3 id=")));
}

TEST(HelpFileTest, ExplainsEveryMessageOfTheProgram)
{
    QTextDocument document;
    document.setHtml(readAll(ProgramHelp));
    const QString text = document.toPlainText();
    const char* messages[] = { "Lotus Notes not INSTALLED or Configured",
        "Lotus Notes NOT INSTALLED or CONFIGURED Properly.", "No Data Found in NSF file or NSF file is encrypted",
        "Please select a Notes database and click Start Scan to proceed.", "Notes Database Scan Completed Successfully",
        "Outlook NOT installed to configured properly.", "Please set the Outlook as default email client.",
        "Please Select Outlook Items to Save", "Please Select Outlook Format",
        "Outlook is not INSTALLED or configured properly", "Migration Completed Successfully !",
        "Journals Migration Completed Successfully !", "Migration Completed with Errors !",
        "The PST file could not be written", "The Notes database changed after it was scanned; nothing was exported.",
        "Are you sure you want to close the software" };
    for (const char* message : messages)
        EXPECT_TRUE(text.contains(QLatin1String(message))) << message;
}

TEST(HelpViewerTest, TopicsComeFromTheHeadingsAndTheViewerStartsOnTheFirst)
{
    testing_support::ScriptedUi ui;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Help.html"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<html><body><h1 id="top">Title</h1><p>Intro</p>
        <h2 id="a">Alpha</h2><p><a href="#b2">Beta two</a></p><h3 id="a1">Alpha one</h3>
        <p style="margin-bottom: 3000px">Long</p><h2>No anchor</h2><h2 id="b">Beta</h2><h3 id="b2">Beta two</h3><h4 id="deep">Deep</h4>
        <p style="margin-bottom: 3000px">End</p></body></html>)");
    file.close();

    QWidget owner;
    ASSERT_TRUE(HelpViewer::Open(&owner, path));
    auto* viewer = owner.findChild<HelpViewer*>();
    ASSERT_NE(viewer, nullptr);
    QTreeWidget* contents = viewer->contents();
    EXPECT_EQ(itemTexts(contents), (QStringList { "Alpha", "Beta" }));
    EXPECT_EQ(itemTexts(contents, contents->topLevelItem(0)), QStringList { "Alpha one" });
    EXPECT_EQ(itemTexts(contents, contents->topLevelItem(1)), QStringList { "Beta two" });
    EXPECT_EQ(contents->currentItem(), contents->topLevelItem(0));

    EXPECT_FALSE(viewer->showTopic(QStringLiteral("deep")));
    ASSERT_TRUE(viewer->showTopic(QStringLiteral("b2")));
    EXPECT_EQ(contents->currentItem()->text(0), QStringLiteral("Beta two"));
    auto* back = viewer->findChild<QPushButton*>(QStringLiteral("HelpBack"));
    ASSERT_TRUE(back && back->isEnabled());
    back->click();
    EXPECT_TRUE(viewer->browser()->source().fragment().isEmpty());
    EXPECT_EQ(contents->currentItem(), contents->topLevelItem(0));

    // Opening it again reuses the viewer; a folder or a missing file opens nothing.
    viewer->showTopic(QStringLiteral("b"));
    ASSERT_GT(viewer->browser()->verticalScrollBar()->value(), 0);
    ASSERT_TRUE(HelpViewer::Open(&owner, path));
    EXPECT_EQ(owner.findChildren<HelpViewer*>().size(), 1);
    EXPECT_EQ(viewer->browser()->verticalScrollBar()->value(), 0);
    EXPECT_EQ(contents->currentItem(), contents->topLevelItem(0));
    EXPECT_FALSE(HelpViewer::Open(&owner, dir.path()));
    EXPECT_FALSE(HelpViewer::Open(&owner, dir.filePath(QStringLiteral("none.html"))));
    EXPECT_EQ(owner.findChildren<HelpViewer*>().size(), 1);
    EXPECT_TRUE(ui.messages().empty());
}
