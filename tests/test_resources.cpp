// Tests of the program's resources as compiled from res/orvane.rc, and of the .res reader that
// serves them on Linux.
#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "ProgramTexts.h"
#include "app/Failure.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "platform/linux/PlatformServices.h"
#include "platform/linux/ResourceData.h"
#include "res/ProgramResourceBytes.h"
#include "res/resource.h"

namespace orvane {
namespace {

using res::DialogTemplate;
using res::IconImage;
using res::ResourceData;

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Building .res images by hand.

class Bytes {
public:
    Bytes& Byte(BYTE value) {
        data.push_back(value);
        return *this;
    }
    Bytes& Word(WORD value) { return Byte(static_cast<BYTE>(value & 0xFF)).Byte(static_cast<BYTE>(value >> 8)); }
    Bytes& Short(std::int16_t value) { return Word(static_cast<WORD>(value)); }
    Bytes& Dword(DWORD value) { return Word(static_cast<WORD>(value & 0xFFFF)).Word(static_cast<WORD>(value >> 16)); }
    Bytes& Text(const std::string& text) {
        for (char c : text) Word(static_cast<unsigned char>(c));
        return Word(0);
    }
    Bytes& Ordinal(WORD value) { return Word(0xFFFF).Word(value); }
    Bytes& Align() {
        while (data.size() % 4 != 0) data.push_back(0);
        return *this;
    }
    Bytes& Append(const std::vector<BYTE>& more) {
        data.insert(data.end(), more.begin(), more.end());
        return *this;
    }
    std::vector<BYTE> data;
};

// A type or a name: a number, or text.
using ResId = std::variant<WORD, std::string>;

struct ResEntry {
    ResId type;
    ResId name;
    std::vector<BYTE> data;
};

void PutId(Bytes& out, const ResId& id) {
    if (const WORD* number = std::get_if<WORD>(&id)) {
        out.Ordinal(*number);
    } else {
        out.Text(std::get<std::string>(id));
    }
}

std::vector<BYTE> ResHeader(const ResId& type, const ResId& name, DWORD dataSize) {
    Bytes rest;
    PutId(rest, type);
    PutId(rest, name);
    while ((rest.data.size() + 8) % 4 != 0) rest.Byte(0);
    rest.Dword(0).Word(0x1030).Word(0x0409).Dword(0).Dword(0);
    Bytes header;
    header.Dword(dataSize).Dword(static_cast<DWORD>(rest.data.size() + 8)).Append(rest.data);
    return header.data;
}

// A well-formed image: the empty first entry, then the entries, each padded to a DWORD.
std::vector<BYTE> ResImage(const std::vector<ResEntry>& entries) {
    Bytes out;
    out.Append(ResHeader(WORD{0}, WORD{0}, 0));
    for (const ResEntry& entry : entries) {
        out.Append(ResHeader(entry.type, entry.name, static_cast<DWORD>(entry.data.size())));
        out.Append(entry.data).Align();
    }
    return out.data;
}

// `bytes` with the little-endian `value` written over `width` bytes at `at`.
std::vector<BYTE> Patched(std::vector<BYTE> bytes, std::size_t at, DWORD value, std::size_t width = 4) {
    for (std::size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<BYTE>(value >> (8 * i));
    return bytes;
}

std::optional<ResourceData> Parse(const std::vector<BYTE>& image) { return ResourceData::Parse(image.data(), image.size()); }

constexpr WORD kRtIcon = 3;
constexpr WORD kRtDialog = 5;
constexpr WORD kRtString = 6;
constexpr WORD kRtGroupIcon = 14;
constexpr WORD kRtVersion = 16;

// A string block holding `texts` from place 0 on; the other places are empty.
std::vector<BYTE> StringBlock(const std::vector<std::string>& texts) {
    Bytes block;
    for (std::size_t place = 0; place < 16; ++place) {
        const std::string text = place < texts.size() ? texts[place] : std::string();
        block.Word(static_cast<WORD>(text.size()));
        for (char c : text) block.Word(static_cast<unsigned char>(c));
    }
    return block.data;
}

// ---------------------------------------------------------------------------------------------
// The string table.

using StringCase = test::ProgramText;

// The program's own strings, then the failure texts.
const std::vector<StringCase> kStrings = [] {
    std::vector<StringCase> strings = {
        {IDS_CLOCK_SET, "Set computer's clock to %s."},
        {IDS_COULD_NOT_SET,
         "Could not set clock.  Make sure you are logged onto the Internet.  If so, press the Configure button."},
        {IDS_REGISTRY_KEY, "Quintarro"},
        {IDS_SERVER_FIRST + 0, "http://time-a-b.nist.gov:13"},
        {IDS_SERVER_FIRST + 1, "http://time-b-b.nist.gov:13"},
        {IDS_SERVER_FIRST + 2, "http://time-a-g.nist.gov:13"},
        {IDS_SERVER_FIRST + 3, "http://time-b-g.nist.gov:13"},
        {IDS_SERVER_FIRST + 4, "http://time.nist.gov:13"},
        {IDS_SERVER_FIRST + 5, "http://time-a-wwv.nist.gov:13"},
        {IDS_SERVER_FIRST + 6, "http://utcnist.colorado.edu:13"},
        {61703, "Failed to launch help."},
    };
    strings.insert(strings.end(), std::begin(test::kFailureTexts), std::end(test::kFailureTexts));
    return strings;
}();

TEST(ProgramStrings, EveryTextIsThereByteForByte) {
    for (const StringCase& c : kStrings) {
        const std::optional<std::string> text = ResourceData::Program().String(c.id);
        ASSERT_TRUE(text.has_value()) << "string " << c.id << " (" << Hex(c.id) << ") is missing";
        EXPECT_EQ(*text, c.text) << "string " << c.id << " (" << Hex(c.id) << ")";
    }
}

TEST(ProgramStrings, TheNativeServiceGivesTheSameTexts) {
    for (const StringCase& c : kStrings) {
        EXPECT_EQ(CLinkedResources().LoadString(c.id), std::optional<std::string>(c.text))
            << "string " << c.id << " (" << Hex(c.id) << ")";
    }
}

TEST(ProgramStrings, TheFailureReportFindsItsTexts) {
    const std::pair<UINT, const char*> texts[] = {
        {AFX_IDP_NO_ERROR_AVAILABLE, "No error message is available."},
        {AFX_IDS_MEMORY_EXCEPTION, "Out of memory."},
        {AFX_IDP_INTERNAL_FAILURE, "Internal application error."},
        {AFX_IDP_COMMAND_FAILURE, "Command failed."},
    };
    for (const auto& [id, text] : texts) {
        EXPECT_EQ(CLinkedResources().LoadString(id), std::optional<std::string>(text)) << "string " << Hex(id);
    }
}

TEST(ProgramStrings, IdsWithoutAStringAreMissing) {
    const UINT missing[] = {
        57344,    // the application title: without it the application name is the executable's title
        0,        // place 0 of the first block
        101,      // empty places in the blocks that exist
        103,
        108,
        IDS_SERVER_FIRST + SERVER_COUNT,
        IDS_SERVER_FIRST - 1,
        0xF021,
        0xF106,
        0xF1AF,
        0xFFFF,
        0x10000 + IDS_CLOCK_SET,   // ids are 16 bits: neither of these may wrap around to string 102
        0x100000 + IDS_CLOCK_SET,
        0xFFFFFFFF,
    };
    CLinkedResources resources;
    for (UINT id : missing) {
        EXPECT_EQ(ResourceData::Program().String(id), std::nullopt) << "string " << id << " (" << Hex(id) << ")";
        EXPECT_EQ(resources.LoadString(id), std::nullopt) << "string " << id << " (" << Hex(id) << ")";
    }
    const ScopedSeam<IResources> seam(resources);
    EXPECT_EQ(LoadResourceString(57344), "");
}

// ---------------------------------------------------------------------------------------------
// The dialog templates.

struct ItemCase {
    int id;
    WORD classAtom;
    DWORD style;
    std::int16_t x, y, cx, cy;
    const char* text;
    std::optional<WORD> textOrdinal;
};

struct DialogCase {
    UINT id;
    bool extended;
    DWORD style;
    DWORD exStyle;
    std::int16_t x, y, cx, cy;
    const char* caption;
    WORD pointSize;
    WORD weight;
    BYTE charset;
    const char* fontName;
    std::vector<ItemCase> items;
};

constexpr DWORD kText = 0x50020000;         // WS_CHILD | WS_VISIBLE | WS_GROUP, SS_LEFT
constexpr DWORD kIcon = 0x50000003;         // WS_CHILD | WS_VISIBLE, SS_ICON
constexpr DWORD kDefaultButton = 0x50010001;  // WS_CHILD | WS_VISIBLE | WS_TABSTOP, BS_DEFPUSHBUTTON
constexpr DWORD kButton = 0x50010000;       // WS_CHILD | WS_VISIBLE | WS_TABSTOP, BS_PUSHBUTTON

const char kMainText[] =
    "This program sets your computer's clock using the National Institute of Standards and Technology's "
    "atomic clock located in Boulder, Colorado USA.\n\nYou must be logged onto the Internet to use this "
    "program.";
const char kAdviceText[] =
    "If this program is not working correctly, select a different URL from the list of existing URLs.  "
    "If none of those work, point your web browser to https://tf.nist.gov/tf-cgi/servers.cgi and find a "
    "new URL.  Then type in the new URL below.";

const std::vector<DialogCase>& Dialogs() {
    static const std::vector<DialogCase> dialogs = {
        {IDD_MAIN, true, 0x90CA00C0, 0x00040000, 0, 0, 281, 114, "Orvane", 8, 400, 1, "MS Sans Serif",
         {
             {-1, res::kStaticClass, kText, 5, 6, 271, 49, kMainText, std::nullopt},
             {-1, res::kStaticClass, kText, 5, 64, 23, 8, "Status:", std::nullopt},
             {IDC_STATUS, res::kStaticClass, kText, 33, 64, 243, 21, "", std::nullopt},
             {IDC_SET_CLOCK, res::kButtonClass, kDefaultButton, 5, 97, 50, 14, "&Set Clock", std::nullopt},
             {IDC_CONFIGURE, res::kButtonClass, kButton, 60, 97, 50, 14, "&Configure...", std::nullopt},
             {IDC_HELP_BUTTON, res::kButtonClass, kButton, 115, 97, 50, 14, "&Help", std::nullopt},
             {IDC_ABOUT, res::kButtonClass, kButton, 170, 97, 50, 14, "&About...", std::nullopt},
             {IDOK, res::kButtonClass, kButton, 225, 97, 50, 14, "E&xit", std::nullopt},
         }},
        {IDD_ABOUTBOX, false, 0x80C800C0, 0, 0, 0, 233, 166, "Orvane", 8, 0, 0, "MS Sans Serif",
         {
             {-1, res::kStaticClass, kText, 4, 4, 178, 43, "Orvane v. 1.04 for Windows 95 and NT", std::nullopt},
             {-1, res::kStaticClass, kIcon, 191, 4, 20, 20, "", WORD{IDR_MAINFRAME}},
             {IDOK, res::kButtonClass, kDefaultButton, 42, 147, 50, 14, "&Close", std::nullopt},
         }},
        {IDD_CONFIGURE, false, 0x80C800C0, 0, 0, 0, 240, 117, "Configure", 8, 0, 0, "MS Sans Serif",
         {
             {-1, res::kStaticClass, kText, 4, 4, 230, 39, kAdviceText, std::nullopt},
             // BS_AUTORADIOBUTTON; the first starts the group, neither is a tab stop.
             {IDC_EXISTING_URL, res::kButtonClass, 0x50020009, 7, 51, 59, 10, "&Existing URL:", std::nullopt},
             {IDC_NEW_URL_RADIO, res::kButtonClass, 0x50000009, 7, 68, 49, 10, "&New URL:", std::nullopt},
             // CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, not sorted.
             {IDC_URL_LIST, res::kComboBoxClass, 0x50210003, 66, 49, 170, 82, "", std::nullopt},
             // ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP.
             {IDC_NEW_URL, res::kEditClass, 0x50810080, 66, 66, 170, 14, "", std::nullopt},
             {IDOK, res::kButtonClass, kDefaultButton, 64, 97, 50, 14, "&OK", std::nullopt},
             {IDCANCEL, res::kButtonClass, kButton, 125, 97, 50, 14, "&Cancel", std::nullopt},
         }},
    };
    return dialogs;
}

TEST(ProgramDialogs, TemplatesMatchTheirLayout) {
    for (const DialogCase& want : Dialogs()) {
        SCOPED_TRACE("dialog " + std::to_string(want.id));
        const std::optional<DialogTemplate> got = ResourceData::Program().Dialog(want.id);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->extended, want.extended);
        EXPECT_EQ(Hex(got->style), Hex(want.style));
        EXPECT_EQ(Hex(got->exStyle), Hex(want.exStyle));
        EXPECT_EQ(got->x, want.x);
        EXPECT_EQ(got->y, want.y);
        EXPECT_EQ(got->cx, want.cx);
        EXPECT_EQ(got->cy, want.cy);
        EXPECT_EQ(got->caption, want.caption);
        EXPECT_EQ(got->pointSize, want.pointSize);
        EXPECT_EQ(got->weight, want.weight);
        EXPECT_FALSE(got->italic);
        EXPECT_EQ(got->charset, want.charset);
        EXPECT_EQ(got->fontName, want.fontName);
        ASSERT_EQ(got->items.size(), want.items.size());
        for (std::size_t i = 0; i < want.items.size(); ++i) {
            const ItemCase& w = want.items[i];
            const res::DialogItem& g = got->items[i];
            SCOPED_TRACE("item " + std::to_string(i) + " (id " + std::to_string(w.id) + ")");
            EXPECT_EQ(g.id, w.id);
            EXPECT_EQ(Hex(g.classAtom), Hex(w.classAtom)) << "class name \"" << g.className << "\"";
            EXPECT_EQ(Hex(g.style), Hex(w.style));
            EXPECT_EQ(Hex(g.exStyle), Hex(0));
            EXPECT_EQ(g.x, w.x);
            EXPECT_EQ(g.y, w.y);
            EXPECT_EQ(g.cx, w.cx);
            EXPECT_EQ(g.cy, w.cy);
            EXPECT_EQ(g.text, w.text);
            EXPECT_EQ(g.textOrdinal, w.textOrdinal);
        }
    }
}

TEST(ProgramDialogs, OnlyTheThreeTemplatesExist) {
    for (UINT id : {0u, 100u, 101u, 103u, 128u, 131u, 0x10000u + IDD_MAIN}) {
        EXPECT_EQ(ResourceData::Program().Dialog(id), std::nullopt) << "dialog " << id;
    }
}

// ---------------------------------------------------------------------------------------------
// The icon and the version record.

const std::set<std::uint32_t> kVgaColours = {
    0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080, 0xFF008080, 0xFFC0C0C0,
    0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF,
};

TEST(ProgramIcon, HasA32And16PixelImageIn16ColoursAnd48InFullColour) {
    // The 256-pixel image is PNG-compressed, which the reader leaves to Windows.
    const std::vector<IconImage> images = ResourceData::Program().IconGroup(IDR_MAINFRAME);
    ASSERT_EQ(images.size(), 3u);
    const int sides[] = {32, 16, 48};
    const int bits[] = {4, 4, 32};
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        SCOPED_TRACE("image " + std::to_string(i));
        EXPECT_EQ(image.width, sides[i]);
        EXPECT_EQ(image.height, sides[i]);
        EXPECT_EQ(image.bitsPerPixel, bits[i]);
        ASSERT_EQ(image.pixels.size(), static_cast<std::size_t>(image.width * image.height));
    }
}

// res/orvane.ico as Windows Explorer reads it: the 16-colour images exactly as they were first
// drawn, then 48 pixels as a DIB and 256 pixels as PNG (written as side 0 in the directory).
TEST(ProgramIcon, TheIcoFileKeepsThe16ColourImagesAndAddsA256PixelPng) {
    std::ifstream file(ORVANE_ICO_FILE, std::ios::binary);
    const std::vector<BYTE> ico{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    ASSERT_GE(ico.size(), 6u + 4 * 16) << ORVANE_ICO_FILE;
    const auto word = [&](std::size_t at) { return static_cast<DWORD>(ico[at] | ico[at + 1] << 8); };
    const auto dword = [&](std::size_t at) { return word(at) | word(at + 2) << 16; };
    ASSERT_EQ(word(4), 4u) << "images";
    const struct {
        BYTE side;
        DWORD bitCount;
        std::uint64_t fnv1a;  // of the image's bytes; 0 where they may change with the artwork
    } expected[] = {{32, 4, 0xec8f9b96c2f9a946}, {16, 4, 0x36bcc9224f2ed85c}, {48, 32, 0}, {0, 32, 0}};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE("image " + std::to_string(i));
        const std::size_t entry = 6 + 16 * i, size = dword(entry + 8), offset = dword(entry + 12);
        EXPECT_EQ(ico[entry], expected[i].side);
        EXPECT_EQ(ico[entry + 1], expected[i].side);
        EXPECT_EQ(word(entry + 6), expected[i].bitCount);
        ASSERT_LE(offset + size, ico.size());
        std::uint64_t hash = 0xcbf29ce484222325;
        for (std::size_t at = offset; at < offset + size; ++at) hash = (hash ^ ico[at]) * 0x100000001b3;
        if (expected[i].fnv1a != 0) {
            EXPECT_EQ(hash, expected[i].fnv1a) << "a 16-colour image changed";
        }
        if (expected[i].side == 0) {
            const std::vector<BYTE> png(ico.begin() + static_cast<std::ptrdiff_t>(offset), ico.end());
            const std::vector<BYTE> start = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                             0,    0,   1,   0,   0,    0,    1,    0};  // 256 by 256
            ASSERT_GE(png.size(), start.size());
            EXPECT_TRUE(std::equal(start.begin(), start.end(), png.begin())) << "no 256-pixel PNG";
        }
    }
}

