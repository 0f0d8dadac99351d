// Colour maps: tick values, colours outside and at the ends of the range,
// colours inside the bands against the maps' tables, continuity inside the
// coloured bands, and the range setter.
#include "display/ColorCoding.h"

#include <gtest/gtest.h>

#include "foundation/HlsColour.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

struct Rgba {
    float c[4] = {0.f, 0.f, 0.f, 0.f};
};

Rgba colourOf(const CColorCoding& map, double value)
{
    Rgba out;
    map.getColour(out.c, value);
    return out;
}

void expectColour(const Rgba& got, float r, float g, float b, const char* what)
{
    EXPECT_FLOAT_EQ(got.c[0], r) << what;
    EXPECT_FLOAT_EQ(got.c[1], g) << what;
    EXPECT_FLOAT_EQ(got.c[2], b) << what;
    EXPECT_EQ(got.c[3], 1.0f) << what;
}

CColorCoding coding(int mode, double min, double max)
{
    CColorCoding map;
    map.mode = mode;
    map.setRange(min, max);
    return map;
}

TEST(ColorCoding, RampValuesRunEvenlyAndTwoSidedThroughZero)
{
    for (int i = 0; i <= 8; ++i) {
        EXPECT_DOUBLE_EQ(rampValue(0, 8, i, 8, false), i);
        EXPECT_DOUBLE_EQ(rampValue(-4, 4, i, 8, true), i - 4);
    }
}

TEST(ColorCoding, ValuesOutsideTheRange)
{
    // The band maps: green / red one-sided, black / white two-sided.
    for (int mode : {0, 3}) {
        expectColour(colourOf(coding(mode, 0, 1), -0.5), 0, 1, 0, "below one-sided");
        expectColour(colourOf(coding(mode, 0, 1), 1.5), 1, 0, 0, "above one-sided");
        expectColour(colourOf(coding(mode, -1, 1), -1.5), 0, 0, 0, "below two-sided");
        expectColour(colourOf(coding(mode, -1, 1), 1.5), 1, 1, 1, "above two-sided");
    }
    // The hue maps clamp: outside values take the end bands' colours.
    for (int mode : {1, 2}) {
        CColorCoding map = coding(mode, 0, 1);
        map.hueLow = 0;
        map.count = 360;
        const Rgba first = colourOf(map, 0.0), last = colourOf(map, 1.0 - 1e-9);
        const Rgba below = colourOf(map, -0.5), above = colourOf(map, 1.5);
        for (int k = 0; k < 4; ++k) {
            EXPECT_FLOAT_EQ(below.c[k], first.c[k]) << mode;
            EXPECT_NEAR(above.c[k], last.c[k], 1e-6) << mode;
        }
        EXPECT_EQ(above.c[3], 1.0f);
        EXPECT_FALSE(first.c[0] == 1.f && first.c[1] == 1.f && first.c[2] == 1.f);
    }
    // An empty range has no bands: white.
    float rgba[4];
    hueBandColour(0.3, 1.0, 1.0, rgba, 0, 0, 360, true);
    expectColour(Rgba{{rgba[0], rgba[1], rgba[2], rgba[3]}}, 1, 1, 1, "empty range");
}

TEST(ColorCoding, ColoursAreContinuousAcrossTheTicksInsideTheColouredBands)
{
    struct Case {
        int mode;
        double min, max;
        std::vector<double> ticks; // where neighbouring bands must meet
    };
    const Case cases[] = {{3, 0.0, 6.0, {2.0, 3.0, 4.0}},
                          {2, 0.0, 4.0, {1.0, 2.0, 3.0}},
                          {0, 0.0, 8.0, {1.0, 3.0, 5.0, 7.0}}};
    for (const Case& c : cases) {
        const CColorCoding map = coding(c.mode, c.min, c.max);
        for (double t : c.ticks) {
            const Rgba lo = colourOf(map, t - 1e-9), hi = colourOf(map, t + 1e-9);
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(lo.c[k], hi.c[k], 0.02) << "mode " << c.mode << " at " << t;
        }
    }
}

TEST(ColorCoding, InBandColoursFollowTheMapTables)
{
    // A quarter into each band: the band's hue, lightness and saturation
    // from the tables of the maps, through the HLS conversion.
    struct Case {
        int mode;
        double min, max, value;
        double lightness, hue, saturation;
    };
    const Case cases[] = {
        // bandColour7: hue falling 60 degrees per band, lightness alternating.
        {3, 0, 6, 0.25, 0.125, -15, 0.001},
        {3, 0, 6, 1.25, 0.35, 225, 1.0},
        {3, 0, 6, 2.25, 0.55, 165, 1.0},
        {3, 0, 6, 3.25, 0.35, 105, 1.0},
        {3, 0, 6, 4.25, 0.55, 45, 1.0},
        {3, 0, 6, 5.25, 0.625, -15, 0.001},
        // bandColour9 two-sided: grey ends, hues 300 240 180 0 60 120.
        {0, -4, 4, -3.75, 0.125, 0, 0.001},
        {0, -4, 4, -2.75, 0.35, 300, 1.0},
        {0, -4, 4, -0.75, 0.35, 180, 1.0},
        {0, -4, 4, 0.25, 0.35, 0, 1.0},
        {0, -4, 4, 2.25, 0.35, 120, 1.0},
        {0, -4, 4, 3.25, 0.625, 0, 0.001},
        // bandColour9 one-sided: pairs of hue 120 60 300 0, dark to light.
        {0, 0, 8, 0.25, 0.30, 120, 1.0},
        {0, 0, 8, 1.25, 0.50, 120, 1.0},
        {0, 0, 8, 3.75, 0.60, 60, 1.0},
        {0, 0, 8, 5.5, 0.55, 300, 1.0},
        {0, 0, 8, 6.5, 0.35, 0, 1.0},
        // hueBandColour once round the circle (mode 2): H = 360 - 1.5 h with
        // h = 240 - 60 k - 60 f, whole degrees; bands 0 and 1 light up, then
        // down.
        {2, 0, 4, 0.25, 0.35, 22, 1.0},
        {2, 0, 4, 1.25, 0.55, 112, 1.0},
    };
    for (const Case& c : cases) {
        double r, g, b;
        hlsToRgb(c.lightness, c.hue, c.saturation, r, g, b);
        expectColour(colourOf(coding(c.mode, c.min, c.max), c.value), float(r), float(g), float(b),
                     (std::to_string(c.mode) + " at " + std::to_string(c.value)).c_str());
    }
}

TEST(ColorCoding, SetRangeReachesTheSubclassSetters)
{
    struct Recording : CColorCoding {
        std::vector<double> calls;
        void setMinimum(double v) override
        {
            calls.push_back(-v);
            CColorCoding::setMinimum(v);
        }
        void setMaximum(double v) override
        {
            calls.push_back(v);
            CColorCoding::setMaximum(v);
        }
    } map;
    CColorCoding& base = map;
    base.setRange(2.0, 5.0);
    EXPECT_EQ(map.calls, (std::vector<double>{-2.0, 5.0}));
    EXPECT_EQ(map.minimum, 2.0);
    EXPECT_EQ(map.maximum, 5.0);
}

} // namespace
