// Parser of the program's plain-text help file.
//
// The format, line by line (a line ends at "\n"; a "\r" before it is dropped; UTF-8 text, with an
// optional byte-order mark at the start):
//
//   # comment                 A line that starts with "#" is skipped.
//   title: Orvane Help        Before the first topic: the file's title, which captions the viewer.
//   = Topic title             Starts a topic. "==" and "===" start sections one and two levels
//                             below; a deeper heading counts as level 3. The contents list is the
//                             topics in file order. A heading with no title starts nothing: its
//                             lines are dropped until the next heading.
//   index: word, two words    Index keywords of the current topic, separated by commas. Any number
//                             of these lines may stand anywhere in the topic.
//   - item                    A list item; the plain lines that follow it continue it.
//       text                  A line that starts with four blanks or a tab is preformatted: shown as
//                             it stands, less that indent. Consecutive ones make one block.
//   plain text                Running text; consecutive lines make one paragraph.
//   (blank line)              Ends the paragraph, item or block.
//   \= text                   A backslash at the start is dropped and the rest is plain text, for a
//                             paragraph line that would otherwise read as one of the forms above.
//
// Lines before the first topic other than the title and comments are ignored. The parser is lenient
// (it never refuses a file for a malformed line) and bounded (see the limits in HelpFile.h).
#include "platform/HelpFile.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace orvane {
namespace {

constexpr std::string_view kTitlePrefix = "title:";
constexpr std::string_view kIndexPrefix = "index:";

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool LessIgnoringCase(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return LowerAscii(x) < LowerAscii(y); });
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view Bounded(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0u) == 0x80u) --end;
    return text.substr(0, end);
}

class Parser {
public:
    explicit Parser(HelpFile& file) : file_(file) {}

    void Line(std::string_view line) {
        line = Bounded(line, HelpFile::kMaxLineLength);
        if (!line.empty() && line.front() == '#') return;
        if (!line.empty() && line.front() == '=') return Heading(line);
        if (!inTopic_) {
            if (line.substr(0, kTitlePrefix.size()) == kTitlePrefix && file_.topics.empty()) {
                file_.title = std::string(Bounded(Trim(line.substr(kTitlePrefix.size())), HelpFile::kMaxTitleLength));
            }
            return;
        }
        if (Trim(line).empty()) {
            open_ = nullptr;
            return;
        }
        if (line.substr(0, kIndexPrefix.size()) == kIndexPrefix) return Keywords(line.substr(kIndexPrefix.size()));
        if (line.front() == '\t' || line.substr(0, 4) == "    ") {
            return Add(HelpParagraph::Kind::Preformatted, line.substr(line.front() == '\t' ? 1 : 4), "\n");
        }
        if (line.substr(0, 2) == "- ") {
            open_ = nullptr;
            return Add(HelpParagraph::Kind::Bullet, Trim(line.substr(2)), " ");
        }
        if (line.front() == '\\') line.remove_prefix(1);
        // A plain line continues an open list item as well as running text.
        const HelpParagraph::Kind kind =
            open_ && open_->kind == HelpParagraph::Kind::Bullet ? HelpParagraph::Kind::Bullet : HelpParagraph::Kind::Text;
        Add(kind, Trim(line), " ");
    }

    void Finish() {
        std::stable_sort(file_.index.begin(), file_.index.end(), [](const HelpIndexEntry& a, const HelpIndexEntry& b) {
            if (LessIgnoringCase(a.keyword, b.keyword)) return true;
            if (LessIgnoringCase(b.keyword, a.keyword)) return false;
            return a.topic < b.topic;
        });
    }

private:
    void Heading(std::string_view line) {
        open_ = nullptr;
        inTopic_ = false;
        const std::size_t marks = std::min(line.find_first_not_of('='), line.size());
        const std::string_view title = Trim(line.substr(marks));
        if (title.empty() || file_.topics.size() >= HelpFile::kMaxTopics) return;
        HelpTopic topic;
        topic.title = std::string(Bounded(title, HelpFile::kMaxTitleLength));
        topic.level = static_cast<int>(std::min<std::size_t>(marks, HelpFile::kMaxLevel));
        file_.topics.push_back(std::move(topic));
        inTopic_ = true;
    }

    void Keywords(std::string_view list) {
        const std::size_t topic = file_.topics.size() - 1;
        while (!list.empty()) {
            const std::size_t comma = list.find(',');
            const std::string_view keyword = Bounded(Trim(list.substr(0, comma)), HelpFile::kMaxKeywordLength);
            list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
            if (keyword.empty() || file_.index.size() >= HelpFile::kMaxIndexEntries) continue;
            const bool known = std::any_of(file_.index.begin(), file_.index.end(), [&](const HelpIndexEntry& entry) {
                return entry.topic == topic && EqualIgnoringCase(entry.keyword, keyword);
            });
            if (!known) file_.index.push_back(HelpIndexEntry{std::string(keyword), topic});
        }
    }

    // Appends `text` to the open paragraph when it is of `kind`, else opens a new one.
    void Add(HelpParagraph::Kind kind, std::string_view text, std::string_view joint) {
        HelpTopic& topic = file_.topics.back();
        if (open_ && open_->kind == kind) {
            if (open_->text.size() + joint.size() + text.size() > HelpFile::kMaxParagraphLength) return;
            open_->text.append(joint).append(text);
            return;
        }
        if (topic.paragraphs.size() >= HelpFile::kMaxParagraphsPerTopic) {
            open_ = nullptr;
            return;
        }
        topic.paragraphs.push_back(HelpParagraph{kind, std::string(text)});
        open_ = &topic.paragraphs.back();
    }

    HelpFile& file_;
    bool inTopic_ = false;
    HelpParagraph* open_ = nullptr;  // the paragraph that the next line may continue
};

}  // namespace

std::optional<HelpFile> HelpFile::Parse(std::string_view text) {
    if (text.size() > kMaxFileSize || text.find('\0') != std::string_view::npos) return std::nullopt;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    HelpFile file;
    Parser parser(file);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        parser.Line(line);
    }
    parser.Finish();
    if (file.topics.empty()) return std::nullopt;
    return file;
}

std::optional<HelpFile> HelpFile::Load(const std::string& path) {
    // C streams, not file streams: those would bring the whole locale machinery into the program.
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return std::nullopt;
    std::string text;
    // One byte more than the limit tells a file that is too large from one that just fits.
    text.resize(kMaxFileSize + 1);
    const std::size_t read = std::fread(text.data(), 1, text.size(), in);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) return std::nullopt;
    text.resize(read);
    return Parse(text);
}

const HelpTopic* HelpFile::FindTopic(std::string_view wanted) const {
    const auto found = std::find_if(topics.begin(), topics.end(), [&](const HelpTopic& topic) { return topic.title == wanted; });
    return found == topics.end() ? nullptr : &*found;
}

}  // namespace orvane