TEST(ProgramIcon, IsARoundFaceOnATransparentGround) {
    for (const IconImage& image : ResourceData::Program().IconGroup(IDR_MAINFRAME)) {
        SCOPED_TRACE("image " + std::to_string(image.width));
        const auto at = [&](int x, int y) { return image.pixels[static_cast<std::size_t>(y * image.width + x)]; };
        const int last = image.width - 1;
        for (auto [x, y] : {std::pair{0, 0}, std::pair{last, 0}, std::pair{0, last}, std::pair{last, last}}) {
            EXPECT_EQ(Hex(at(x, y)), Hex(0)) << "corner " << x << "," << y;
        }
        EXPECT_EQ(at(image.width / 2, image.height / 2) >> 24, 0xFFu) << "the centre is not opaque";
        std::set<std::uint32_t> colours;
        for (std::uint32_t pixel : image.pixels) {
            if (pixel == 0) continue;
            if (image.bitsPerPixel == 4) {
                EXPECT_TRUE(kVgaColours.count(pixel)) << "colour " << Hex(pixel) << " is not in the VGA palette";
            }
            colours.insert(pixel);
        }
        EXPECT_GE(colours.size(), 3u) << "a face, its rim and the hands need three colours at least";
    }
}

TEST(ProgramIcon, OtherIdsHaveNoIcon) {
    EXPECT_TRUE(ResourceData::Program().IconGroup(IDR_MAINFRAME + 1).empty());
    EXPECT_TRUE(ResourceData::Program().IconGroup(1).empty());  // an RT_ICON image, not a group
}

