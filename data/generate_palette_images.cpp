// Draws the two indexed pictures of the show (a two-line caption and a rainbow
// cartoon icon) and writes them as palette_images_data.cpp. With a second
// argument, a folder, it also writes PNG previews there for people to look at.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

constexpr int kCaptionWidth = 400;
constexpr int kCaptionHeight = 117;
constexpr int kIconWidth = 163;
constexpr int kIconHeight = 199;
// Both palettes fill the same number of entries; the rest stay all zero.
constexpr int kUsedEntries = 183;

// The caption's two lines, centred. Any text of A-Z, 0-9 and " +-.,:!" works.
const char* const kCaptionLines[2] = {"PURE CODE", "AND MUSIC"};

struct Vec2 {
    double x, y;
};
struct Rgb {
    double r, g, b;
};
struct Segment {
    Vec2 a, b;
};

double clamp01(double v) { return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v); }
double mix(double a, double b, double t) { return a + (b - a) * t; }
Rgb mixRgb(Rgb a, Rgb b, double t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }
double length(double x, double y) { return std::sqrt(x * x + y * y); }

// Distance from p to the segment a-b.
double segmentDistance(Vec2 p, Segment s) {
    double dx = s.b.x - s.a.x, dy = s.b.y - s.a.y;
    double px = p.x - s.a.x, py = p.y - s.a.y;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0.0 ? clamp01((px * dx + py * dy) / len2) : 0.0;
    return length(px - t * dx, py - t * dy);
}

// ---------------------------------------------------------------------------
// Stroke font. Glyphs sit on a baseline at y = 0 with capitals 10 units tall,
// y pointing up. Each glyph is a path text: "M x,y" moves, "L x,y" draws a
// line, "A cx,cy,rx,ry,a0,a1" draws an elliptic arc from angle a0 to a1
// (degrees, counter-clockwise when a1 > a0), joined to the current point.

struct Glyph {
    char c;
    const char* path;
};

const Glyph kGlyphs[] = {
    {'A', "M0,0 L3.2,10 L6.4,0 M1.2,3.6 L5.2,3.6"},
    {'B', "M0,5 L3.3,5 A3.3,7.5,2.5,2.5,-90,90 L0,10 L0,0 L3.7,0 A3.7,2.5,2.5,2.5,-90,90 L0,5"},
    {'C', "A3.4,5,3.4,5,42,318"},
    {'D', "M0,0 L0,10 L1.8,10 A1.8,5,4.4,5,90,-90 L0,0"},
    {'E', "M5.6,10 L0,10 L0,0 L5.6,0 M0,5 L4.4,5"},
    {'F', "M5.6,10 L0,10 L0,0 M0,5 L4.4,5"},
    {'G', "A3.4,5,3.4,5,42,360 L6.8,4.6 L3.8,4.6"},
    {'H', "M0,0 L0,10 M6,0 L6,10 M0,5 L6,5"},
    {'I', "M0,0 L0,10"},
    {'J', "M5,10 L5,3 A2.5,3,2.5,3,0,-180"},
    {'K', "M0,0 L0,10 M5.8,10 L0,3.8 M1.9,5.8 L6,0"},
    {'L', "M0,10 L0,0 L5.4,0"},
    {'M', "M0,0 L0,10 L3.6,2.6 L7.2,10 L7.2,0"},
    {'N', "M0,0 L0,10 L6,0 L6,10"},
    {'O', "A3.6,5,3.6,5,0,360"},
    {'P', "M0,0 L0,10 L3.4,10 A3.4,7.3,2.7,2.7,90,-90 L0,4.6"},
    {'Q', "A3.6,5,3.6,5,0,360 M4.4,2.4 L7.2,-0.6"},
    {'R', "M0,0 L0,10 L3.4,10 A3.4,7.3,2.7,2.7,90,-90 L0,4.6 M3.2,4.6 L6.2,0"},
    {'S', "A3,7.5,2.9,2.5,15,270 A3,2.5,3.1,2.5,90,-165"},
    {'T', "M0,10 L6.4,10 M3.2,10 L3.2,0"},
    {'U', "M0,10 L0,3.4 A3,3.4,3,3.4,180,360 L6,10"},
    {'V', "M0,10 L3.2,0 L6.4,10"},
    {'W', "M0,10 L2.1,0 L4.3,7.4 L6.5,0 L8.6,10"},
    {'X', "M0,0 L6,10 M0,10 L6,0"},
    {'Y', "M0,10 L3.2,5 L6.4,10 M3.2,5 L3.2,0"},
    {'Z', "M0,10 L6,10 L0,0 L6,0"},
    {'0', "A3,5,3,5,0,360"},
    {'1', "M0,7.8 L2.6,10 L2.6,0"},
    {'2', "A3,7,3,3,165,-35 L0,0 L6,0"},
    {'3', "A3,7.6,2.7,2.4,160,-90 A3,2.7,3,2.7,90,-160"},
    {'4', "M4.6,0 L4.6,10 L0,3 L6.4,3"},
    {'5', "M5.6,10 L1,10 L0.5,5.4 A3,3.2,3,3.2,135,-155"},
    {'6', "A3,3.1,3,3.1,0,360 M0.05,3.4 A6.2,3.4,6.2,6.6,180,118"},
    {'7', "M0,10 L6,10 L2,0"},
    {'8', "A3,7.6,2.6,2.4,0,360 A3,2.6,3,2.6,0,360"},
    {'9', "A3,6.9,3,3.1,0,360 M5.95,6.6 A-0.2,6.6,6.2,6.6,0,-62"},
    {'+', "M0,5 L5,5 M2.5,2.5 L2.5,7.5"},
    {'-', "M0,5 L4,5"},
    {'.', "M0,0 L0,0.01"},
    {',', "M0.6,0.6 L-0.4,-1.6"},
    {':', "M0,1 L0,1.01 M0,7 L0,7.01"},
    {'!', "M0,10 L0,3.2 M0,0 L0,0.01"},
};

