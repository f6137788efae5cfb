// Reader of the program's compiled resources (the .res form of res/orvane.rc) for platforms that
// have no resource loader of their own: strings, dialog templates, icons and the version record.
//
// The data is untrusted only in tests; still every reader is bounded and rejects what does not fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace orvane::res {

// Predefined window classes of dialog items, as the template stores them.
inline constexpr WORD kButtonClass = 0x0080;
inline constexpr WORD kEditClass = 0x0081;
inline constexpr WORD kStaticClass = 0x0082;
inline constexpr WORD kListBoxClass = 0x0083;
inline constexpr WORD kScrollBarClass = 0x0084;
inline constexpr WORD kComboBoxClass = 0x0085;

struct DialogItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    int id = -1;                                // -1 (0xFFFF) for statics without an id
    WORD classAtom = 0;                         // one of the k*Class values, or 0 for a named class
    std::string className;                      // when classAtom is 0
    std::string text;                           // the item's text, when given as text
    std::optional<WORD> textOrdinal;            // the item's text when given as a resource id (icons)
};

struct DialogTemplate {
    bool extended = false;  // DLGTEMPLATEEX
    DWORD style = 0;
    DWORD exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    std::string caption;
    WORD pointSize = 0;  // when style has DS_SETFONT
    WORD weight = 0;
    bool italic = false;
    BYTE charset = 0;
    std::string fontName;
    std::vector<DialogItem> items;  // template order
};

// One image of an icon group, decoded to 32-bit ARGB (0xAARRGGBB), rows top to bottom.
struct IconImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;  // as stored: 4 for 16-colour images
    std::vector<std::uint32_t> pixels;
};

struct VersionInfo {
    WORD fileVersion[4] = {};
    WORD productVersion[4] = {};
    DWORD fileOS = 0;
    DWORD fileType = 0;
    std::map<std::string, std::string> strings;  // StringFileInfo of the first language
};

class ResourceData {
public:
    // Reads a .res file image; nullopt when it is not one.
    static std::optional<ResourceData> Parse(const BYTE* data, std::size_t size);

    // The resources compiled into this program.
    static const ResourceData& Program();

    // 8-bit text (the UTF-16 of the table narrowed to Latin-1, which is what the program's texts use).
    std::optional<std::string> String(UINT id) const;
    std::optional<DialogTemplate> Dialog(UINT id) const;
    std::vector<IconImage> IconGroup(UINT id) const;
    std::optional<VersionInfo> Version() const;

private:
    struct Entry {
        WORD type = 0;  // numeric types only (RT_*)
        WORD name = 0;  // numeric names only
        std::vector<BYTE> data;
    };
    const Entry* Find(WORD type, WORD name) const;
    std::vector<Entry> entries_;
};

}  // namespace orvane::res