TEST(ProgramVersion, RecordsVersion1040OfAWindowsApplication) {
    const std::optional<res::VersionInfo> version = ResourceData::Program().Version();
    ASSERT_TRUE(version.has_value());
    const std::vector<WORD> expected = {1, 0, 4, 0};
    EXPECT_EQ(std::vector<WORD>(std::begin(version->fileVersion), std::end(version->fileVersion)), expected);
    EXPECT_EQ(std::vector<WORD>(std::begin(version->productVersion), std::end(version->productVersion)), expected);
    EXPECT_EQ(Hex(version->fileOS), Hex(0x4));    // VOS__WINDOWS32
    EXPECT_EQ(Hex(version->fileType), Hex(0x1));  // VFT_APP
    const std::map<std::string, std::string> strings = {
        {"CompanyName", "Quintarro"},   {"FileDescription", "Orvane"},
        {"FileVersion", "1, 0, 4, 0"},  {"InternalName", "Orvane"},
        {"OriginalFilename", "orvane.exe"}, {"ProductName", "Orvane"},
        {"ProductVersion", "1, 0, 4, 0"},
    };
    EXPECT_EQ(version->strings, strings);
}

// ---------------------------------------------------------------------------------------------
// The reader on images made by hand.

TEST(ResImages, NamedEntriesAreSkippedAndNumericOnesFound) {
    const std::vector<BYTE> image = ResImage({
        {std::string("CUSTOM"), std::string("ODD"), {1, 2, 3}},  // odd sizes on both sides of the header
        {kRtString, std::string("NAMED"), StringBlock({"lost"})},
        {WORD{kRtString}, WORD{1}, StringBlock({"zero", "one"})},
        {std::string("X"), WORD{1}, StringBlock({"shadow"})},
        {WORD{kRtString}, WORD{3}, StringBlock({"", "thirty-three"})},
    });
    const std::optional<ResourceData> data = Parse(image);
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->String(0), std::optional<std::string>("zero"));
    EXPECT_EQ(data->String(1), std::optional<std::string>("one"));
    EXPECT_EQ(data->String(33), std::optional<std::string>("thirty-three"));
    EXPECT_EQ(data->String(32), std::nullopt);
    EXPECT_EQ(data->String(2), std::nullopt);
}

