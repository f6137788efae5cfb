// Draws the application icon, a clock face, and writes it as an .ico and as the desktop's icon files.
//
// The .ico holds a 32 by 32 and a 16 by 16 image in the 16 standard VGA colours, 4 bits per pixel
// with an AND mask that makes everything outside the round face transparent; then the same face in
// full colour with antialiasing at 48 pixels (a 32-bit DIB) and at 256 pixels (PNG-compressed, as
// Windows Vista and later expect the 256-pixel image). The icon theme gets the full-colour face as
// PNG files at 48, 64, 128 and 256 pixels and as SVG. Shapes are sampled on a sub-pixel grid, so
// edges are decided by coverage rather than by where one pixel centre happens to fall.
#include <zlib.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

// The standard VGA palette, in the order that 16-colour icons use.
constexpr std::array<std::uint32_t, 16> kVgaPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};
constexpr std::uint8_t kBlack = 0;
constexpr std::uint8_t kNavy = 4;
constexpr std::uint8_t kSilver = 7;
constexpr std::uint8_t kGrey = 8;
constexpr std::uint8_t kRed = 9;
constexpr std::uint8_t kBlue = 12;
constexpr std::uint8_t kWhite = 15;

constexpr int kSubSamples = 8;  // per pixel and axis

// Measurements in pixels for one image size; the design is the same, the strokes are tuned so the
// small image stays legible.
struct Design {
    int size;
    double radius;         // outer edge of the bezel
    double bezel;          // width of the bezel
    double bezelHighlight; // width of the light inner line of the bezel
    bool minorMarks;       // marks at every hour, not only at 12, 3, 6 and 9
    double markOuter, markInner, minorMarkInner;  // radii of the hour marks
    double markWidth, minorMarkWidth;
    double hourLength, hourWidth;
    double minuteLength, minuteWidth;
    double hubRadius;
};

struct Point {
    double x, y;
};

