#include "core/ColourPalette.h"
#include "core/PaletteColour.h"
#include "support/Printed.h"

#include <gtest/gtest.h>

#include <climits>

namespace hv {
namespace {

using test::printed;

TEST(PaletteColourTest, ParsesRowAndOneBasedTone) {
    struct Case {
        const char* text;
        int32_t row;
        int32_t tone;
    } cases[] = {{"3.1", 3, 0}, {"12.10", 12, 9}, {"1.2.3", 1, 1}, {"x.y", 0, -1}, {"7.4", 7, 3}};
    for (const Case& c : cases) {
        auto [colour, ok] = PaletteColour::parse(c.text);
        EXPECT_TRUE(ok) << c.text;
        EXPECT_EQ(colour.kind, PaletteColour::Palette) << c.text;
        EXPECT_EQ(colour.colour, c.row) << c.text;
        EXPECT_EQ(colour.tone, c.tone) << c.text;
        EXPECT_EQ(colour.opacity, 1.0);
    }
    EXPECT_EQ(PaletteColour::parse("7.4").first.toString(), "7.4");
}

TEST(PaletteColourTest, FailuresAndTheirMessages) {
    for (const char* text : {".5", "5.", "5"}) {
        testing::internal::CaptureStderr();
        auto [colour, ok] = PaletteColour::parse(text);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << text;
        EXPECT_FALSE(ok);
        EXPECT_EQ(colour.kind, PaletteColour::Invalid);
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(PaletteColour::parse("").second);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "PaletteColour::parse(): blank colour passed\n");
}

TEST(PaletteColourTest, HugeNumbersSaturate) {
    auto [big, ok] = PaletteColour::parse("99999999999999999999.99999999999999999999");
    EXPECT_TRUE(ok);
    EXPECT_EQ(big.colour, INT32_MAX);
    EXPECT_EQ(big.tone, INT32_MAX - 1);
    auto [small, ok2] = PaletteColour::parse("-99999999999.-99999999999");
    EXPECT_TRUE(ok2);
    EXPECT_EQ(small.colour, INT32_MIN);
    EXPECT_EQ(small.tone, INT32_MIN);
    EXPECT_EQ(small.toString(), "-2147483648.-2147483647");
    EXPECT_EQ(PaletteColour(1, INT32_MAX).toString(), "1.2147483648");
}

TEST(PaletteColourTest, Printer) {
    EXPECT_EQ(printed(PaletteColour()), "PaletteColour(Invalid\n");
    EXPECT_EQ(printed(PaletteColour::fromColour(Colour(1, 0, 0.5, 1))), "PaletteColour(Colour(1, 0, 0.5, 1))");
    PaletteColour p(2, 3);
    p.opacity = 0.5;
    EXPECT_EQ(printed(p), "PaletteColour(2, 3, 0.5)");
}

TEST(ColourPaletteTest, Lookups) {
    ColourPalette palette;
    EXPECT_EQ(palette[PaletteColour(0, 10)], Colour(1, 1, 1, 1));
    EXPECT_EQ(palette[PaletteColour(0, 0)], Colour(0, 0, 0, 1));
    EXPECT_EQ(palette[PaletteColour(0, 5)], Colour(0.5, 0.5, 0.5, 1));
    EXPECT_EQ(palette[PaletteColour()], Colour(0, 0, 0, 1));
    EXPECT_EQ(palette[PaletteColour::fromColour(Colour(0.1, 0.2, 0.3, 0.4))], Colour(0.1, 0.2, 0.3, 0.4));

    testing::internal::CaptureStderr();
    EXPECT_EQ(palette[PaletteColour(0, 11)], fallbackColour());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ColourPalette::operator[] tone out of range\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(palette[PaletteColour(1, 0)], fallbackColour());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ColourPalette::operator[PaletteColour(1, 0, 1)] colour out of range\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(palette[PaletteColour(0, -1)], fallbackColour());
    EXPECT_EQ(palette[PaletteColour(-1, 0)], fallbackColour());
    testing::internal::GetCapturedStderr();
}

TEST(ColourPaletteTest, OpacityMultipliesAlphaOnly) {
    ColourPalette palette;
    palette.rows.push_back({Colour(0.2, 0.4, 0.6, 0.8)});
    PaletteColour p(1, 0);
    p.opacity = 0.5;
    Colour c = palette[p];
    EXPECT_DOUBLE_EQ(c.a, 0.4);
    EXPECT_EQ(c.r, 0.2);
    EXPECT_EQ(c.g, 0.4);
    EXPECT_EQ(c.b, 0.6);
}

TEST(ColourFromHexTest, Forms) {
    for (const char* text : {"FF0000", "ff0000FF"}) {
        auto [c, ok] = colourFromHex(text);
        EXPECT_TRUE(ok) << text;
        EXPECT_EQ(c, Colour(1, 0, 0, 1));
    }
    auto [half, ok] = colourFromHex("00800080");
    EXPECT_TRUE(ok);
    EXPECT_DOUBLE_EQ(half.g, 128 / 255.0);
    EXPECT_DOUBLE_EQ(half.a, 128 / 255.0);
    for (const char* text : {"#ff0000", "ff000", "00000G", "", "ff0000f", "fffffffff"}) {
        auto [c, bad] = colourFromHex(text);
        EXPECT_FALSE(bad) << text;
        EXPECT_EQ(c, fallbackColour()) << text;
    }
}

} // namespace
} // namespace hv
