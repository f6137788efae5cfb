// Reader of .res images: the resource entries, string tables, dialog templates, icons and the
// version record, every read checked against the bytes that are there.
#include "platform/linux/ResourceData.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

#include "res/ProgramResourceBytes.h"

namespace orvane::res {
namespace {

constexpr WORD kRtIcon = 3;
constexpr WORD kRtDialog = 5;
constexpr WORD kRtString = 6;
constexpr WORD kRtGroupIcon = 14;
constexpr WORD kRtVersion = 16;
constexpr WORD kVersionName = 1;  // VS_VERSION_INFO

constexpr DWORD kDsSetFont = 0x40;
constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// Icons larger than this are not ours; the limit keeps a forged header from asking for gigabytes.
constexpr std::int32_t kMaxIconSide = 256;

std::size_t AlignDword(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// A UTF-16 code unit in the program's 8-bit text; the program's texts are ASCII, so anything beyond
// Latin-1 only shows that the data is not ours.
char Narrow(WORD unit) { return unit <= 0xFF ? static_cast<char>(static_cast<unsigned char>(unit)) : '?'; }

// Little-endian reads within [0, size) of one buffer; a read that does not fit fails and leaves the
// position where it was.
class Reader {
public:
    Reader(const BYTE* data, std::size_t size, std::size_t position = 0)
        : data_(data), size_(size), position_(position) {}

    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return position_ <= size_ ? size_ - position_ : 0; }

    bool Byte(BYTE& value) {
        if (Remaining() < 1) return false;
        value = data_[position_++];
        return true;
    }
    bool Word(WORD& value) {
        if (Remaining() < 2) return false;
        value = static_cast<WORD>(data_[position_] | data_[position_ + 1] << 8);
        position_ += 2;
        return true;
    }
    bool Short(std::int16_t& value) {
        WORD word = 0;
        if (!Word(word)) return false;
        value = static_cast<std::int16_t>(word);
        return true;
    }
    bool Dword(DWORD& value) {
        WORD low = 0, high = 0;
        const std::size_t start = position_;
        if (!Word(low) || !Word(high)) {
            position_ = start;
            return false;
        }
        value = static_cast<DWORD>(low) | static_cast<DWORD>(high) << 16;
        return true;
    }
    bool Long(std::int32_t& value) {
        DWORD dword = 0;
        if (!Dword(dword)) return false;
        value = static_cast<std::int32_t>(dword);
        return true;
    }
    bool Skip(std::size_t count) {
        if (Remaining() < count) return false;
        position_ += count;
        return true;
    }
    // To the next multiple of four from the start of the buffer.
    bool Align() { return Skip(AlignDword(position_) - position_); }

    // A NUL-terminated UTF-16 string, narrowed.
    bool Text(std::string& text) {
        const std::size_t start = position_;
        text.clear();
        for (WORD unit = 0;;) {
            if (!Word(unit)) {
                position_ = start;
                return false;
            }
            if (unit == 0) return true;
            text.push_back(Narrow(unit));
        }
    }
    // sz_Or_Ord: 0x0000 for nothing, 0xFFFF and an ordinal, or a NUL-terminated string.
    bool TextOrOrdinal(std::string& text, std::optional<WORD>& ordinal) {
        const std::size_t start = position_;
        text.clear();
        ordinal.reset();
        WORD first = 0;
        if (!Word(first)) return false;
        if (first == 0xFFFF) {
            WORD value = 0;
            if (!Word(value)) {
                position_ = start;
                return false;
            }
            ordinal = value;
            return true;
        }
        position_ = start;
        return Text(text);
    }

private:
    const BYTE* data_;
    std::size_t size_;
    std::size_t position_;
};

// Windows accepts the predefined classes by name as well as by atom; one form is easier to use.
WORD ClassAtomOf(const std::string& name) {
    static constexpr std::array<std::pair<const char*, WORD>, 6> kClasses = {{
        {"BUTTON", kButtonClass},
        {"EDIT", kEditClass},
        {"STATIC", kStaticClass},
        {"LISTBOX", kListBoxClass},
        {"SCROLLBAR", kScrollBarClass},
        {"COMBOBOX", kComboBoxClass},
    }};
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const auto& [className, atom] : kClasses) {
        if (upper == className) return atom;
    }
    return 0;
}

bool ReadDialogItem(Reader& r, bool extended, DialogItem& item) {
    DWORD helpId = 0;
    if (!r.Align()) return false;
    if (extended) {
        if (!r.Dword(helpId) || !r.Dword(item.exStyle) || !r.Dword(item.style)) return false;
    } else {
        if (!r.Dword(item.style) || !r.Dword(item.exStyle)) return false;
    }
    if (!r.Short(item.x) || !r.Short(item.y) || !r.Short(item.cx) || !r.Short(item.cy)) return false;
    if (extended) {
        std::int32_t id = 0;
        if (!r.Long(id)) return false;
        item.id = id;
    } else {
        WORD id = 0;
        if (!r.Word(id)) return false;
        item.id = id == 0xFFFF ? -1 : id;
    }

    std::optional<WORD> classOrdinal;
    if (!r.TextOrOrdinal(item.className, classOrdinal)) return false;
    if (classOrdinal) {
        item.classAtom = *classOrdinal;
    } else if (WORD atom = ClassAtomOf(item.className); atom != 0) {
        item.classAtom = atom;
        item.className.clear();
    }
    if (!r.TextOrOrdinal(item.text, item.textOrdinal)) return false;

    // Creation data for the control: a byte count and that many bytes, which no control here uses.
    WORD extra = 0;
    return r.Word(extra) && r.Skip(extra);
}

std::optional<DialogTemplate> ReadDialog(const std::vector<BYTE>& data) {
    Reader r(data.data(), data.size());
    DialogTemplate dialog;
    WORD version = 0, signature = 0, count = 0;
    dialog.extended = r.Word(version) && r.Word(signature) && version == 1 && signature == 0xFFFF;
    if (dialog.extended) {
        DWORD helpId = 0;
        if (!r.Dword(helpId) || !r.Dword(dialog.exStyle) || !r.Dword(dialog.style)) return std::nullopt;
    } else {
        r = Reader(data.data(), data.size());
        if (!r.Dword(dialog.style) || !r.Dword(dialog.exStyle)) return std::nullopt;
    }
    if (!r.Word(count) || !r.Short(dialog.x) || !r.Short(dialog.y) || !r.Short(dialog.cx) ||
        !r.Short(dialog.cy)) {
        return std::nullopt;
    }

    std::string menu, windowClass;
    std::optional<WORD> menuOrdinal, classOrdinal, captionOrdinal;
    if (!r.TextOrOrdinal(menu, menuOrdinal) || !r.TextOrOrdinal(windowClass, classOrdinal) ||
        !r.TextOrOrdinal(dialog.caption, captionOrdinal)) {
        return std::nullopt;
    }
    if (dialog.style & kDsSetFont) {
        if (!r.Word(dialog.pointSize)) return std::nullopt;
        if (dialog.extended) {
            BYTE italic = 0;
            if (!r.Word(dialog.weight) || !r.Byte(italic) || !r.Byte(dialog.charset)) return std::nullopt;
            dialog.italic = italic != 0;
        }
        if (!r.Text(dialog.fontName)) return std::nullopt;
    }

    // The count comes from the data: items are added as they are read, not reserved up front.
    for (WORD i = 0; i < count; ++i) {
        DialogItem item;
        if (!ReadDialogItem(r, dialog.extended, item)) return std::nullopt;
        dialog.items.push_back(std::move(item));
    }
    return dialog;
}

// One icon image: a BITMAPINFOHEADER DIB whose height counts the colour rows and the AND mask rows.
std::optional<IconImage> DecodeIcon(const std::vector<BYTE>& data) {
    // Images stored as PNG (Vista's large icons) are not decoded; ours are DIBs.
    static constexpr std::array<BYTE, 4> kPngSignature = {0x89, 'P', 'N', 'G'};
    if (data.size() >= kPngSignature.size() &&
        std::equal(kPngSignature.begin(), kPngSignature.end(), data.begin())) {
        return std::nullopt;
    }

    Reader r(data.data(), data.size());
    DWORD headerSize = 0, compression = 0, sizeImage = 0, colorsUsed = 0, colorsImportant = 0;
    std::int32_t width = 0, doubleHeight = 0, xPerMeter = 0, yPerMeter = 0;
    WORD planes = 0, bitCount = 0;
    if (!r.Dword(headerSize) || !r.Long(width) || !r.Long(doubleHeight) || !r.Word(planes) ||
        !r.Word(bitCount) || !r.Dword(compression) || !r.Dword(sizeImage) || !r.Long(xPerMeter) ||
        !r.Long(yPerMeter) || !r.Dword(colorsUsed) || !r.Dword(colorsImportant)) {
        return std::nullopt;
    }
    const std::int32_t height = doubleHeight / 2;
    if (headerSize < 40 || headerSize > data.size() || compression != 0 /* BI_RGB */ || width <= 0 ||
        width > kMaxIconSide || height <= 0 || height > kMaxIconSide) {
        return std::nullopt;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
        return std::nullopt;
    }

    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    const std::size_t bits = bitCount;
    const std::size_t maxColors = bits <= 8 ? std::size_t{1} << bits : 0;
    // A true-colour image may still carry a colour table (a hint for palette displays); skip it.
    const std::size_t tableSize = colorsUsed != 0 ? colorsUsed : maxColors;
    if (maxColors != 0 && tableSize > maxColors) return std::nullopt;
    if (tableSize > data.size()) return std::nullopt;

    r = Reader(data.data(), data.size(), headerSize);
    std::vector<std::uint32_t> palette;
    for (std::size_t i = 0; i < tableSize; ++i) {
        BYTE blue = 0, green = 0, red = 0, reserved = 0;
        if (!r.Byte(blue) || !r.Byte(green) || !r.Byte(red) || !r.Byte(reserved)) return std::nullopt;
        if (maxColors != 0) {
            palette.push_back(0xFF000000u | static_cast<std::uint32_t>(red) << 16 |
                              static_cast<std::uint32_t>(green) << 8 | blue);
        }
    }

    const std::size_t colorStride = (w * bits + 31) / 32 * 4;
    const std::size_t maskStride = (w + 31) / 32 * 4;
    const std::size_t colorOffset = r.Position();
    const std::size_t maskOffset = colorOffset + colorStride * h;
    if (maskOffset > data.size()) return std::nullopt;
    // 32-bit images carry their own alpha and may leave the mask out.
    const bool hasMask = data.size() - maskOffset >= maskStride * h;
    if (!hasMask && bitCount != 32) return std::nullopt;

    IconImage image;
    image.width = width;
    image.height = height;
    image.bitsPerPixel = bitCount;
    image.pixels.assign(w * h, 0);
    bool anyAlpha = false;
    for (std::size_t y = 0; y < h; ++y) {
        const BYTE* row = data.data() + colorOffset + (h - 1 - y) * colorStride;  // rows bottom up
        for (std::size_t x = 0; x < w; ++x) {
            std::uint32_t argb = 0;
            if (bits <= 8) {
                const std::size_t bit = x * bits;
                const std::size_t shift = 8 - bits - bit % 8;
                const std::size_t index = (std::size_t{row[bit / 8]} >> shift) & (maxColors - 1);
                argb = index < palette.size() ? palette[index] : 0xFF000000u;
            } else {
                const BYTE* p = row + x * (bits / 8);
                argb = static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
                if (bitCount == 32) {
                    argb |= static_cast<std::uint32_t>(p[3]) << 24;
                    anyAlpha = anyAlpha || p[3] != 0;
                } else {
                    argb |= 0xFF000000u;
                }
            }
            image.pixels[y * w + x] = argb;
        }
    }
    // A 32-bit image whose alpha is all zero is an old-style one: its mask says what shows.
    if (bitCount == 32 && !anyAlpha) {
        for (std::uint32_t& pixel : image.pixels) pixel |= 0xFF000000u;
    }
    if (hasMask && !(bitCount == 32 && anyAlpha)) {
        for (std::size_t y = 0; y < h; ++y) {
            const BYTE* row = data.data() + maskOffset + (h - 1 - y) * maskStride;
            for (std::size_t x = 0; x < w; ++x) {
                // A set mask bit lets the background through (or inverts it, where the colour is
                // not black: a screen effect that has no ARGB form, shown as transparent).
                if (row[x / 8] & (0x80u >> (x % 8))) image.pixels[y * w + x] = 0;
            }
        }
    }
    return image;
}

// One node of the version record: wLength, wValueLength, wType, key, value, children.
struct VersionNode {
    std::size_t end = 0;
    std::string key;
    std::size_t valueStart = 0;
    std::size_t valueEnd = 0;
    std::size_t childrenStart = 0;
};

bool ReadVersionNode(const std::vector<BYTE>& data, std::size_t at, std::size_t limit, VersionNode& node) {
    Reader r(data.data(), limit, at);
    WORD length = 0, valueLength = 0, type = 0;
    if (!r.Word(length) || !r.Word(valueLength) || !r.Word(type)) return false;
    if (length < 6 || length > limit - at) return false;
    node.end = at + length;
    r = Reader(data.data(), node.end, r.Position());
    if (!r.Text(node.key)) return false;
    node.valueStart = std::min(AlignDword(r.Position()), node.end);
    // Text values count characters, binary ones bytes; compilers disagree on the former, so text is
    // read up to its NUL and the count only tells where the children start.
    const std::size_t valueBytes = type == 1 ? std::size_t{valueLength} * 2 : valueLength;
    node.valueEnd = std::min(node.valueStart + valueBytes, node.end);
    node.childrenStart = std::min(AlignDword(node.valueEnd), node.end);
    return true;
}

// The children of `parent`, in order; stops at the first that does not fit.
std::vector<VersionNode> VersionChildren(const std::vector<BYTE>& data, const VersionNode& parent) {
    std::vector<VersionNode> children;
    for (std::size_t at = parent.childrenStart; at < parent.end;) {
        VersionNode child;
        if (!ReadVersionNode(data, at, parent.end, child)) break;
        at = AlignDword(child.end);
        children.push_back(std::move(child));
    }
    return children;
}

}  // namespace

