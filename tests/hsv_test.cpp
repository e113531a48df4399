// HSV/RGB conversion against a separately written reference (the chroma
// form of the hexcone model) over a grid of inputs, plus the fixed points.
#include "tests/support/test_support.h"
#include "somnel/hsv.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

struct RGB {
    double r, g, b;
};

// Chroma/offset formulation: C = v·s, X = C·(1 − |H' mod 2 − 1|), m = v − C.
RGB refHsvToRgb(int h, double s, double v) {
    s = std::clamp(s, 0.0, 1.0);
    v = std::clamp(v, 0.0, 1.0);
    double hd = std::fmod(static_cast<double>(h), 360.0);
    if (hd < 0) hd += 360.0;
    double hp = hd / 60.0;
    double c = v * s;
    double x = c * (1 - std::fabs(std::fmod(hp, 2.0) - 1));
    double m = v - c;
    RGB o{};
    switch (static_cast<int>(hp)) {
    case 0: o = {c, x, 0}; break;
    case 1: o = {x, c, 0}; break;
    case 2: o = {0, c, x}; break;
    case 3: o = {0, x, c}; break;
    case 4: o = {x, 0, c}; break;
    default: o = {c, 0, x}; break;
    }
    return {(o.r + m) * 65535, (o.g + m) * 65535, (o.b + m) * 65535};
}

// Normalised-distance formulation: each channel's distance from the maximum.
void refRgbToHsv(unsigned r16, unsigned g16, unsigned b16, double *h, double *s, double *v) {
    double r = r16 / 65535.0, g = g16 / 65535.0, b = b16 / 65535.0;
    double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    *v = mx;
    if (mx == mn) {
        *h = 0;
        *s = 0;
        return;
    }
    *s = (mx - mn) / mx;
    double rc = (mx - r) / (mx - mn), gc = (mx - g) / (mx - mn), bc = (mx - b) / (mx - mn);
    double hh;
    if (r == mx)
        hh = bc - gc;
    else if (g == mx)
        hh = 2 + rc - bc;
    else
        hh = 4 + gc - rc;
    hh = std::fmod(hh / 6.0 + 1.0, 1.0);
    *h = hh * 360;
}

// The truncated channel may differ from the reference's by one where the
// exact value sits on an integer.
void expectChannelsNear(int h, double s, double v) {
    unsigned short r, g, b;
    hsv_to_rgb(h, s, v, &r, &g, &b);
    RGB ref = refHsvToRgb(h, s, v);
    EXPECT_NEAR(r, ref.r, 1.0) << "h=" << h << " s=" << s << " v=" << v;
    EXPECT_NEAR(g, ref.g, 1.0) << "h=" << h << " s=" << s << " v=" << v;
    EXPECT_NEAR(b, ref.b, 1.0) << "h=" << h << " s=" << s << " v=" << v;
}

}  // namespace

TEST(HsvToRgb, MatchesReferenceOverGrid) {
    const double levels[] = {-0.5, 0.0, 0.05, 0.1, 0.25, 1 / 3.0, 0.5, 0.66, 0.75, 0.9, 0.99, 1.0, 1.5};
    for (int h = -725; h <= 1085; h += 5)
        for (double s : levels)
            for (double v : levels) expectChannelsNear(h, s, v);
    // every integer hue at full and half strength
    for (int h = 0; h < 360; h++) {
        expectChannelsNear(h, 1.0, 1.0);
        expectChannelsNear(h, 0.5, 0.8);
    }
}

TEST(HsvToRgb, FixedPoints) {
    unsigned short r, g, b;
    hsv_to_rgb(120, 1, 1, &r, &g, &b);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 65535);
    EXPECT_EQ(b, 0);
    hsv_to_rgb(480, 1, 1, &r, &g, &b);  // hue taken modulo 360
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 65535);
    EXPECT_EQ(b, 0);
    hsv_to_rgb(-240, 1, 1, &r, &g, &b);  // a negative hue counts back from 360
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 65535);
    EXPECT_EQ(b, 0);
    hsv_to_rgb(-1, 1, 1, &r, &g, &b);
    unsigned short r2, g2, b2;
    hsv_to_rgb(359, 1, 1, &r2, &g2, &b2);
    EXPECT_EQ(r, r2);
    EXPECT_EQ(g, g2);
    EXPECT_EQ(b, b2);
    hsv_to_rgb(240, 7.0, 3.0, &r, &g, &b);  // clamped to 1, 1
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 65535);
    hsv_to_rgb(77, 0, 0.5, &r, &g, &b);  // grey: no hue
    EXPECT_EQ(r, 32767);
    EXPECT_EQ(g, 32767);
    EXPECT_EQ(b, 32767);
    hsv_to_rgb(300, 1, -2, &r, &g, &b);
    EXPECT_EQ(r | g | b, 0);
}

TEST(RgbToHsv, MatchesReferenceOverGrid) {
    const unsigned levels[] = {0, 1, 2, 255, 256, 257, 4096, 21845, 32767, 32768, 43690, 65279, 65534, 65535};
    auto check = [](unsigned r, unsigned g, unsigned b) {
        int h;
        double s, v, rh, rs, rv;
        rgb_to_hsv(r, g, b, &h, &s, &v);
        refRgbToHsv(r, g, b, &rh, &rs, &rv);
        SCOPED_TRACE(testing::Message() << "rgb " << r << "," << g << "," << b);
        EXPECT_GE(h, 0);
        EXPECT_LE(h, 359);
        EXPECT_DOUBLE_EQ(v, rv);
        EXPECT_NEAR(s, rs, 1e-12);
        // truncated degrees: the reference lies in [h, h + 1), allowing for
        // rounding right at an integer and for the wrap at 360
        double d = rh - h;
        if (d < -180) d += 360;
        EXPECT_GT(d, -1e-6);
        EXPECT_LT(d, 1 + 1e-6);
    };
    for (unsigned r : levels)
        for (unsigned g : levels)
            for (unsigned b : levels) check(r, g, b);
    std::mt19937 gen(12345);
    std::uniform_int_distribution<unsigned> chan(0, 65535);
    for (int i = 0; i < 20000; i++) check(chan(gen), chan(gen), chan(gen));
}

TEST(RgbToHsv, FixedPointsAndTies) {
    int h;
    double s, v;
    rgb_to_hsv(0, 0, 0, &h, &s, &v);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, 0);
    EXPECT_EQ(v, 0);
    rgb_to_hsv(30000, 30000, 30000, &h, &s, &v);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, 0);
    EXPECT_DOUBLE_EQ(v, 30000 / 65535.0);
    rgb_to_hsv(0, 0, 65535, &h, &s, &v);
    EXPECT_EQ(h, 240);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(v, 1);
    rgb_to_hsv(65535, 65535, 0, &h, &s, &v);  // red/green tie: yellow
    EXPECT_EQ(h, 60);
    rgb_to_hsv(0, 65535, 65535, &h, &s, &v);  // green/blue tie: cyan
    EXPECT_EQ(h, 180);
    rgb_to_hsv(65535, 0, 65535, &h, &s, &v);  // red/blue tie: magenta
    EXPECT_EQ(h, 300);
    rgb_to_hsv(65535, 0, 1, &h, &s, &v);  // just short of a full turn
    EXPECT_EQ(h, 359);
}