TEST(ResImages, TextsAreNarrowedAndLoseTheNulOfRcN) {
    Bytes block;
    block.Word(3).Word(u'a').Word(0xE9).Word(0);  // "a", e-acute, and the NUL that rc /n stores
    block.Word(2).Word(0x20AC).Word(u'x');        // beyond Latin-1
    for (int place = 2; place < 16; ++place) block.Word(0);
    const std::optional<ResourceData> data = Parse(ResImage({{WORD{kRtString}, WORD{1}, block.data}}));
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->String(0), std::optional<std::string>("a\xE9"));
    EXPECT_EQ(data->String(1), std::optional<std::string>("?x"));
}

struct MalformedImage {
    const char* what;
    std::vector<BYTE> bytes;
};

std::vector<MalformedImage> MalformedImages() {
    const std::vector<BYTE> good = ResImage({{WORD{kRtString}, WORD{1}, StringBlock({"a"})}});
    const std::size_t second = 32;  // where the entry after the empty first one starts
    const auto cut = [&](std::size_t size) { return std::vector<BYTE>(good.begin(), good.begin() + static_cast<long>(size)); };
    std::vector<BYTE> unterminated = ResHeader(WORD{0}, WORD{0}, 0);
    Bytes name;
    name.Dword(0).Dword(40).Ordinal(kRtString);
    while (name.data.size() < 40) name.Word(u'N');  // the name runs to the end of its header
    unterminated.insert(unterminated.end(), name.data.begin(), name.data.end());
    std::vector<BYTE> noFirst(good.begin() + second, good.end());
    std::vector<BYTE> trailing = good;
    trailing.insert(trailing.end(), {0x01, 0x02, 0x03, 0x04, 0x05});

    return {
        {"empty", {}},
        {"shorter than a header", cut(7)},
        {"first entry cut short", cut(31)},
        {"no empty first entry", noFirst},
        {"first entry with data", Patched(good, 0, 4)},
        {"header size below the smallest header", Patched(good, second + 4, 16)},
        {"header size past the end", Patched(good, second + 4, static_cast<DWORD>(good.size()))},
        {"header size at the limit of a DWORD", Patched(good, second + 4, 0xFFFFFFFF)},
        {"data size past the end", Patched(good, second, static_cast<DWORD>(good.size()))},
        {"data size at the limit of a DWORD", Patched(good, second, 0xFFFFFFFF)},
        {"entry header cut short", cut(second + 20)},
        {"entry data cut short", cut(good.size() - 4)},
        {"name without its NUL", unterminated},
        {"bytes after the last entry", trailing},
    };
}

