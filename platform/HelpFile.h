// The program's help file: a plain-text file of topics with a contents list and a keyword index.
//
// Every platform's help viewer reads the file through this parser; it needs nothing beyond the
// standard library. The format is described beside the parser in platform/HelpFile.cpp.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

struct HelpParagraph {
    enum class Kind {
        Text,          // running text: the file's lines joined with single blanks
        Bullet,        // one item of a list
        Preformatted,  // lines shown as they stand (commands, file names), joined with "\n"
    };
    Kind kind = Kind::Text;
    std::string text;
};

struct HelpTopic {
    std::string title;
    int level = 1;  // 1 for a chapter of the contents, 2 and 3 for sections below the one before
    std::vector<HelpParagraph> paragraphs;
};

struct HelpIndexEntry {
    std::string keyword;
    std::size_t topic = 0;  // index into HelpFile::topics
};

class HelpFile {
public:
    // Bounds on what a file may make the parser hold. A larger file is refused as a whole; past
    // the other limits the rest is dropped.
    static constexpr std::size_t kMaxFileSize = std::size_t{1} << 20;
    static constexpr std::size_t kMaxLineLength = 4000;
    static constexpr std::size_t kMaxTopics = 500;
    static constexpr std::size_t kMaxParagraphsPerTopic = 500;
    static constexpr std::size_t kMaxParagraphLength = 20000;
    static constexpr std::size_t kMaxIndexEntries = 5000;
    static constexpr std::size_t kMaxKeywordLength = 100;
    static constexpr std::size_t kMaxTitleLength = 200;
    static constexpr int kMaxLevel = 3;

    // Parses the text of a help file; nullopt when it is not one (larger than kMaxFileSize, holds
    // a NUL byte, or has no topic).
    static std::optional<HelpFile> Parse(std::string_view text);

    // Reads and parses the file at `path`; nullopt when it is missing, unreadable or not a help file.
    static std::optional<HelpFile> Load(const std::string& path);

    // The topic with this title (compared exactly), or null.
    const HelpTopic* FindTopic(std::string_view title) const;

    std::string title;               // the "title:" line; empty when the file has none
    std::vector<HelpTopic> topics;   // in file order: the contents list
    std::vector<HelpIndexEntry> index;  // sorted by keyword, ignoring ASCII case, then by topic
};

}  // namespace orvane
