// Draws the application icon, a clock face in the 16 standard VGA colours, and writes it as an .ico.
//
// The icon holds a 32 by 32 and a 16 by 16 image, both 4 bits per pixel with an AND mask that makes
// everything outside the round face transparent. Shapes are sampled on a sub-pixel grid, so edges
// are decided by coverage rather than by where one pixel centre happens to fall.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
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

std::vector<std::uint8_t> EncodeIco(const std::vector<Image>& images) {
    std::vector<std::vector<std::uint8_t>> dibs;
    for (const Image& image : images) dibs.push_back(EncodeDib(image));

    std::vector<std::uint8_t> out;
    PutWord(out, 0);
    PutWord(out, 1);  // icon, not cursor
    PutWord(out, static_cast<std::uint32_t>(images.size()));
    auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        out.push_back(static_cast<std::uint8_t>(images[i].size));
        out.push_back(static_cast<std::uint8_t>(images[i].size));
        out.push_back(16);  // colours
        out.push_back(0);
        // Planes and bit count: the resource compiler copies them into the icon group, where
        // LookupIconIdFromDirectory matches them against the display.
        PutWord(out, 1);
        PutWord(out, 4);
        PutDword(out, static_cast<std::uint32_t>(dibs[i].size()));
        PutDword(out, offset);
        offset += static_cast<std::uint32_t>(dibs[i].size());
    }
    for (const auto& dib : dibs) out.insert(out.end(), dib.begin(), dib.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
        return 2;
    }
    const Design large{32, 15.75, 3.0, 1.0, true, 11.5, 8.5, 10.0, 1.6, 1.0, 6.5, 2.2, 10.0, 1.6, 1.2};
    const Design small{16, 7.9, 1.5, 0.0, false, 5.9, 4.7, 0.0, 1.2, 0.0, 3.6, 1.4, 5.2, 1.1, 0.8};
    const std::vector<std::uint8_t> ico = EncodeIco({Draw(large), Draw(small)});

    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