TEST(ResImages, MalformedImagesAreRejected) {
    for (const MalformedImage& image : MalformedImages()) {
        EXPECT_EQ(Parse(image.bytes).has_value(), false) << image.what;
    }
    EXPECT_EQ(ResourceData::Parse(nullptr, 0).has_value(), false);
}

// Reads everything that the program reads; a damaged image may give anything but a crash.
void ReadAll(const ResourceData& data) {
    for (const StringCase& c : kStrings) (void)data.String(c.id);
    for (const DialogCase& d : Dialogs()) (void)data.Dialog(d.id);
    (void)data.IconGroup(IDR_MAINFRAME);
    (void)data.Version();
}

TEST(ResImages, EveryCutOfTheProgramImageIsReadSafely) {
    std::size_t size = 0;
    const BYTE* bytes = res::ProgramResourceBytes(&size);
    const std::vector<BYTE> image(bytes, bytes + size);
    std::size_t accepted = 0;
    for (std::size_t length = 0; length <= size; ++length) {
        // A fresh copy of exactly `length` bytes, so that a read past its end is a read past a heap block.
        const std::vector<BYTE> prefix(image.begin(), image.begin() + static_cast<long>(length));
        const std::optional<ResourceData> data = Parse(prefix);
        if (!data) continue;
        ++accepted;
        ReadAll(*data);
        // A cut between entries keeps the earlier entries whole.
        for (const StringCase& c : kStrings) {
            const std::optional<std::string> text = data->String(c.id);
            if (text) {
                EXPECT_EQ(*text, c.text) << "string " << c.id << " of an image cut at " << length;
            }
        }
    }
    EXPECT_GE(accepted, 2u) << "the whole image and the bare first entry at least";
}

TEST(ResImages, EveryDamagedByteOfTheProgramImageIsReadSafely) {
    std::size_t size = 0;
    const BYTE* bytes = res::ProgramResourceBytes(&size);
    for (BYTE damage : {BYTE{0x00}, BYTE{0xFF}}) {
        for (std::size_t at = 0; at < size; ++at) {
            std::vector<BYTE> image(bytes, bytes + size);
            image[at] = damage;
            if (const std::optional<ResourceData> data = Parse(image)) ReadAll(*data);
        }
    }
}

struct MalformedString {
    const char* what;
    std::vector<BYTE> block;
    UINT id;
};

TEST(ResImages, MalformedStringBlocksGiveNoString) {
    const std::vector<MalformedString> cases = {
        {"empty block", {}, 0},
        {"lengths end before the place", Bytes().Word(1).Word(u'a').Word(0).data, 5},
        {"text longer than the block", Bytes().Word(100).Word(u'a').Word(u'b').data, 0},
        {"odd byte at the end", Bytes().Word(1).Byte('a').data, 0},
        {"length cut in half", Bytes().Word(0).Byte(1).data, 1},
    };
    for (const MalformedString& c : cases) {
        const std::optional<ResourceData> data = Parse(ResImage({{WORD{kRtString}, WORD{1}, c.block}}));
        ASSERT_TRUE(data.has_value()) << c.what;
        EXPECT_EQ(data->String(c.id), std::nullopt) << c.what;
    }
}

// ---------------------------------------------------------------------------------------------
// Dialog templates made by hand: the forms that windres does not produce, and damaged ones.

// A standard template with DS_SETFONT and the given items (already encoded, unaligned).
std::vector<BYTE> StandardDialog(WORD count, const std::vector<std::vector<BYTE>>& items, const std::string& font = "Tahoma") {
    Bytes t;
    t.Dword(0x80C800C0).Dword(0).Word(count).Short(1).Short(2).Short(30).Short(40);
    t.Word(0).Word(0).Text("Title").Word(9).Text(font);
    for (const auto& item : items) t.Align().Append(item);
    return t.data;
}