std::optional<ResourceData> ResourceData::Parse(const BYTE* data, std::size_t size) {
    if (data == nullptr) return std::nullopt;
    ResourceData result;
    bool first = true;
    std::size_t at = 0;
    while (at < size) {
        Reader r(data, size, at);
        DWORD dataSize = 0, headerSize = 0;
        if (!r.Dword(dataSize) || !r.Dword(headerSize)) return std::nullopt;
        // The smallest header: the two sizes, numeric type and name, and four fixed fields.
        if (headerSize < 32 || headerSize > size - at) return std::nullopt;
        const std::size_t dataStart = at + headerSize;
        if (dataSize > size - dataStart) return std::nullopt;

        Reader header(data, dataStart, r.Position());
        std::string typeName, name;
        std::optional<WORD> type, id;
        DWORD dataVersion = 0, characteristics = 0, version = 0;
        WORD memoryFlags = 0, language = 0;
        if (!header.TextOrOrdinal(typeName, type) || !header.TextOrOrdinal(name, id) || !header.Align() ||
            !header.Dword(dataVersion) || !header.Word(memoryFlags) || !header.Word(language) ||
            !header.Dword(version) || !header.Dword(characteristics)) {
            return std::nullopt;
        }

        if (first) {
            // Every .res image opens with an empty entry of type 0 and name 0, which marks the
            // format (a 16-bit .res has none).
            if (dataSize != 0 || type != WORD{0} || id != WORD{0}) return std::nullopt;
            first = false;
        } else if (type && id) {
            // Named types and names are skipped: the program addresses its resources by number.
            Entry entry;
            entry.type = *type;
            entry.name = *id;
            entry.data.assign(data + dataStart, data + dataStart + dataSize);
            result.entries_.push_back(std::move(entry));
        }
        // Entries start on DWORD boundaries; the last may lack its padding.
        at = std::min(AlignDword(dataStart + dataSize), size);
    }
    if (first) return std::nullopt;
    return result;
}

