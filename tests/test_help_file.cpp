// Tests of the help file's parser, and of the help file that ships with the program.
#include "platform/HelpFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "linux/TempDir.h"

namespace orvane {
namespace {

std::string Titles(const HelpFile& file) {
    std::string titles;
    for (const HelpTopic& topic : file.topics) titles += std::to_string(topic.level) + ":" + topic.title + "|";
    return titles;
}

std::string Keywords(const HelpFile& file) {
    std::string keywords;
    for (const HelpIndexEntry& entry : file.index) keywords += entry.keyword + "@" + std::to_string(entry.topic) + "|";
    return keywords;
}

using Kind = HelpParagraph::Kind;

std::string Paragraphs(const HelpTopic& topic) {
    std::string text;
    for (const HelpParagraph& paragraph : topic.paragraphs) {
        text += paragraph.kind == Kind::Text ? "T[" : paragraph.kind == Kind::Bullet ? "B[" : "P[";
        text += paragraph.text + "]";
    }
    return text;
}

// ---- Structure ---------------------------------------------------------------------------------

TEST(HelpFileContents, TopicsAndSectionsComeInFileOrderWithTheirLevels) {
    const auto file = HelpFile::Parse(
        "title: Clock Help\n"
        "= First\n"
        "== Inner\n"
        "=== Deepest\n"
        "==== Deeper still\n"
        "=Second\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->title, "Clock Help");
    EXPECT_EQ(Titles(*file), "1:First|2:Inner|3:Deepest|3:Deeper still|1:Second|");
}

TEST(HelpFileContents, ParagraphsListsAndPreformattedBlocksAreTold) {
    const auto file = HelpFile::Parse(
        "= Topic\n"
        "One line\n"
        "and its continuation.\n"
        "\n"
        "- first item\n"
        "  continued\n"
        "- second item\n"
        "\n"
        "    sudo setcap cap_sys_time+ep /usr/bin/orvane\n"
        "\ttimedatectl status\n"
        "After.\n"
        "\\= not a heading\n"
        "\\index: not a keyword\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(Paragraphs(file->topics[0]),
              "T[One line and its continuation.]B[first item continued]B[second item]"
              "P[sudo setcap cap_sys_time+ep /usr/bin/orvane\ntimedatectl status]"
              "T[After. = not a heading index: not a keyword]");
    EXPECT_TRUE(file->index.empty()) << Keywords(*file);
}

TEST(HelpFileContents, WindowsLineEndsAndAByteOrderMarkAreAccepted) {
    const auto file = HelpFile::Parse("\xEF\xBB\xBFtitle: T\r\n= A\r\nindex: k\r\ntext\r\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->title, "T");
    EXPECT_EQ(Titles(*file), "1:A|");
    EXPECT_EQ(Keywords(*file), "k@0|");
    EXPECT_EQ(Paragraphs(file->topics[0]), "T[text]");
}

TEST(HelpFileContents, FindTopicMatchesTheWholeTitle) {
    const auto file = HelpFile::Parse("= Setting the clock\n= Keyboard\n");
    ASSERT_TRUE(file.has_value());
    ASSERT_NE(file->FindTopic("Keyboard"), nullptr);
    EXPECT_EQ(file->FindTopic("Keyboard")->title, "Keyboard");
    EXPECT_EQ(file->FindTopic("keyboard"), nullptr);
    EXPECT_EQ(file->FindTopic("Setting"), nullptr);
}

// ---- Index -------------------------------------------------------------------------------------

TEST(HelpFileIndex, KeywordsAreSortedIgnoringCaseThenByTopic) {
    const auto file = HelpFile::Parse(
        "= Zero\n"
        "index: port 13, Firewall\n"
        "= One\n"
        "index: firewall , alpha,, \n"
        "index: Alpha, beta\n"
        "= Two\n"
        "index: Beta\n");
    ASSERT_TRUE(file.has_value());
    // "Alpha" repeats "alpha" for topic 1 and is dropped; empty keywords are skipped.
    EXPECT_EQ(Keywords(*file), "alpha@1|beta@1|Beta@2|Firewall@0|firewall@1|port 13@0|");
}

// ---- Malformed input ---------------------------------------------------------------------------

struct RefusedCase {
    const char* name;
    std::string text;
};

TEST(HelpFileMalformed, TextsThatAreNoHelpFileAreRefused) {
    const std::vector<RefusedCase> cases = {
        {"empty", ""},
        {"only a title", "title: Nothing\n"},
        {"headings without titles", "=\n==   \n"},
        {"plain text", "Just some words\nwithout any topic.\n"},
        {"a NUL byte", std::string("= Topic\ntext\0more\n", sizeof("= Topic\ntext\0more\n") - 1)},
        {"larger than the limit", "= Topic\n" + std::string(HelpFile::kMaxFileSize, 'x')},
    };
    for (const RefusedCase& refused : cases) {
        const auto file = HelpFile::Parse(refused.text);
        EXPECT_FALSE(file.has_value()) << refused.name << ": parsed with topics " << Titles(*file);
    }
}

TEST(HelpFileMalformed, StrayLinesAreDroppedAndTheRestIsKept) {
    const auto file = HelpFile::Parse(
        "text before any topic\n"
        "index: orphan\n"
        "# a comment\n"
        "= Kept\n"
        "# comment inside\n"
        "body\n"
        "=\n"
        "lines under a heading without a title\n"
        "index: lost\n"
        "title: too late\n"
        "= Also kept\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->title, "");
    EXPECT_EQ(Titles(*file), "1:Kept|1:Also kept|");
    EXPECT_EQ(Paragraphs(file->topics[0]), "T[body]");
    EXPECT_TRUE(file->topics[1].paragraphs.empty());
    EXPECT_TRUE(file->index.empty()) << Keywords(*file);
}

// ---- Bounds ------------------------------------------------------------------------------------

TEST(HelpFileBounds, LongLinesKeywordsAndTitlesAreCut) {
    const std::string longWord(HelpFile::kMaxLineLength * 2, 'w');
    const auto file = HelpFile::Parse("= " + std::string(HelpFile::kMaxTitleLength + 50, 't') + "\n" +
                                      "index: " + std::string(HelpFile::kMaxKeywordLength + 10, 'k') + "\n" + longWord + "\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->topics[0].title.size(), HelpFile::kMaxTitleLength);
    ASSERT_EQ(file->index.size(), 1u);
    EXPECT_EQ(file->index[0].keyword.size(), HelpFile::kMaxKeywordLength);
    ASSERT_EQ(file->topics[0].paragraphs.size(), 1u);
    EXPECT_EQ(file->topics[0].paragraphs[0].text.size(), HelpFile::kMaxLineLength);
}

TEST(HelpFileBounds, CuttingNeverSplitsAUtf8Character) {
    // "é" is two bytes; the limit falls between them.
    std::string title(HelpFile::kMaxTitleLength - 1, 'a');
    title += "\xC3\xA9";
    const auto file = HelpFile::Parse("= " + title + "\n");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->topics[0].title, std::string(HelpFile::kMaxTitleLength - 1, 'a'));
}

TEST(HelpFileBounds, TopicsParagraphsAndKeywordsStopAtTheirLimits) {
    std::string text = "= T0\n";
    for (std::size_t i = 0; i < HelpFile::kMaxIndexEntries + 20; ++i) text += "index: k" + std::to_string(i) + "\n";
    for (std::size_t i = 0; i < HelpFile::kMaxParagraphLength / 10 + 20; ++i) text += "0123456789\n";
    for (std::size_t i = 0; i < HelpFile::kMaxParagraphsPerTopic + 20; ++i) text += "\np\n";
    text += "\n";
    for (std::size_t i = 1; i < HelpFile::kMaxTopics + 20; ++i) text += "= T" + std::to_string(i) + "\n";
    const auto file = HelpFile::Parse(text);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->topics.size(), HelpFile::kMaxTopics);
    EXPECT_EQ(file->topics.back().title, "T" + std::to_string(HelpFile::kMaxTopics - 1));
    EXPECT_EQ(file->index.size(), HelpFile::kMaxIndexEntries);
    const HelpTopic& first = file->topics.front();
    EXPECT_EQ(first.paragraphs.size(), HelpFile::kMaxParagraphsPerTopic);
    const std::size_t longest = first.paragraphs.front().text.size();
    EXPECT_LE(longest, HelpFile::kMaxParagraphLength);
    EXPECT_GT(longest, HelpFile::kMaxParagraphLength - 11) << "the paragraph stopped early";
}

// ---- Files -------------------------------------------------------------------------------------

TEST(HelpFileLoad, ReadsAFileAndRefusesMissingAndOversizedOnes) {
    test::TempDir dir;
    test::WriteWholeFile(dir / "good.HLP", "title: Good\n= Topic\n");
    test::WriteWholeFile(dir / "big.HLP", "= Topic\n" + std::string(HelpFile::kMaxFileSize, '.'));

    const auto good = HelpFile::Load(dir / "good.HLP");
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(good->title, "Good");
    EXPECT_FALSE(HelpFile::Load(dir / "missing.HLP").has_value());
    EXPECT_FALSE(HelpFile::Load(dir.Path()).has_value()) << "a folder is no help file";
    EXPECT_FALSE(HelpFile::Load(dir / "big.HLP").has_value());
}

TEST(ShippedHelpFile, ParsesWithEveryTopicTheUserNeeds) {
    const auto file = HelpFile::Load(ORVANE_SOURCE_DIR "/res/orvane.hlp");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->title, "Orvane Help");
    const char* const wanted[] = {
        "What Orvane does", "Setting the clock",       "Choosing a time server", "The listed servers",
        "Your own URL",     "The right to set the clock", "When setting the clock fails", "Messages",
        "Keyboard",
    };
    for (const char* title : wanted) EXPECT_NE(file->FindTopic(title), nullptr) << "missing topic " << title << "; has " << Titles(*file);
    for (std::size_t i = 0; i < file->topics.size(); ++i) {
        EXPECT_FALSE(file->topics[i].paragraphs.empty()) << "empty topic " << file->topics[i].title;
        const bool indexed = std::any_of(file->index.begin(), file->index.end(), [i](const HelpIndexEntry& e) { return e.topic == i; });
        EXPECT_TRUE(indexed) << "no index entry leads to " << file->topics[i].title;
    }
}

TEST(ShippedHelpFile, NamesTheServersTheListPageAndTheWaysToTheRightToSetTheClock) {
    const std::string text = test::ReadWholeFile(ORVANE_SOURCE_DIR "/res/orvane.hlp");
    const char* const wanted[] = {
        "http://time-a-b.nist.gov:13", "http://time-b-b.nist.gov:13", "http://time-a-g.nist.gov:13",
        "http://time-b-g.nist.gov:13", "http://time.nist.gov:13",     "http://time-a-wwv.nist.gov:13",
        "http://utcnist.colorado.edu:13", "https://tf.nist.gov/tf-cgi/servers.cgi", "setcap cap_sys_time+ep",
        "systemd-timedated", "root", "port 13", "firewall",
        "Could not set clock.  Make sure you are logged onto the Internet.  If so, press the Configure button.",
        "Failed to launch help.",
    };
    for (const char* phrase : wanted) EXPECT_NE(text.find(phrase), std::string::npos) << "the help never mentions " << phrase;
}

}  // namespace
}  // namespace orvane