TEST(ResImages, ReadsStandardTemplatesWithNamedClassesAndCreationData) {
    const std::vector<BYTE> named = Bytes()
        .Dword(0x50010000).Dword(0x200).Short(1).Short(2).Short(3).Short(4).Word(7)
        .Text("button").Text("Go").Word(4).Dword(0xDEADBEEF).data;
    const std::vector<BYTE> custom = Bytes()
        .Dword(0x50000000).Dword(0).Short(5).Short(6).Short(7).Short(8).Word(0xFFFF)
        .Text("msctls_trackbar32").Ordinal(12).Word(0).data;
    const std::optional<ResourceData> data =
        Parse(ResImage({{WORD{kRtDialog}, WORD{7}, StandardDialog(2, {named, custom})}}));
    ASSERT_TRUE(data.has_value());
    const std::optional<DialogTemplate> dialog = data->Dialog(7);
    ASSERT_TRUE(dialog.has_value());
    EXPECT_FALSE(dialog->extended);
    EXPECT_EQ(dialog->caption, "Title");
    EXPECT_EQ(dialog->pointSize, 9);
    EXPECT_EQ(dialog->fontName, "Tahoma");
    ASSERT_EQ(dialog->items.size(), 2u);
    EXPECT_EQ(dialog->items[0].id, 7);
    EXPECT_EQ(Hex(dialog->items[0].classAtom), Hex(res::kButtonClass)) << "\"button\" is the button class";
    EXPECT_EQ(dialog->items[0].className, "");
    EXPECT_EQ(Hex(dialog->items[0].exStyle), Hex(0x200));
    EXPECT_EQ(dialog->items[0].text, "Go");
    EXPECT_EQ(dialog->items[1].id, -1);
    EXPECT_EQ(dialog->items[1].classAtom, 0);
    EXPECT_EQ(dialog->items[1].className, "msctls_trackbar32");
    EXPECT_EQ(dialog->items[1].textOrdinal, std::optional<WORD>(12));
    EXPECT_EQ(dialog->items[1].cy, 8);
}

TEST(ResImages, ReadsExtendedTemplatesWithoutAFont) {
    Bytes t;
    t.Word(1).Word(0xFFFF).Dword(0).Dword(0x00040000).Dword(0x90C80000).Word(1);
    t.Short(-3).Short(4).Short(50).Short(60).Ordinal(9).Text("CLASS").Text("Caption");
    t.Align().Dword(0).Dword(0).Dword(0x50010000).Short(1).Short(2).Short(3).Short(4).Dword(0xFFFFFFFF);
    t.Ordinal(res::kEditClass).Word(0).Word(0);
    const std::optional<ResourceData> data = Parse(ResImage({{WORD{kRtDialog}, WORD{8}, t.data}}));
    ASSERT_TRUE(data.has_value());
    const std::optional<DialogTemplate> dialog = data->Dialog(8);
    ASSERT_TRUE(dialog.has_value());
    EXPECT_TRUE(dialog->extended);
    EXPECT_EQ(dialog->x, -3);
    EXPECT_EQ(dialog->caption, "Caption");
    EXPECT_EQ(dialog->fontName, "");
    ASSERT_EQ(dialog->items.size(), 1u);
    EXPECT_EQ(dialog->items[0].id, -1);
    EXPECT_EQ(dialog->items[0].classAtom, res::kEditClass);
}

TEST(ResImages, MalformedTemplatesGiveNoDialog) {
    const std::vector<BYTE> item = Bytes()
        .Dword(0x50010000).Dword(0).Short(1).Short(2).Short(3).Short(4).Word(7)
        .Ordinal(res::kButtonClass).Text("Go").Word(0).data;
    std::vector<BYTE> creationPastEnd = item;
    creationPastEnd[creationPastEnd.size() - 2] = 40;
    const std::vector<BYTE> whole = StandardDialog(1, {item});
    const std::vector<std::pair<const char*, std::vector<BYTE>>> cases = {
        {"empty", {}},
        {"header cut short", std::vector<BYTE>(whole.begin(), whole.begin() + 10)},
        {"more items than there are", StandardDialog(3, {item})},
        {"item cut short", std::vector<BYTE>(whole.begin(), whole.end() - 3)},
        {"creation data past the end", StandardDialog(1, {creationPastEnd})},
        {"font name without its NUL", std::vector<BYTE>(whole.begin(), whole.begin() + 40)},
        {"extended header cut short", Bytes().Word(1).Word(0xFFFF).Dword(0).Word(5).data},
    };
    for (const auto& [what, bytes] : cases) {
        const std::optional<ResourceData> data = Parse(ResImage({{WORD{kRtDialog}, WORD{5}, bytes}}));
        ASSERT_TRUE(data.has_value()) << what;
        EXPECT_EQ(data->Dialog(5), std::nullopt) << what;
    }
    const std::optional<ResourceData> fine = Parse(ResImage({{WORD{kRtDialog}, WORD{5}, whole}}));
    ASSERT_TRUE(fine.has_value());
    EXPECT_TRUE(fine->Dialog(5).has_value()) << "the template that the damaged ones come from";
}

// ---------------------------------------------------------------------------------------------
// Icons made by hand, in every depth that the reader decodes.

struct Dib {
    int width;
    int height;
    WORD bitCount;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::vector<std::vector<BYTE>> colourRows;  // top to bottom, unpadded
    std::vector<std::vector<BYTE>> maskRows;    // top to bottom, unpadded; none for a 32-bit image without mask
};

std::vector<BYTE> EncodeDib(const Dib& dib, DWORD colorsUsed = 0) {
    Bytes out;
    out.Dword(40).Dword(static_cast<DWORD>(dib.width)).Dword(static_cast<DWORD>(dib.height * 2)).Word(1);
    out.Word(dib.bitCount).Dword(0).Dword(0).Dword(0).Dword(0).Dword(colorsUsed).Dword(0);
    for (std::uint32_t rgb : dib.palette) out.Dword(rgb);
    for (const auto* rows : {&dib.colourRows, &dib.maskRows}) {
        for (auto row = rows->rbegin(); row != rows->rend(); ++row) {
            out.Append(*row).Align();
        }
    }
    return out.data;
}