const ResourceData& ResourceData::Program() {
    static const ResourceData program = [] {
        std::size_t size = 0;
        const unsigned char* bytes = ProgramResourceBytes(&size);
        return Parse(bytes, size).value_or(ResourceData{});
    }();
    return program;
}

const ResourceData::Entry* ResourceData::Find(WORD type, WORD name) const {
    for (const Entry& entry : entries_) {
        if (entry.type == type && entry.name == name) return &entry;
    }
    return nullptr;
}

std::optional<std::string> ResourceData::String(UINT id) const {
    if (id > 0xFFFF) return std::nullopt;
    // Strings come in blocks of 16: block id / 16 + 1 holds string id at place id % 16.
    const Entry* block = Find(kRtString, static_cast<WORD>(id / 16 + 1));
    if (block == nullptr) return std::nullopt;
    Reader r(block->data.data(), block->data.size());
    for (UINT place = 0;; ++place) {
        WORD length = 0;
        if (!r.Word(length)) return std::nullopt;
        if (place < id % 16) {
            if (!r.Skip(std::size_t{length} * 2)) return std::nullopt;
            continue;
        }
        // The table cannot tell an empty string from a missing one: both have length 0, and
        // LoadString fails for both.
        if (length == 0) return std::nullopt;
        std::string text;
        text.reserve(length);
        for (WORD i = 0; i < length; ++i) {
            WORD unit = 0;
            if (!r.Word(unit)) return std::nullopt;
            text.push_back(Narrow(unit));
        }
        // Tables compiled with rc /n keep each string's NUL.
        if (text.back() == '\0') text.pop_back();
        return text;
    }
}

