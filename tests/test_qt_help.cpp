// Tests of the Linux help engine: the viewer that HELP_FINDER opens and HELP_QUIT closes.
#include "platform/Help.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>

#include <string>
#include <vector>

#include "QtTestApplication.h"
#include "linux/TempDir.h"
#include "platform/linux/HelpViewer.h"
#include "platform/linux/QtServices.h"

namespace orvane {
namespace {

using qt::CHelpViewer;

constexpr UINT HELP_CONTEXT = 1;

std::vector<CHelpViewer*> Viewers() {
    std::vector<CHelpViewer*> viewers;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* viewer = dynamic_cast<CHelpViewer*>(widget); viewer && viewer->isVisible()) viewers.push_back(viewer);
    }
    return viewers;
}

const char* const kSample =
    "title: Clock Help\n"
    "= Overview\n"
    "index: clock, start\n"
    "The program sets the clock. See https://tf.nist.gov/tf-cgi/servers.cgi for servers.\n"
    "== Details\n"
    "index: firewall\n"
    "- port 13 <tcp>\n"
    "= Keyboard\n"
    "index: keys, Clock\n"
    "    Alt+S\n";

class QtHelpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::TestApplication(); }
    void SetUp() override { test::WriteWholeFile(dir / "Clock.HLP", kSample); }
    void TearDown() override { help.WinHelp(nullptr, "", HELP_QUIT, 0); }

    test::TempDir dir;
    CQtHelp help;
};

TEST_F(QtHelpTest, FinderOpensOneViewerCaptionedWithTheFilesTitle) {
    EXPECT_TRUE(help.WinHelp(nullptr, dir / "Clock.HLP", HELP_FINDER, 0));
    ASSERT_EQ(Viewers().size(), 1u);
    CHelpViewer* viewer = Viewers()[0];
    EXPECT_EQ(viewer->windowTitle().toStdString(), "Clock Help");
    EXPECT_EQ(viewer->Contents()->topLevelItemCount(), 2);
    ASSERT_EQ(viewer->Contents()->topLevelItem(0)->childCount(), 1) << "a section stands under its chapter";
    EXPECT_EQ(viewer->Contents()->topLevelItem(0)->child(0)->text(0).toStdString(), "Details");
    EXPECT_EQ(viewer->CurrentTopic(), 0u);
    EXPECT_TRUE(viewer->Text()->toPlainText().contains(QStringLiteral("The program sets the clock.")));

    // Asked again, the same viewer comes forward with the file read anew.
    test::WriteWholeFile(dir / "Clock.HLP", std::string(kSample) + "= Added\n");
    EXPECT_TRUE(help.WinHelp(nullptr, dir / "Clock.HLP", HELP_FINDER, 0));
    ASSERT_EQ(Viewers().size(), 1u);
    EXPECT_EQ(Viewers()[0], viewer);
    EXPECT_EQ(viewer->Contents()->topLevelItemCount(), 3);
}

TEST_F(QtHelpTest, QuitClosesTheViewerAndSucceedsWithoutOne) {
    ASSERT_TRUE(help.WinHelp(nullptr, dir / "Clock.HLP", HELP_FINDER, 0));
    ASSERT_EQ(Viewers().size(), 1u);
    EXPECT_TRUE(help.WinHelp(nullptr, dir / "Clock.HLP", HELP_QUIT, 0));
    EXPECT_TRUE(Viewers().empty());
    EXPECT_TRUE(help.WinHelp(nullptr, dir / "Clock.HLP", HELP_QUIT, 0));
}

TEST_F(QtHelpTest, ClosingTheViewerByHandLeavesTheEngineReady) {
    ASSERT_TRUE(help.WinHelp(nullptr, dir / "Clock.HLP", HELP_FINDER, 0));
    Viewers()[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Viewers().empty());
    EXPECT_TRUE(help.WinHelp(nullptr, dir / "Clock.HLP", HELP_FINDER, 0));
    EXPECT_EQ(Viewers().size(), 1u);
}

