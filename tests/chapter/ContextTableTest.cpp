#include "chapter/Animation.h"
#include "chapter/ContextTable.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

TEST(ContextTableTest, NewContextsTakeTheirGroupAndInheritTheCurrentFrame) {
    ContextTable table;
    EXPECT_EQ(table.addContext(ContextTable::SameGroup, 0), 0);
    const ContextFrame& first = table.context(0).frames.back();
    EXPECT_EQ(table.context(0).group, 0u);
    EXPECT_EQ(first.typeface, -1);
    EXPECT_EQ(first.duration, 0.3);
    EXPECT_EQ(first.timing, ContextFrame::Duration);
    EXPECT_TRUE(first.animationEnabled);

    table.currentFrame().typeface = 4;
    table.currentFrame().setDuration(2.0);
    EXPECT_EQ(table.addContext(ContextTable::SameGroup, 0), 1);
    EXPECT_EQ(table.context(1).frames.back().typeface, 4);
    EXPECT_EQ(table.context(1).frames.back().duration, 2.0);
    EXPECT_EQ(table.addContext(ContextTable::NewGroup, 0), 2);
    EXPECT_EQ(table.addContext(ContextTable::NewGroup, 0), 3);
    EXPECT_EQ(table.context(2).group, 1u);
    EXPECT_EQ(table.context(3).group, 2u);
    EXPECT_EQ(table.addContext(ContextTable::GivenGroup, 2), 4);
    EXPECT_EQ(table.context(4).group, 2u);
    EXPECT_EQ(table.currentContextIndex(), 0u);
    // The current context has ended: the next one starts from the default frame in its group.
    table.destroyContext(0);
    EXPECT_EQ(table.addContext(ContextTable::SameGroup, 0), 5);
    EXPECT_EQ(table.context(5).frames.size(), 1u);
    EXPECT_EQ(table.context(5).frames.back().typeface, -1);
    EXPECT_EQ(table.context(5).group, 0u);

    // New groups run only once pushed or blessed; pushing pauses the groups below.
    EXPECT_TRUE(table.isGroupActive(0));
    EXPECT_FALSE(table.isGroupActive(2));
    table.pushContextGroup(1);
    EXPECT_TRUE(table.isGroupActive(2));
    EXPECT_FALSE(table.isGroupActive(0));
    table.blessGroup(0);
    EXPECT_TRUE(table.isGroupActive(0));
    table.popContextGroup();
    EXPECT_FALSE(table.isGroupActive(2));
    EXPECT_DEATH(table.popContextGroup(), "err: ContextTable::popContextGroup\\(\\) no groups left");
}

TEST(ContextTableTest, HoldsRunnabilityAndDeadEntries) {
    ContextTable table;
    for (int i = 0; i < 4; ++i) table.addContext(ContextTable::SameGroup, 0);
    table.holdContext(1);
    table.waitMouseEvent(); // context 0
    table.waitMouseEvent();
    EXPECT_EQ(table.context(0).lrc, 1);
    testing::internal::CaptureStderr();
    table.releaseContext(3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "lrc negative for 3, value = -1\n");
    table.destroyContext(2);
    std::vector<uint64_t> runnable;
    table.collectRunnable(runnable);
    EXPECT_EQ(runnable, std::vector<uint64_t>{});
    table.deliverMouseEvent();
    table.holdContext(3);
    table.collectRunnable(runnable);
    EXPECT_EQ(runnable, (std::vector<uint64_t>{0, 3}));
    EXPECT_EQ(table.contextCount(), 4u);
    EXPECT_FALSE(table.isContextAlive(2));

    // A dead context that was waiting for the pointer is not released below zero later.
    table.setCurrentContext(1);
    table.waitMouseEvent();
    table.destroyContext(1);
    testing::internal::CaptureStderr();
    table.deliverMouseEvent();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_DEATH(table.setCurrentContext(4), "err: Did not recognise context 4");
}

TEST(ContextTableTest, SavedStatesAndTimingReachNewAnimations) {
    ContextTable table;
    table.addContext(ContextTable::SameGroup, 0);
    EXPECT_DEATH(table.restoreState(), "err: ContextTable::restoreState: restoring state too far");
    table.saveState();
    table.setAnimationEnabled(false);
    table.currentFrame().setScrollLimits({1.5, 3.0, 0.25, 0.5, 2});
    Animation scrolled;
    scrolled.elapsed = 7;
    table.currentFrame().applyTo(scrolled);
    EXPECT_EQ(scrolled.driver, Animation::ScrollLimits);
    EXPECT_EQ(scrolled.startRow, 1.5);
    EXPECT_EQ(scrolled.endMargin, 0.5);
    EXPECT_EQ(scrolled.linkType, 2);
    EXPECT_EQ(scrolled.elapsed, 0.0);
    EXPECT_EQ(scrolled.duration, 1.0);
    table.currentFrame().setSlidingBlock({3, 1});
    Animation slid;
    table.currentFrame().applyTo(slid);
    EXPECT_EQ(slid.driver, Animation::SlidingBlock);
    EXPECT_EQ(slid.slidingCanvas, 3);
    EXPECT_EQ(slid.slidingParam, 1);
    table.restoreState();
    EXPECT_TRUE(table.currentFrame().animationEnabled);
    Animation timed;
    table.currentFrame().applyTo(timed);
    EXPECT_EQ(timed.driver, Animation::Duration);
    EXPECT_EQ(timed.duration, 0.3);
}

} // namespace
} // namespace hv