std::optional<DialogTemplate> ResourceData::Dialog(UINT id) const {
    if (id > 0xFFFF) return std::nullopt;
    const Entry* entry = Find(kRtDialog, static_cast<WORD>(id));
    if (entry == nullptr) return std::nullopt;
    return ReadDialog(entry->data);
}

std::vector<IconImage> ResourceData::IconGroup(UINT id) const {
    if (id > 0xFFFF) return {};
    const Entry* group = Find(kRtGroupIcon, static_cast<WORD>(id));
    if (group == nullptr) return {};
    Reader r(group->data.data(), group->data.size());
    WORD reserved = 0, type = 0, count = 0;
    if (!r.Word(reserved) || !r.Word(type) || !r.Word(count) || type != 1) return {};

    std::vector<IconImage> images;
    for (WORD i = 0; i < count; ++i) {
        BYTE width = 0, height = 0, colors = 0, unused = 0;
        WORD planes = 0, bitCount = 0, iconId = 0;
        DWORD bytes = 0;
        if (!r.Byte(width) || !r.Byte(height) || !r.Byte(colors) || !r.Byte(unused) || !r.Word(planes) ||
            !r.Word(bitCount) || !r.Dword(bytes) || !r.Word(iconId)) {
            return {};
        }
        // An image that is missing or cannot be decoded leaves the others usable.
        const Entry* icon = Find(kRtIcon, iconId);
        if (icon == nullptr) continue;
        if (std::optional<IconImage> image = DecodeIcon(icon->data)) images.push_back(std::move(*image));
    }
    return images;
}