TEST_F(QtHelpTest, MissingUnreadableOrForeignFilesAndOtherCommandsAreRefused) {
    test::WriteWholeFile(dir / "binary.HLP", std::string("\x7F" "ELF\0\0\0", 7));
    test::WriteWholeFile(dir / "empty.HLP", "");
    struct Case {
        const char* name;
        std::string path;
        UINT command;
    };
    const Case cases[] = {
        {"missing file", dir / "Missing.HLP", HELP_FINDER},
        {"a folder", dir.Path(), HELP_FINDER},
        {"a binary file", dir / "binary.HLP", HELP_FINDER},
        {"an empty file", dir / "empty.HLP", HELP_FINDER},
        {"an unknown command", dir / "Clock.HLP", HELP_CONTEXT},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(help.WinHelp(nullptr, c.path, c.command, 0)) << c.name;
        EXPECT_TRUE(Viewers().empty()) << c.name << " opened a viewer";
    }
}

TEST_F(QtHelpTest, WithoutATitleTheFileNameCaptionsTheViewer) {
    test::WriteWholeFile(dir / "Other.HLP", "= Only topic\n");
    ASSERT_TRUE(help.WinHelp(nullptr, dir / "Other.HLP", HELP_FINDER, 0));
    ASSERT_EQ(Viewers().size(), 1u);
    EXPECT_EQ(Viewers()[0]->windowTitle().toStdString(), "Other");
}

TEST_F(QtHelpTest, TheIndexLeadsToItsTopics) {
    ASSERT_TRUE(help.WinHelp(nullptr, dir / "Clock.HLP", HELP_FINDER, 0));
    CHelpViewer* viewer = Viewers()[0];
    std::vector<std::string> labels;
    for (int row = 0; row < viewer->Index()->count(); ++row) labels.push_back(viewer->Index()->item(row)->text().toStdString());
    // "clock" and "Clock" lead to two topics, so each entry names its topic.
    const std::vector<std::string> expected = {"clock - Overview", "Clock - Keyboard", "firewall", "keys", "start"};
    EXPECT_EQ(labels, expected);

    QTest::keyClicks(viewer->IndexFilter(), "fi");
    EXPECT_EQ(viewer->Index()->currentItem()->text().toStdString(), "firewall");
    EXPECT_EQ(viewer->CurrentTopic(), 1u);
    EXPECT_TRUE(viewer->Text()->toPlainText().contains(QStringLiteral("port 13 <tcp>"))) << viewer->Text()->toPlainText().toStdString();

    viewer->Index()->setCurrentRow(3);
    EXPECT_EQ(viewer->CurrentTopic(), 2u);
}

TEST_F(QtHelpTest, TopicsShowListsBlocksAndLinks) {
    const auto file = HelpFile::Parse(kSample);
    ASSERT_TRUE(file.has_value());
    const QString overview = qt::TopicHtml(file->topics[0]);
    EXPECT_TRUE(overview.contains(QStringLiteral("<a href=\"https://tf.nist.gov/tf-cgi/servers.cgi\">"))) << overview.toStdString();
    const QString details = qt::TopicHtml(file->topics[1]);
    EXPECT_TRUE(details.contains(QStringLiteral("<ul><li>port 13 &lt;tcp&gt;</li></ul>"))) << details.toStdString();
    EXPECT_TRUE(qt::TopicHtml(file->topics[2]).contains(QStringLiteral("<pre>Alt+S</pre>")));
}

TEST_F(QtHelpTest, TheShippedHelpFileOpens) {
    ASSERT_TRUE(help.WinHelp(nullptr, ORVANE_SOURCE_DIR "/res/orvane.hlp", HELP_FINDER, 0));
    ASSERT_EQ(Viewers().size(), 1u);
    EXPECT_EQ(Viewers()[0]->windowTitle().toStdString(), "Orvane Help");
    EXPECT_GE(Viewers()[0]->Contents()->topLevelItemCount(), 6);
}

}  // namespace
}  // namespace orvane
