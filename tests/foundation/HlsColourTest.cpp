#include "foundation/HlsColour.h"

#include <gtest/gtest.h>

namespace {

struct Rgb {
    double r, g, b;
};

Rgb convert(double lightness, double hue, double saturation)
{
    Rgb c{};
    hlsToRgb(lightness, hue, saturation, c.r, c.g, c.b);
    return c;
}

} // namespace

TEST(HlsColour, PrimaryHuesGivePureColours)
{
    const struct {
        double hue;
        Rgb expected;
    } cases[] = {{0.0, {1, 0, 0}}, {120.0, {0, 1, 0}}, {240.0, {0, 0, 1}}, {360.0, {1, 0, 0}}};
    for (const auto& c : cases) {
        const Rgb rgb = convert(0.5, c.hue, 1.0);
        EXPECT_NEAR(rgb.r, c.expected.r, 1e-12) << "hue " << c.hue;
        EXPECT_NEAR(rgb.g, c.expected.g, 1e-12) << "hue " << c.hue;
        EXPECT_NEAR(rgb.b, c.expected.b, 1e-12) << "hue " << c.hue;
    }
}

TEST(HlsColour, SecondaryHueAndLightnessAboveHalf)
{
    // Yellow at hue 60; lightness 0.75 with full saturation lightens it
    // towards white (m2 = l + s - l s = 1, m1 = 0.5).
    Rgb rgb = convert(0.5, 60.0, 1.0);
    EXPECT_NEAR(rgb.r, 1.0, 1e-12);
    EXPECT_NEAR(rgb.g, 1.0, 1e-12);
    EXPECT_NEAR(rgb.b, 0.0, 1e-12);
    rgb = convert(0.75, 0.0, 1.0);
    EXPECT_NEAR(rgb.r, 1.0, 1e-12);
    EXPECT_NEAR(rgb.g, 0.5, 1e-12);
    EXPECT_NEAR(rgb.b, 0.5, 1e-12);
}

TEST(HlsColour, ZeroSaturationIsGrey)
{
    for (double hue : {0.0, 77.0, 300.0}) {
        const Rgb rgb = convert(0.3, hue, 0.0);
        EXPECT_EQ(rgb.r, 0.3);
        EXPECT_EQ(rgb.g, 0.3);
        EXPECT_EQ(rgb.b, 0.3);
    }
}