std::optional<VersionInfo> ResourceData::Version() const {
    const Entry* entry = Find(kRtVersion, kVersionName);
    if (entry == nullptr) return std::nullopt;
    const std::vector<BYTE>& data = entry->data;
    VersionNode root;
    if (!ReadVersionNode(data, 0, data.size(), root) || root.key != "VS_VERSION_INFO") return std::nullopt;

    Reader r(data.data(), root.valueEnd, root.valueStart);
    DWORD signature = 0, structVersion = 0, fileMs = 0, fileLs = 0, productMs = 0, productLs = 0;
    DWORD flagsMask = 0, flags = 0, subtype = 0, dateMs = 0, dateLs = 0;
    VersionInfo info;
    if (!r.Dword(signature) || !r.Dword(structVersion) || !r.Dword(fileMs) || !r.Dword(fileLs) ||
        !r.Dword(productMs) || !r.Dword(productLs) || !r.Dword(flagsMask) || !r.Dword(flags) ||
        !r.Dword(info.fileOS) || !r.Dword(info.fileType) || !r.Dword(subtype) || !r.Dword(dateMs) ||
        !r.Dword(dateLs) || signature != kFixedFileInfoSignature) {
        return std::nullopt;
    }
    const auto split = [](DWORD ms, DWORD ls, WORD (&parts)[4]) {
        parts[0] = static_cast<WORD>(ms >> 16);
        parts[1] = static_cast<WORD>(ms & 0xFFFF);
        parts[2] = static_cast<WORD>(ls >> 16);
        parts[3] = static_cast<WORD>(ls & 0xFFFF);
    };
    split(fileMs, fileLs, info.fileVersion);
    split(productMs, productLs, info.productVersion);

    for (const VersionNode& block : VersionChildren(data, root)) {
        if (block.key != "StringFileInfo") continue;
        const std::vector<VersionNode> tables = VersionChildren(data, block);
        if (tables.empty()) break;
        for (const VersionNode& value : VersionChildren(data, tables.front())) {
            Reader text(data.data(), value.end, value.valueStart);
            std::string narrowed;
            // A value whose NUL is missing is cut at the end of its node.
            while (true) {
                WORD unit = 0;
                if (!text.Word(unit) || unit == 0) break;
                narrowed.push_back(Narrow(unit));
            }
            info.strings.emplace(value.key, std::move(narrowed));
        }
        break;
    }
    return info;
}

}  // namespace orvane::res