constexpr double kSpaceAdvance = 4.0;
constexpr double kLetterGap = 2.6;

// The segments of one glyph's path, in font units.
std::vector<Segment> glyphSegments(char c) {
    std::vector<Segment> out;
    const char* path = nullptr;
    for (const Glyph& g : kGlyphs)
        if (g.c == c) path = g.path;
    if (!path) return out;
    Vec2 pen{0, 0};
    bool penDown = false;
    const char* s = path;
    while (*s) {
        char command = *s++;
        double v[6] = {};
        int count = command == 'A' ? 6 : 2;
        for (int i = 0; i < count; i++) {
            char* end = nullptr;
            v[i] = std::strtod(s, &end);
            s = end;
            if (*s == ',') s++;
        }
        while (*s == ' ') s++;
        if (command == 'M') {
            pen = {v[0], v[1]};
            penDown = true;
        } else if (command == 'L') {
            Vec2 to{v[0], v[1]};
            if (penDown) out.push_back({pen, to});
            pen = to;
            penDown = true;
        } else if (command == 'A') {
            double a0 = v[4] * M_PI / 180.0, a1 = v[5] * M_PI / 180.0;
            int steps = std::max(8, int(std::fabs(a1 - a0) / (M_PI / 36.0)));
            for (int i = 0; i <= steps; i++) {
                double a = mix(a0, a1, double(i) / steps);
                Vec2 to{v[0] + v[2] * std::cos(a), v[1] + v[3] * std::sin(a)};
                if (penDown) out.push_back({pen, to});
                pen = to;
                penDown = true;
            }
        }
    }
    return out;
}

// The segments of one line of text, in font units from x = 0; returns the width.
double layoutLine(const char* text, std::vector<Segment>* out) {
    double x = 0.0;
    for (const char* c = text; *c; c++) {
        if (*c == ' ') {
            x += kSpaceAdvance;
            continue;
        }
        std::vector<Segment> glyph = glyphSegments(*c);
        double minX = 1e9, maxX = -1e9;
        for (const Segment& s : glyph) {
            minX = std::min({minX, s.a.x, s.b.x});
            maxX = std::max({maxX, s.a.x, s.b.x});
        }
        if (glyph.empty()) {
            x += kSpaceAdvance;
            continue;
        }
        for (Segment s : glyph) {
            s.a.x += x - minX;
            s.b.x += x - minX;
            out->push_back(s);
        }
        x += (maxX - minX) + kLetterGap;
    }
    return x > 0.0 ? x - kLetterGap : 0.0;
}