std::vector<BYTE> IconGroupOf(const std::vector<WORD>& iconIds) {
    Bytes group;
    group.Word(0).Word(1).Word(static_cast<WORD>(iconIds.size()));
    for (WORD id : iconIds) group.Byte(0).Byte(0).Byte(0).Byte(0).Word(1).Word(0).Dword(0).Word(id);
    return group.data;
}

std::vector<IconImage> ReadIcon(const std::vector<BYTE>& dib) {
    const std::optional<ResourceData> data = Parse(ResImage({
        {WORD{kRtIcon}, WORD{1}, dib},
        {WORD{kRtGroupIcon}, WORD{5}, IconGroupOf({1})},
    }));
    if (!data) return {};
    return data->IconGroup(5);
}

struct DibCase {
    const char* what;
    Dib dib;
    DWORD colorsUsed;
    std::vector<std::uint32_t> pixels;  // ARGB, top to bottom
};

TEST(ResImages, DecodesIconsOfEveryDepth) {
    const std::vector<DibCase> cases = {
        {"1 bit, mask on the bottom left",
         {2, 2, 1, {0x000000, 0xFFFFFF}, {{0x40}, {0x80}}, {{0x00}, {0x80}}}, 0,
         {0xFF000000, 0xFFFFFFFF, 0x00000000, 0xFF000000}},
        {"4 bits",
         {3, 1, 4, {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF},
          {{0x9C, 0xF0}}, {{0x00}}}, 0,
         {0xFFFF0000, 0xFF0000FF, 0xFFFFFFFF}},
        {"8 bits with a short colour table",
         {2, 1, 8, {0xFF0000, 0x00FF00, 0x0000FF}, {{2, 1}}, {{0x40}}}, 3,
         {0xFF0000FF, 0x00000000}},
        {"24 bits",
         {1, 1, 24, {}, {{0x11, 0x22, 0x33}}, {{0x00}}}, 0,
         {0xFF332211}},
        {"32 bits with alpha: the mask is ignored",
         {2, 1, 32, {}, {{1, 2, 3, 0x80, 4, 5, 6, 0x00}}, {{0xC0}}}, 0,
         {0x80030201, 0x00060504}},
        {"32 bits without alpha: the mask decides",
         {2, 1, 32, {}, {{1, 2, 3, 0, 4, 5, 6, 0}}, {{0x40}}}, 0,
         {0xFF030201, 0x00000000}},
        {"32 bits without a mask",
         {1, 1, 32, {}, {{1, 2, 3, 0xFF}}, {}}, 0,
         {0xFF030201}},
    };
    for (const DibCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<IconImage> images = ReadIcon(EncodeDib(c.dib, c.colorsUsed));
        ASSERT_EQ(images.size(), 1u);
        EXPECT_EQ(images[0].width, c.dib.width);
        EXPECT_EQ(images[0].height, c.dib.height);
        EXPECT_EQ(images[0].bitsPerPixel, c.dib.bitCount);
        ASSERT_EQ(images[0].pixels.size(), c.pixels.size());
        for (std::size_t i = 0; i < c.pixels.size(); ++i) {
            EXPECT_EQ(Hex(images[0].pixels[i]), Hex(c.pixels[i])) << "pixel " << i;
        }
    }
}

TEST(ResImages, MalformedIconsAreLeftOut) {
    const std::vector<BYTE> good = EncodeDib({2, 2, 1, {0x000000, 0xFFFFFF}, {{0x40}, {0x80}}, {{0x00}, {0x80}}});
    const std::vector<BYTE> good24 = EncodeDib({1, 1, 24, {}, {{1, 2, 3}}, {{0}}});
    std::vector<BYTE> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    png.resize(good.size(), 0);
    const std::vector<std::pair<const char*, std::vector<BYTE>>> cases = {
        {"empty", {}},
        {"header cut short", std::vector<BYTE>(good.begin(), good.begin() + 30)},
        {"mask cut short", std::vector<BYTE>(good.begin(), good.end() - 1)},
        {"colour rows cut short", std::vector<BYTE>(good.begin(), good.begin() + 40 + 8 + 2)},
        {"header size past the end", Patched(good, 0, 100000)},
        {"header size below BITMAPINFOHEADER", Patched(good, 0, 12)},
        {"width zero", Patched(good, 4, 0)},
        {"width negative", Patched(good, 4, 0xFFFFFFFE)},
        {"width beyond any icon", Patched(good, 4, 100000)},
        {"height zero", Patched(good, 8, 0)},
        {"height beyond any icon", Patched(good, 8, 0x7FFFFFFF)},
        {"2 bits per pixel", Patched(good, 14, 2, 2)},
        {"compressed", Patched(good, 16, 1)},
        {"colour table larger than the depth allows", Patched(good, 32, 3)},
        {"colour table of a true-colour image past the data", Patched(good24, 32, 0x40000000)},
        {"PNG", png},
    };
    for (const auto& [what, bytes] : cases) {
        EXPECT_TRUE(ReadIcon(bytes).empty()) << what;
    }
    EXPECT_EQ(ReadIcon(good).size(), 1u) << "the image that the damaged ones come from";
    EXPECT_EQ(ReadIcon(good24).size(), 1u) << "the image that the damaged ones come from";
}

