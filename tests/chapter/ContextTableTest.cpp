#include "chapter/ContextTable.h"

#include <gtest/gtest.h>

namespace hv {
namespace {

TEST(ContextTableTest, NewContextsTakeTheirGroupAndInheritTheCurrentFrame) {
    ContextTable table;
    table.addContext(ContextTable::SameGroup, 0);
    table.currentFrame().typeface = 4;
    table.currentFrame().setDuration(2.0);
    EXPECT_EQ(table.addContext(ContextTable::SameGroup, 0), 1);
    EXPECT_EQ(table.context(1).frames.back().typeface, 4);
    EXPECT_EQ(table.context(1).frames.back().duration, 2.0);
    EXPECT_EQ(table.context(table.addContext(ContextTable::NewGroup, 0)).group, 1u);
    EXPECT_EQ(table.context(table.addContext(ContextTable::NewGroup, 0)).group, 2u);
    EXPECT_EQ(table.context(table.addContext(ContextTable::GivenGroup, 2)).group, 2u);
    // The current context has ended: the next one starts from the default frame in its group.
    table.destroyContext(0);
    EXPECT_EQ(table.addContext(ContextTable::SameGroup, 0), 5);
    EXPECT_EQ(table.context(5).frames.size(), 1u);
    EXPECT_EQ(table.context(5).frames.back().typeface, -1);
    EXPECT_EQ(table.context(5).frames.back().duration, 0.3);
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
    // Popping or restoring past what was pushed or saved ends the run with its line.
    EXPECT_DEATH(table.popContextGroup(), "err: ContextTable::popContextGroup\\(\\) no groups left");
    ContextTable fresh;
    fresh.addContext(ContextTable::SameGroup, 0);
    EXPECT_DEATH(fresh.restoreState(), "err: ContextTable::restoreState: restoring state too far");
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

    // A dead context that was waiting for the pointer is not released below zero later.
    table.setCurrentContext(1);
    table.waitMouseEvent();
    table.destroyContext(1);
    testing::internal::CaptureStderr();
    table.deliverMouseEvent();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_DEATH(table.setCurrentContext(4), "err: Did not recognise context 4");
}

} // namespace
} // namespace hv