// Caption coverage (0 = black ground, 1 = white ink) per pixel, row 0 at the bottom.
std::vector<double> drawCaption() {
    const double capPixels = 38.0;      // height of a capital letter
    const double scale = capPixels / 10.0;
    const double halfStroke = 2.7;      // pixels: strokes about 5.4 px wide
    const double lineBase[2] = {70.0, 17.0};  // baselines of the two lines

    std::vector<Segment> pixels;
    for (int line = 0; line < 2; line++) {
        std::vector<Segment> units;
        double width = layoutLine(kCaptionLines[line], &units);
        double left = (kCaptionWidth - width * scale) * 0.5;
        for (const Segment& s : units)
            pixels.push_back({{left + s.a.x * scale, lineBase[line] + s.a.y * scale},
                              {left + s.b.x * scale, lineBase[line] + s.b.y * scale}});
    }

    std::vector<double> coverage(size_t(kCaptionWidth) * kCaptionHeight, 0.0);
    for (int y = 0; y < kCaptionHeight; y++) {
        for (int x = 0; x < kCaptionWidth; x++) {
            Vec2 p{x + 0.5, y + 0.5};
            double d = 1e9;
            for (const Segment& s : pixels) d = std::min(d, segmentDistance(p, s));
            // Signed distance to the stroke edge in pixels, spread over one pixel.
            coverage[size_t(y) * kCaptionWidth + x] = clamp01(halfStroke + 0.5 - d);
        }
    }
    return coverage;
}

// ---------------------------------------------------------------------------
// Icon: a round rainbow creature with a big head, waving, drawn from signed
// distance functions in pixel units (origin bottom-left, y up).

double circleSd(Vec2 p, Vec2 c, double r) { return length(p.x - c.x, p.y - c.y) - r; }
double capsuleSd(Vec2 p, Vec2 a, Vec2 b, double r) { return segmentDistance(p, {a, b}) - r; }
// Approximate distance to an axis-aligned ellipse (exact on the axes).
double ellipseSd(Vec2 p, Vec2 c, double rx, double ry) {
    double x = (p.x - c.x) / rx, y = (p.y - c.y) / ry;
    double k = length(x, y);
    return (k - 1.0) * std::min(rx, ry);
}
// Union with a rounded seam of about k pixels.
double smoothUnion(double a, double b, double k) {
    double h = clamp01(0.5 + 0.5 * (b - a) / k);
    return mix(b, a, h) - k * h * (1.0 - h);
}

// Distance to the creature's silhouette.
double bodySd(Vec2 p) {
    double head = circleSd(p, {81.5, 127.0}, 50.0);
    double belly = ellipseSd(p, {81.5, 62.0}, 40.0, 38.0);
    double d = smoothUnion(head, belly, 12.0);
    double leftArm = capsuleSd(p, {48.0, 78.0}, {20.0, 104.0}, 9.5);   // waving
    double rightArm = capsuleSd(p, {114.0, 72.0}, {137.0, 50.0}, 9.5);
    double leftLeg = capsuleSd(p, {66.0, 36.0}, {60.0, 18.0}, 11.0);
    double rightLeg = capsuleSd(p, {97.0, 36.0}, {103.0, 18.0}, 11.0);
    double leftFoot = ellipseSd(p, {56.0, 15.0}, 16.0, 9.0);
    double rightFoot = ellipseSd(p, {107.0, 15.0}, 16.0, 9.0);
    double leftHand = circleSd(p, {19.0, 106.0}, 12.0);
    double rightHand = circleSd(p, {139.0, 48.0}, 12.0);
    double antennaLeft = capsuleSd(p, {64.0, 168.0}, {52.0, 184.0}, 3.5);
    double antennaRight = capsuleSd(p, {99.0, 168.0}, {111.0, 184.0}, 3.5);
    double bobbleLeft = circleSd(p, {50.0, 186.0}, 7.0);
    double bobbleRight = circleSd(p, {113.0, 186.0}, 7.0);
    d = smoothUnion(d, leftArm, 6.0);
    d = smoothUnion(d, rightArm, 6.0);
    d = smoothUnion(d, leftLeg, 6.0);
    d = smoothUnion(d, rightLeg, 6.0);
    d = smoothUnion(d, leftFoot, 4.0);
    d = smoothUnion(d, rightFoot, 4.0);
    d = smoothUnion(d, leftHand, 4.0);
    d = smoothUnion(d, rightHand, 4.0);
    d = smoothUnion(d, antennaLeft, 4.0);
    d = smoothUnion(d, antennaRight, 4.0);
    d = std::min(d, bobbleLeft);
    d = std::min(d, bobbleRight);
    return d;
}

// The seven rainbow colours, red at the top.
const Rgb kRainbow[7] = {
    {0.93, 0.16, 0.22}, {1.00, 0.55, 0.10}, {1.00, 0.86, 0.15}, {0.30, 0.80, 0.28},
    {0.15, 0.62, 0.95}, {0.33, 0.30, 0.85}, {0.62, 0.28, 0.80},
};