TEST(ResImages, AnIconGroupKeepsTheImagesThatCanBeRead) {
    const std::vector<BYTE> dib = EncodeDib({1, 1, 24, {}, {{1, 2, 3}}, {{0}}});
    std::vector<BYTE> cutGroup = IconGroupOf({1, 1});
    cutGroup.pop_back();
    const std::optional<ResourceData> data = Parse(ResImage({
        {WORD{kRtIcon}, WORD{1}, dib},
        {WORD{kRtIcon}, WORD{2}, {1, 2, 3}},
        {WORD{kRtGroupIcon}, WORD{5}, IconGroupOf({9, 2, 1})},  // 9 does not exist, 2 is damaged
        {WORD{kRtGroupIcon}, WORD{6}, cutGroup},
        {WORD{kRtGroupIcon}, WORD{7}, Bytes().Word(0).Word(2).Word(1).data},  // a cursor group
    }));
    ASSERT_TRUE(data.has_value());
    EXPECT_EQ(data->IconGroup(5).size(), 1u);
    EXPECT_TRUE(data->IconGroup(6).empty()) << "a group whose list is cut short";
    EXPECT_TRUE(data->IconGroup(7).empty()) << "a cursor group";
}

// ---------------------------------------------------------------------------------------------
// Version records made by hand.

// A version node: wLength, wValueLength, wType, key, value, children.
std::vector<BYTE> VersionNode(const std::string& key, WORD type, const std::vector<BYTE>& value, WORD valueLength,
                              const std::vector<std::vector<BYTE>>& children) {
    Bytes body;
    body.Word(0).Word(valueLength).Word(type).Text(key).Align().Append(value).Align();
    for (const auto& child : children) body.Append(child).Align();
    body.data[0] = static_cast<BYTE>(body.data.size() & 0xFF);
    body.data[1] = static_cast<BYTE>(body.data.size() >> 8);
    return body.data;
}

std::vector<BYTE> TextValue(const std::string& key, const std::string& text) {
    return VersionNode(key, 1, Bytes().Text(text).data, static_cast<WORD>(text.size() + 1), {});
}

std::vector<BYTE> FixedInfo(DWORD signature) {
    return Bytes().Dword(signature).Dword(0x10000).Dword(0x00020003).Dword(0x00040005).Dword(0x00060007)
        .Dword(0x00080009).Dword(0x3F).Dword(0).Dword(0x40004).Dword(2).Dword(0).Dword(0).Dword(0).data;
}

std::vector<BYTE> VersionRecord(DWORD signature, const std::vector<std::vector<BYTE>>& strings) {
    return VersionNode("VS_VERSION_INFO", 0, FixedInfo(signature), 52,
                       {VersionNode("VarFileInfo", 1, {}, 0, {}),
                        VersionNode("StringFileInfo", 1, {}, 0,
                                    {VersionNode("040904E4", 1, {}, 0, strings),
                                     VersionNode("040704E4", 1, {}, 0, {TextValue("Other", "language")})})});
}

std::optional<res::VersionInfo> ReadVersion(const std::vector<BYTE>& record) {
    const std::optional<ResourceData> data = Parse(ResImage({{WORD{kRtVersion}, WORD{1}, record}}));
    if (!data) return std::nullopt;
    return data->Version();
}

TEST(ResImages, ReadsTheFirstLanguageOfAVersionRecord) {
    const std::optional<res::VersionInfo> info =
        ReadVersion(VersionRecord(0xFEEF04BD, {TextValue("A", "one"), TextValue("Bee", ""), TextValue("C", "three")}));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(std::vector<WORD>(std::begin(info->fileVersion), std::end(info->fileVersion)),
              (std::vector<WORD>{2, 3, 4, 5}));
    EXPECT_EQ(std::vector<WORD>(std::begin(info->productVersion), std::end(info->productVersion)),
              (std::vector<WORD>{6, 7, 8, 9}));
    EXPECT_EQ(Hex(info->fileOS), Hex(0x40004));
    EXPECT_EQ(info->fileType, 2u);
    const std::map<std::string, std::string> strings = {{"A", "one"}, {"Bee", ""}, {"C", "three"}};
    EXPECT_EQ(info->strings, strings);
}

TEST(ResImages, MalformedVersionRecordsAreRejectedOrCutShort) {
    const std::vector<BYTE> good = VersionRecord(0xFEEF04BD, {});
    const std::vector<std::pair<const char*, std::vector<BYTE>>> rejected = {
        {"empty", {}},
        {"length past the end", Patched(good, 0, static_cast<DWORD>(good.size() + 4), 2)},
        {"length below a node", Bytes().Word(4).Word(0).Word(0).data},
        {"wrong signature", VersionRecord(0xFEEF04BE, {})},
        {"wrong key", VersionNode("VS_VERSION_INFX", 0, FixedInfo(0xFEEF04BD), 52, {})},
        {"fixed info cut short", VersionNode("VS_VERSION_INFO", 0, FixedInfo(0xFEEF04BD), 40, {})},
        {"key without its NUL", Bytes().Word(12).Word(0).Word(0).Word(u'V').Word(u'S').Word(u'_').data},
    };
    for (const auto& [what, bytes] : rejected) {
        EXPECT_EQ(ReadVersion(bytes), std::nullopt) << what;
    }
    EXPECT_TRUE(ReadVersion(good).has_value()) << "the record that the damaged ones come from";

    // A value node whose length is zero ends the list of strings; what came before it stays.
    std::vector<BYTE> zeroLength = Bytes().Word(0).Word(0).Word(1).Text("Z").data;
    const std::optional<res::VersionInfo> cut =
        ReadVersion(VersionRecord(0xFEEF04BD, {TextValue("A", "one"), zeroLength, TextValue("C", "three")}));
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->strings, (std::map<std::string, std::string>{{"A", "one"}}));

    // A text whose NUL is missing ends with its node.
    std::vector<BYTE> noNul = VersionNode("K", 1, Bytes().Word(u'a').Word(u'b').data, 2, {});
    const std::optional<res::VersionInfo> unterminated = ReadVersion(VersionRecord(0xFEEF04BD, {noNul}));
    ASSERT_TRUE(unterminated.has_value());
    EXPECT_EQ(unterminated->strings, (std::map<std::string, std::string>{{"K", "ab"}}));
}

}  // namespace
}  // namespace orvane
