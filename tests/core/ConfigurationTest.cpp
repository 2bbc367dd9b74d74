#include "core/Configuration.h"
#include "core/Variant.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

TEST(ConfigurationTest, DefaultsThenPlatformDefaults) {
    Configuration c;
    c.fullscreen = false;
    c.precompiledScripts = false;
    c.scrollBelowFraction = 0;
    c.setDefaults();
    EXPECT_TRUE(c.fullscreen);
    EXPECT_TRUE(c.precompiledScripts);
    EXPECT_TRUE(c.showFps) << "main turns this off after the defaults";
    EXPECT_TRUE(c.useCache);
    EXPECT_EQ(c.mobile, isMobileBuild());
    EXPECT_EQ(c.scrollBelowFraction, 0.25);
    EXPECT_EQ(c.activeRectToleranceFraction, 0.014641288433382138);
    EXPECT_EQ(c.pointerMoveToleranceFraction, 0.007320644216691069);
    EXPECT_EQ(c.framerate, 0u);
}

TEST(ConfigurationTest, WindowSizeKeepsTheExactAspect) {
    Configuration c;
    setWindowSize(c, 1000.0 / 9 * 16, 1000);
    EXPECT_EQ(c.windowWidth, 1777u);
    EXPECT_EQ(c.windowHeight, 1000u);
    EXPECT_DOUBLE_EQ(c.aspect, 16.0 / 9);
    EXPECT_FALSE(c.fullscreen);
}

TEST(ConfigurationTest, DerivedViewportValues) {
    Configuration c;
    c.windowWidth = 1000;
    c.windowHeight = 800;
    c.contentWidth = 600;
    c.contentHeight = 800;
    EXPECT_EQ(c.centreOffset(), Vec2(200, 0));
    Rect v = c.viewportRect();
    EXPECT_DOUBLE_EQ(v.x, -0.6);
    EXPECT_DOUBLE_EQ(v.y, -1.0);
    EXPECT_DOUBLE_EQ(v.w, 1.2);
    EXPECT_DOUBLE_EQ(v.h, 2.0);
    EXPECT_DOUBLE_EQ(c.activeRectTolerance(), 600 * 0.014641288433382138);
    EXPECT_DOUBLE_EQ(c.pointerMoveTolerance(), 600 * 0.007320644216691069);

    // Content briefly larger than the window (a resize in flight) must not wrap around.
    c.contentWidth = 1100;
    EXPECT_EQ(c.centreOffset().x, -50);
}

TEST(ConfigurationTest, FrameDelayNeverDividesByZero) {
    Configuration c;
    c.framerate = 30;
    EXPECT_EQ(c.frameDelayCentiseconds(), std::make_pair(uint64_t(3), uint64_t(10)));
    c.framerate = 60;
    EXPECT_EQ(c.frameDelayCentiseconds(), std::make_pair(uint64_t(1), uint64_t(40)));
    c.framerate = 0; // the display's rate, not yet known
    EXPECT_EQ(c.frameDelayCentiseconds(), std::make_pair(uint64_t(1), uint64_t(40)));
    c.framerate = 200;
    EXPECT_EQ(c.frameDelayCentiseconds(), std::make_pair(uint64_t(0), uint64_t(100)));
}

TEST(ConfigurationTest, CopiesShareThePaperAndCopyTheRest) {
    Configuration a;
    a.env.emplace("A", "1");
    a.bookName.append("book");
    Configuration b = a;
    b.env.insert_or_assign("A", std::string(1, '2'));
    EXPECT_EQ(a.env.at("A"), "1");
    EXPECT_EQ(b.bookName, "book");
}

TEST(VariantTest, DesktopBuild) {
    EXPECT_TRUE(hasPointerInput());
    EXPECT_FALSE(isMobileBuild());
    EXPECT_NO_FATAL_FAILURE(variantShutdown());
    EXPECT_NO_FATAL_FAILURE(variantTick());
    EXPECT_NO_FATAL_FAILURE(triggerAchievement("any"));
}

} // namespace
} // namespace hv