// Fill colour inside the silhouette: diagonal rainbow bands with a soft light
// from the upper left and a darker rim, so the round shapes read as round.
Rgb fillColour(Vec2 p, double inside) {
    double band = (199.0 - p.y) * 0.042 + (p.x - 81.5) * 0.012;
    double f = std::floor(band);
    int index = int(std::fmod(std::fmod(f, 7.0) + 7.0, 7.0));
    Rgb c = kRainbow[index];
    // Blend into the neighbour band over about a pixel each side: crisp
    // stripes without stair steps.
    const double soft = 0.05;
    double t = band - f;
    if (t > 1.0 - soft) c = mixRgb(c, kRainbow[(index + 1) % 7], (t - (1.0 - soft)) / soft * 0.5);
    if (t < soft) c = mixRgb(c, kRainbow[(index + 6) % 7], (soft - t) / soft * 0.5);
    double rim = clamp01(1.0 - inside / 9.0);
    c = mixRgb(c, {0, 0, 0}, 0.22 * rim * rim);
    return c;
}

// Premultiplied colour and alpha of one point of the icon.
struct Rgba {
    double r, g, b, a;
};
Rgba over(Rgba top, Rgba under) {
    double k = 1.0 - top.a;
    return {top.r + under.r * k, top.g + under.g * k, top.b + under.b * k, top.a + under.a * k};
}
Rgba opaque(Rgb c) { return {c.r, c.g, c.b, 1.0}; }

Rgba iconSample(Vec2 p) {
    const double outline = 5.0;  // white rim width in pixels
    double d = bodySd(p);
    if (d > outline) return {0, 0, 0, 0};
    if (d > 0.0) return opaque({1, 1, 1});
    Rgba c = opaque(fillColour(p, -d));

    // Face: two eyes with pupils looking up and to the right, highlights, a smile.
    const Vec2 eyes[2] = {{63.0, 134.0}, {100.0, 134.0}};
    for (const Vec2& e : eyes) {
        double white = ellipseSd(p, e, 12.0, 15.0);
        double rim = white - 2.2;
        if (rim < 0.0) c = opaque({0.08, 0.06, 0.12});
        if (white < 0.0) c = opaque({1, 1, 1});
        if (ellipseSd(p, {e.x + 3.0, e.y + 2.0}, 7.0, 8.5) < 0.0) c = opaque({0.08, 0.06, 0.12});
        if (circleSd(p, {e.x + 5.0, e.y + 6.0}, 2.6) < 0.0) c = opaque({1, 1, 1});
    }
    // Smile: a thick arc below the eyes, with rounded ends.
    Vec2 centre{81.5, 112.0};
    double r = length(p.x - centre.x, p.y - centre.y);
    double angle = std::atan2(p.y - centre.y, p.x - centre.x);
    const double radius = 17.0, half = 2.8;
    double a0 = -M_PI * 0.82, a1 = -M_PI * 0.18;
    double smile = 1e9;
    if (angle > a0 && angle < a1) smile = std::fabs(r - radius) - half;
    for (double a : {a0, a1})
        smile = std::min(smile, circleSd(p, {centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)}, half));
    if (smile < 0.0) c = opaque({0.08, 0.06, 0.12});
    // Rosy cheeks, mostly covering the stripe below (premultiplied pink).
    for (double cx : {46.0, 117.0})
        if (ellipseSd(p, {cx, 112.0}, 8.0, 5.0) < 0.0) c = over({0.8, 0.44, 0.56, 0.8}, c);
    // A gloss spot on the upper left of the head.
    if (ellipseSd(p, {55.0, 160.0}, 9.0, 6.0) < 0.0) c = over({0.6, 0.6, 0.6, 0.6}, c);
    return c;
}