double Distance(Point a, Point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Distance from p to the segment a-b.
double SegmentDistance(Point p, Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / lengthSquared : 0.0;
    t = std::fmax(0.0, std::fmin(1.0, t));
    return Distance(p, {a.x + t * dx, a.y + t * dy});
}

// The point at `radius` from the centre in the direction of a clock position (0 = 12 o'clock,
// clockwise, 12 positions per turn); y grows downward.
Point OnDial(Point centre, double position, double radius) {
    const double angle = position / 12.0 * 2.0 * std::numbers::pi;
    return {centre.x + radius * std::sin(angle), centre.y - radius * std::cos(angle)};
}

// Which layer of the artwork a sample point belongs to, topmost first; kNone is outside the face.
enum class Layer { kNone, kBezelShadow, kBezel, kBezelLight, kFace, kMinorMark, kMark, kHand, kHub };

Layer Classify(const Design& d, Point p) {
    const Point centre{d.size / 2.0, d.size / 2.0};
    const double r = Distance(p, centre);
    if (r > d.radius) return Layer::kNone;
    if (r <= d.hubRadius) return Layer::kHub;

    // A clock at ten past ten: the hour hand a little past 10, the minute hand on 2.
    const Point hourTip = OnDial(centre, 10.0 + 10.0 / 60.0, d.hourLength);
    const Point minuteTip = OnDial(centre, 2.0, d.minuteLength);
    if (SegmentDistance(p, centre, hourTip) <= d.hourWidth / 2) return Layer::kHand;
    if (SegmentDistance(p, centre, minuteTip) <= d.minuteWidth / 2) return Layer::kHand;

    for (int hour = 0; hour < 12; ++hour) {
        const bool major = hour % 3 == 0;
        if (!major && !d.minorMarks) continue;
        const Point outer = OnDial(centre, hour, d.markOuter);
        const Point inner = OnDial(centre, hour, major ? d.markInner : d.minorMarkInner);
        const double width = major ? d.markWidth : d.minorMarkWidth;
        if (SegmentDistance(p, inner, outer) <= width / 2) return major ? Layer::kMark : Layer::kMinorMark;
    }

    const double faceRadius = d.radius - d.bezel;
    if (r <= faceRadius) return Layer::kFace;
    if (r <= faceRadius + d.bezelHighlight) return Layer::kBezelLight;
    // Light falls from the top left: the lower right half of the bezel lies in shade.
    if ((p.x - centre.x) + (p.y - centre.y) > d.radius * 0.35) return Layer::kBezelShadow;
    return Layer::kBezel;
}

std::uint8_t ColourOf(Layer layer) {
    switch (layer) {
    case Layer::kBezelShadow: return kNavy;
    case Layer::kBezel: return kBlue;
    case Layer::kBezelLight: return kSilver;
    case Layer::kFace: return kWhite;
    case Layer::kMinorMark: return kGrey;
    case Layer::kMark: return kBlack;
    case Layer::kHand: return kBlack;
    case Layer::kHub: return kRed;
    case Layer::kNone: break;
    }
    return kBlack;
}

// Palette index per pixel and whether the pixel is part of the icon, rows top to bottom.
struct Image {
    int size = 0;
    std::vector<std::uint8_t> index;
    std::vector<bool> opaque;
};

Image Draw(const Design& d) {
    Image image;
    image.size = d.size;
    const auto pixels = static_cast<std::size_t>(d.size * d.size);
    image.index.assign(pixels, kBlack);
    image.opaque.assign(pixels, false);
    constexpr int layerCount = static_cast<int>(Layer::kHub) + 1;
    for (int y = 0; y < d.size; ++y) {
        for (int x = 0; x < d.size; ++x) {
            std::array<int, layerCount> hits{};
            for (int sy = 0; sy < kSubSamples; ++sy) {
                for (int sx = 0; sx < kSubSamples; ++sx) {
                    const Point p{x + (sx + 0.5) / kSubSamples, y + (sy + 0.5) / kSubSamples};
                    ++hits[static_cast<std::size_t>(Classify(d, p))];
                }
            }
            constexpr int samples = kSubSamples * kSubSamples;
            if (hits[static_cast<std::size_t>(Layer::kNone)] * 2 > samples) continue;
            // Thin strokes win a pixel from a third of its area on; otherwise the largest layer does.
            Layer chosen = Layer::kFace;
            int best = -1;
            for (int layer = layerCount - 1; layer > 0; --layer) {
                const int count = hits[static_cast<std::size_t>(layer)];
                const bool stroke = layer >= static_cast<int>(Layer::kMinorMark);
                if (stroke && count * 3 >= samples) {
                    chosen = static_cast<Layer>(layer);
                    break;
                }
                if (count > best) {
                    best = count;
                    chosen = static_cast<Layer>(layer);
                }
            }
            const auto at = static_cast<std::size_t>(y * d.size + x);
            image.index[at] = ColourOf(chosen);
            image.opaque[at] = true;
        }
    }
    return image;
}

// The full-colour artwork: the VGA design's colours, softened where the VGA ones are harsh.
constexpr std::uint32_t RgbOf(Layer layer) {
    switch (layer) {
    case Layer::kBezelShadow: return 0x132C82;
    case Layer::kBezel: return 0x2656D6;
    case Layer::kBezelLight: return 0xD2D6DE;
    case Layer::kFace: return 0xFFFFFF;
    case Layer::kMinorMark: return 0x8A8A8A;
    case Layer::kMark: return 0x1A1A1A;
    case Layer::kHand: return 0x1A1A1A;
    case Layer::kHub: return 0xE02020;
    case Layer::kNone: break;
    }
    return 0;
}

// The 32-pixel design scaled to another size: large images show the same face, only finer.
Design Scaled(const Design& d, int size) {
    const double k = static_cast<double>(size) / d.size;
    return {size, d.radius * k, d.bezel * k, d.bezelHighlight * k, d.minorMarks,
            d.markOuter * k, d.markInner * k, d.minorMarkInner * k, d.markWidth * k, d.minorMarkWidth * k,
            d.hourLength * k, d.hourWidth * k, d.minuteLength * k, d.minuteWidth * k, d.hubRadius * k};
}

// Straight (not premultiplied) RGBA per pixel, rows top to bottom.
struct RgbaImage {
    int size = 0;
    std::vector<std::uint8_t> rgba;
};

// Each pixel takes the mean colour of its samples that fall on the face and, as its opacity, the
// share of them that do.
RgbaImage DrawFullColour(const Design& d) {
    RgbaImage image;
    image.size = d.size;
    image.rgba.assign(static_cast<std::size_t>(d.size * d.size * 4), 0);
    constexpr int samples = kSubSamples * kSubSamples;
    for (int y = 0; y < d.size; ++y) {
        for (int x = 0; x < d.size; ++x) {
            std::array<int, 3> sum{};
            int covered = 0;
            for (int sy = 0; sy < kSubSamples; ++sy) {
                for (int sx = 0; sx < kSubSamples; ++sx) {
                    const Point p{x + (sx + 0.5) / kSubSamples, y + (sy + 0.5) / kSubSamples};
                    const Layer layer = Classify(d, p);
                    if (layer == Layer::kNone) continue;
                    const std::uint32_t rgb = RgbOf(layer);
                    sum[0] += static_cast<int>(rgb >> 16);
                    sum[1] += static_cast<int>((rgb >> 8) & 0xFF);
                    sum[2] += static_cast<int>(rgb & 0xFF);
                    ++covered;
                }
            }
            if (covered == 0) continue;
            std::uint8_t* pixel = &image.rgba[static_cast<std::size_t>((y * d.size + x) * 4)];
            for (std::size_t c = 0; c < 3; ++c) pixel[c] = static_cast<std::uint8_t>((sum[c] + covered / 2) / covered);
            pixel[3] = static_cast<std::uint8_t>((covered * 255 + samples / 2) / samples);
        }
    }
    return image;
}

void PutWord(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void PutDword(std::vector<std::uint8_t>& out, std::uint32_t value) {
    PutWord(out, value & 0xFFFF);
    PutWord(out, value >> 16);
}

// The image as an icon resource: BITMAPINFOHEADER, palette, colour bits, AND mask, rows bottom up.
std::vector<std::uint8_t> EncodeDib(const Image& image) {
    const auto size = static_cast<std::uint32_t>(image.size);
    const std::uint32_t xorStride = (size * 4 + 31) / 32 * 4;
    const std::uint32_t andStride = (size + 31) / 32 * 4;
    std::vector<std::uint8_t> out;
    PutDword(out, 40);
    PutDword(out, size);
    PutDword(out, size * 2);  // an icon's DIB counts the colour rows and the mask rows
    PutWord(out, 1);
    PutWord(out, 4);
    PutDword(out, 0);  // BI_RGB
    PutDword(out, (xorStride + andStride) * size);
    PutDword(out, 0);
    PutDword(out, 0);
    PutDword(out, 0);
    PutDword(out, 0);
    for (std::uint32_t rgb : kVgaPalette) {
        out.push_back(static_cast<std::uint8_t>(rgb & 0xFF));
        out.push_back(static_cast<std::uint8_t>((rgb >> 8) & 0xFF));
        out.push_back(static_cast<std::uint8_t>((rgb >> 16) & 0xFF));
        out.push_back(0);
    }
    for (int y = image.size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(xorStride, 0);
        for (int x = 0; x < image.size; ++x) {
            const std::uint8_t index = image.index[static_cast<std::size_t>(y * image.size + x)];
            row[static_cast<std::size_t>(x / 2)] |=
                static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = image.size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(andStride, 0);
        for (int x = 0; x < image.size; ++x) {
            if (!image.opaque[static_cast<std::size_t>(y * image.size + x)]) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// A full-colour image as an icon resource: 32 bits per pixel (BGRA, the alpha is used) and an AND
// mask for systems that ignore the alpha, rows bottom up.
std::vector<std::uint8_t> EncodeDib32(const RgbaImage& image) {
    const auto size = static_cast<std::uint32_t>(image.size);
    const std::uint32_t andStride = (size + 31) / 32 * 4;
    std::vector<std::uint8_t> out;
    PutDword(out, 40);
    PutDword(out, size);
    PutDword(out, size * 2);
    PutWord(out, 1);
    PutWord(out, 32);
    PutDword(out, 0);  // BI_RGB
    PutDword(out, (size * 4 + andStride) * size);
    for (int i = 0; i < 4; ++i) PutDword(out, 0);
    for (int y = image.size - 1; y >= 0; --y) {
        for (int x = 0; x < image.size; ++x) {
            const std::uint8_t* pixel = &image.rgba[static_cast<std::size_t>((y * image.size + x) * 4)];
            out.insert(out.end(), {pixel[2], pixel[1], pixel[0], pixel[3]});
        }
    }
    for (int y = image.size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(andStride, 0);
        for (int x = 0; x < image.size; ++x) {
            if (image.rgba[static_cast<std::size_t>((y * image.size + x) * 4 + 3)] == 0) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char (&type)[5], const std::vector<std::uint8_t>& data) {
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(0L, out.data() + start, static_cast<uInt>(out.size() - start));
    PutBigEndian(out, static_cast<std::uint32_t>(crc));
}

// A PNG of 8-bit RGBA; every row with filter 0 (none), the face's flat areas compress well without.
std::vector<std::uint8_t> EncodePng(const RgbaImage& image) {
    const auto side = static_cast<std::uint32_t>(image.size);
    std::vector<std::uint8_t> header;
    PutBigEndian(header, side);
    PutBigEndian(header, side);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // depth, RGBA, deflate, adaptive filters, no interlace

    std::vector<std::uint8_t> raw;
    const std::size_t stride = side * 4;
    for (std::size_t y = 0; y < side; ++y) {
        raw.push_back(0);
        const auto row = image.rgba.begin() + static_cast<std::ptrdiff_t>(y * stride);
        raw.insert(raw.end(), row, row + static_cast<std::ptrdiff_t>(stride));
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK) return {};
    packed.resize(packedSize);

    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(out, "IHDR", header);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    return out;
}

// One image of an .ico: its side, colour count and bits per pixel as the directory records them.
struct IcoImage {
    int size;
    int colours;  // 0 for more than 256
    int bitCount;
    std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> EncodeIco(const std::vector<IcoImage>& images) {
    std::vector<std::uint8_t> out;
    PutWord(out, 0);
    PutWord(out, 1);  // icon, not cursor
    PutWord(out, static_cast<std::uint32_t>(images.size()));
    auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const IcoImage& image : images) {
        // A side of 256 is written as 0.
        out.push_back(static_cast<std::uint8_t>(image.size & 0xFF));
        out.push_back(static_cast<std::uint8_t>(image.size & 0xFF));
        out.push_back(static_cast<std::uint8_t>(image.colours));
        out.push_back(0);
        // Planes and bit count: the resource compiler copies them into the icon group, where
        // LookupIconIdFromDirectory matches them against the display.
        PutWord(out, 1);
        PutWord(out, static_cast<std::uint32_t>(image.bitCount));
        PutDword(out, static_cast<std::uint32_t>(image.data.size()));
        PutDword(out, offset);
        offset += static_cast<std::uint32_t>(image.data.size());
    }
    for (const IcoImage& image : images) out.insert(out.end(), image.data.begin(), image.data.end());
    return out;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string number = text;
    while (number.back() == '0') number.pop_back();
    if (number.back() == '.') number.pop_back();
    return number;
}

std::string Colour(Layer layer) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(RgbOf(layer)));
    return text;
}

// The same face as vectors, in the coordinates of design `d`. Strokes have round caps because the
// raster artwork measures them as distances from a segment; shapes later in the file lie on top,
// in the order that Classify decides between layers.
std::string EncodeSvg(const Design& d) {
    const double c = d.size / 2.0;
    const std::string side = std::to_string(d.size);
    auto circle = [&](double r, Layer layer, const std::string& extra = "") {
        return "  <circle cx=\"" + Number(c) + "\" cy=\"" + Number(c) + "\" r=\"" + Number(r) + "\" fill=\"" +
               Colour(layer) + "\"" + extra + "/>\n";
    };
    auto line = [&](Point a, Point b, double width, Layer layer) {
        return "  <line x1=\"" + Number(a.x) + "\" y1=\"" + Number(a.y) + "\" x2=\"" + Number(b.x) + "\" y2=\"" +
               Number(b.y) + "\" stroke=\"" + Colour(layer) + "\" stroke-width=\"" + Number(width) +
               "\" stroke-linecap=\"round\"/>\n";
    };
    // The shaded part of the bezel lies beyond the line x + y = size + 0.35 radius: the corner triangle
    // of the square whose legs end `edge` from the top and left edges.
    const double edge = d.radius * 0.35;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + side + "\" height=\"" + side +
                      "\" viewBox=\"0 0 " + side + " " + side + "\">\n"
                      "  <clipPath id=\"shade\"><polygon points=\"" + Number(edge) + "," + side + " " + side + "," +
                      Number(edge) + " " + side + "," + side + "\"/></clipPath>\n";
    const double faceRadius = d.radius - d.bezel;
    svg += circle(d.radius, Layer::kBezel);
    svg += circle(d.radius, Layer::kBezelShadow, " clip-path=\"url(#shade)\"");
    if (d.bezelHighlight > 0) svg += circle(faceRadius + d.bezelHighlight, Layer::kBezelLight);
    svg += circle(faceRadius, Layer::kFace);
    const Point centre{c, c};
    for (bool major : {false, true}) {
        for (int hour = 0; hour < 12; ++hour) {
            if (major != (hour % 3 == 0) || (!major && !d.minorMarks)) continue;
            svg += line(OnDial(centre, hour, major ? d.markInner : d.minorMarkInner), OnDial(centre, hour, d.markOuter),
                        major ? d.markWidth : d.minorMarkWidth, major ? Layer::kMark : Layer::kMinorMark);
        }
    }
    svg += line(centre, OnDial(centre, 10.0 + 10.0 / 60.0, d.hourLength), d.hourWidth, Layer::kHand);
    svg += line(centre, OnDial(centre, 2.0, d.minuteLength), d.minuteWidth, Layer::kHand);
    svg += circle(d.hubRadius, Layer::kHub);
    svg += "</svg>\n";
    return svg;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file || bytes.empty()) {
        std::fprintf(stderr, "mkicon: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr,
                     "usage: %s OUTPUT.ico ICON-FOLDER\n"
                     "Writes the icon and, in ICON-FOLDER, orvane-<size>.png for 48, 64, 128 and 256 pixels and orvane.svg.\n",
                     argv[0]);
        return 2;
    }
    const Design large{32, 15.75, 3.0, 1.0, true, 11.5, 8.5, 10.0, 1.6, 1.0, 6.5, 2.2, 10.0, 1.6, 1.2};
    const Design small{16, 7.9, 1.5, 0.0, false, 5.9, 4.7, 0.0, 1.2, 0.0, 3.6, 1.4, 5.2, 1.1, 0.8};
    const std::string folder = argv[2];

    // The 16-colour images first, as they have always been; Windows picks by size, not by order.
    std::vector<IcoImage> ico = {{32, 16, 4, EncodeDib(Draw(large))}, {16, 16, 4, EncodeDib(Draw(small))}};
    bool written = true;
    for (int size : {48, 64, 128, 256}) {
        const RgbaImage image = DrawFullColour(Scaled(large, size));
        const std::vector<std::uint8_t> png = EncodePng(image);
        written = WriteFile(folder + "/orvane-" + std::to_string(size) + ".png", png) && written;
        if (size == 48) ico.push_back({size, 0, 32, EncodeDib32(image)});
        if (size == 256) ico.push_back({size, 0, 32, png});
    }
    const std::string svg = EncodeSvg(Scaled(large, 256));
    written = WriteFile(folder + "/orvane.svg", std::vector<std::uint8_t>(svg.begin(), svg.end())) && written;
    written = WriteFile(argv[1], EncodeIco(ico)) && written;
    return written ? 0 : 1;
}