// 5 x 5 samples per pixel; the result is premultiplied (over black).
std::vector<Rgba> drawIcon() {
    std::vector<Rgba> out(size_t(kIconWidth) * kIconHeight);
    const int n = 5;
    for (int y = 0; y < kIconHeight; y++) {
        for (int x = 0; x < kIconWidth; x++) {
            Rgba sum{0, 0, 0, 0};
            for (int j = 0; j < n; j++) {
                for (int i = 0; i < n; i++) {
                    Rgba s = iconSample({x + (i + 0.5) / n, y + (j + 0.5) / n});
                    sum = {sum.r + s.r, sum.g + s.g, sum.b + s.b, sum.a + s.a};
                }
            }
            double k = 1.0 / (n * n);
            out[size_t(y) * kIconWidth + x] = {sum.r * k, sum.g * k, sum.b * k, sum.a * k};
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// Palettes.

using Palette = uint8_t[256][4];

// Caption: kUsedEntries opaque greys from black to white; index = grey level.
void captionPalette(Palette palette) {
    std::memset(palette, 0, sizeof(Palette));
    for (int i = 0; i < kUsedEntries; i++) {
        uint8_t v = uint8_t(std::lround(i * 255.0 / (kUsedEntries - 1)));
        palette[i][0] = palette[i][1] = palette[i][2] = v;
        palette[i][3] = 255;
    }
}

std::vector<uint8_t> captionIndices(const std::vector<double>& coverage) {
    std::vector<uint8_t> out(coverage.size());
    for (size_t i = 0; i < coverage.size(); i++) out[i] = uint8_t(std::lround(coverage[i] * (kUsedEntries - 1)));
    return out;
}

double colourDistance(const double* a, const uint8_t* b) {
    double dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
    // Green counts most, blue least, roughly as the eye weighs them.
    return 3.0 * dr * dr + 4.0 * dg * dg + 2.0 * db * db;
}

// Icon: entry 0 is the transparent ground, 1 and 2 black and white, and the
// rest are chosen from the picture by median cut and a few k-means rounds.
// Entry 0 stores a loud magenta: were transparency ever taken for a colour,
// it would show at once.
constexpr double kTransparentBelow = 0.06;  // coverage under which a pixel is ground

std::vector<uint8_t> iconIndicesAndPalette(const std::vector<Rgba>& image, Palette palette) {
    std::memset(palette, 0, sizeof(Palette));
    palette[0][0] = 255; palette[0][1] = 0; palette[0][2] = 255; palette[0][3] = 0;
    const uint8_t fixedColours[2][3] = {{0, 0, 0}, {255, 255, 255}};
    for (int i = 0; i < 2; i++) {
        for (int c = 0; c < 3; c++) palette[1 + i][c] = fixedColours[i][c];
        palette[1 + i][3] = 255;
    }
    const int firstFree = 3;
    const int freeEntries = kUsedEntries - firstFree;

    struct Pixel {
        double c[3];
    };
    std::vector<Pixel> pixels;
    for (const Rgba& p : image)
        if (p.a >= kTransparentBelow) pixels.push_back({{p.r * 255.0, p.g * 255.0, p.b * 255.0}});

    // Median cut: split the box with the widest channel range at its median.
    struct Box {
        size_t begin, end;
    };
    std::vector<Box> boxes{{0, pixels.size()}};
    while (int(boxes.size()) < freeEntries) {
        int best = -1, bestChannel = 0;
        double bestRange = 0.0;
        for (int b = 0; b < int(boxes.size()); b++) {
            if (boxes[b].end - boxes[b].begin < 2) continue;
            for (int c = 0; c < 3; c++) {
                double lo = 1e9, hi = -1e9;
                for (size_t i = boxes[b].begin; i < boxes[b].end; i++) {
                    lo = std::min(lo, pixels[i].c[c]);
                    hi = std::max(hi, pixels[i].c[c]);
                }
                // Weigh by population so big flat areas get exact colours too.
                double range = (hi - lo) * std::sqrt(double(boxes[b].end - boxes[b].begin));
                if (range > bestRange) {
                    bestRange = range;
                    best = b;
                    bestChannel = c;
                }
            }
        }
        if (best < 0) break;
        Box box = boxes[best];
        std::sort(pixels.begin() + box.begin, pixels.begin() + box.end,
                  [&](const Pixel& a, const Pixel& b) { return a.c[bestChannel] < b.c[bestChannel]; });
        size_t middle = (box.begin + box.end) / 2;
        boxes[best] = {box.begin, middle};
        boxes.push_back({middle, box.end});
    }
    std::vector<std::array<double, 3>> centres;
    for (const Box& box : boxes) {
        std::array<double, 3> sum{0, 0, 0};
        for (size_t i = box.begin; i < box.end; i++)
            for (int c = 0; c < 3; c++) sum[c] += pixels[i].c[c];
        double n = double(box.end - box.begin);
        for (int c = 0; c < 3; c++) sum[c] /= n;
        centres.push_back(sum);
    }
    auto writeCentres = [&]() {
        for (size_t i = 0; i < centres.size(); i++) {
            for (int c = 0; c < 3; c++) palette[firstFree + i][c] = uint8_t(std::lround(std::clamp(centres[i][c], 0.0, 255.0)));
            palette[firstFree + i][3] = 255;
        }
    };
    auto nearest = [&](const double* colour) {
        int best = 1;
        double bestDistance = 1e30;
        for (int e = 1; e < firstFree + int(centres.size()); e++) {
            double d = colourDistance(colour, palette[e]);
            if (d < bestDistance) {
                bestDistance = d;
                best = e;
            }
        }
        return best;
    };
    writeCentres();
    for (int round = 0; round < 6; round++) {
        std::vector<std::array<double, 4>> sums(centres.size(), {0, 0, 0, 0});
        for (const Pixel& p : pixels) {
            int e = nearest(p.c);
            if (e < firstFree) continue;
            for (int c = 0; c < 3; c++) sums[e - firstFree][c] += p.c[c];
            sums[e - firstFree][3] += 1.0;
        }
        for (size_t i = 0; i < centres.size(); i++)
            if (sums[i][3] > 0.0)
                for (int c = 0; c < 3; c++) centres[i][c] = sums[i][c] / sums[i][3];
        writeCentres();
    }

    std::vector<uint8_t> out(image.size());
    for (size_t i = 0; i < image.size(); i++) {
        const Rgba& p = image[i];
        if (p.a < kTransparentBelow) {
            out[i] = 0;
            continue;
        }
        double colour[3] = {p.r * 255.0, p.g * 255.0, p.b * 255.0};
        out[i] = uint8_t(nearest(colour));
    }
    return out;
}

// ---------------------------------------------------------------------------
// Output.

void writeArray(FILE* f, const char* name, const std::vector<uint8_t>& bytes) {
    std::fprintf(f, "static const uint8_t %s[%zu] = {\n", name, bytes.size());
    for (size_t i = 0; i < bytes.size(); i++)
        std::fprintf(f, "%s%u,%s", i % 24 == 0 ? "    " : "", bytes[i], i % 24 == 23 || i + 1 == bytes.size() ? "\n" : "");
    std::fprintf(f, "};\n");
}

void writePalette(FILE* f, const Palette palette) {
    std::fprintf(f, "        {\n");
    for (int i = 0; i < 256; i++)
        std::fprintf(f, "%s{%u, %u, %u, %u},%s", i % 6 == 0 ? "            " : " ", palette[i][0], palette[i][1],
                     palette[i][2], palette[i][3], i % 6 == 5 || i == 255 ? "\n" : "");
    std::fprintf(f, "        },\n");
}

// PNG preview with the picture's top row first, transparent entries as they expand.
void writePreview(const std::string& path, const std::vector<uint8_t>& indices, const Palette palette, int width,
                  int height) {
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const uint8_t* entry = palette[indices[size_t(height - 1 - y) * width + x]];
            uint8_t* out = &rgba[(size_t(y) * width + x) * 4];
            for (int c = 0; c < 4; c++) out[c] = entry[3] ? entry[c] : 0;
        }
    }
    stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: generate_palette_images output.cpp [preview-folder]\n");
        return 1;
    }
    static Palette captionPal, iconPal;
    captionPalette(captionPal);
    std::vector<uint8_t> caption = captionIndices(drawCaption());
    std::vector<uint8_t> icon = iconIndicesAndPalette(drawIcon(), iconPal);

    FILE* f = std::fopen(argv[1], "w");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(f, "// Generated by data/generate_palette_images.cpp; do not edit.\n");
    std::fprintf(f, "#include \"data/palette_images.h\"\n\n");
    writeArray(f, "captionIndices", caption);
    writeArray(f, "iconIndices", icon);
    std::fprintf(f, "\nextern const PaletteImage paletteImage = {\n    {\n");
    writePalette(f, captionPal);
    writePalette(f, iconPal);
    std::fprintf(f, "    },\n    {\"frites\", \"prout\"},\n    {captionIndices, iconIndices},\n");
    std::fprintf(f, "    {%d, %d},\n    {%d, %d},\n};\n", kCaptionWidth, kIconWidth, kCaptionHeight, kIconHeight);
    if (std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }

    if (argc > 2) {
        std::string folder = argv[2];
        writePreview(folder + "/caption.png", caption, captionPal, kCaptionWidth, kCaptionHeight);
        writePreview(folder + "/icon.png", icon, iconPal, kIconWidth, kIconHeight);
    }
    return 0;
}
