#include "chapter/RowOffsets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace hv {
namespace {

TEST(RowOffsetsTest, RowsPositionsAndHeights) {
    RowOffsets rows;
    EXPECT_EQ(rows.size(), 1u);
    rows.pendingHeight = 40;
    EXPECT_EQ(rows.positionOfRow(0.5), 20);
    EXPECT_EQ(rows.positionOfRow(-1), 0);
    rows.addRow(0); // 0, 40
    rows.pendingHeight = 60;
    rows.addRow(0); // 0, 40, 100
    rows.pendingHeight = 10;
    rows.position = 30;
    rows.addRow(1); // the scroll position, even above the last boundary
    EXPECT_EQ(rows.boundaries, (std::vector<double>{0, 40, 100, 30}));
    EXPECT_EQ(rows.pendingHeight, 0);
    rows.pendingHeight = 8;
    EXPECT_EQ(rows.heightFromEnd(0), 8);
    EXPECT_EQ(rows.heightFromEnd(2), 60);
    EXPECT_EQ(rows.heightFromEnd(-1), 0);
    EXPECT_EQ(rows.heightFromEnd(9), 0);

    struct Case {
        double row;
        double y;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (Case c : {Case{1.5, 70}, Case{3.5, 34}, Case{50, 38}, Case{1e300, 38}, Case{inf, 38}, Case{nan, 0},
                   Case{-inf, 0}}) {
        EXPECT_EQ(rows.positionOfRow(c.row), c.y) << c.row;
    }
    rows.windBack(2);
    EXPECT_EQ(rows.boundaries, (std::vector<double>{0, 40}));
    EXPECT_EQ(rows.pendingHeight, 0);
}

TEST(RowOffsetsTest, VisibleRows) {
    RowOffsets rows;
    EXPECT_EQ(rows.visibleRowRange(0, 100), Range(0, 0));
    for (double h : {50.0, 50.0, 50.0}) {
        rows.pendingHeight = h;
        rows.addRow(0);
    }
    // Boundaries 0, 50, 100, 150; the open row starts at 150.
    struct Case {
        double top, bottom;
        Range range;
    };
    for (Case c : {Case{0, 60, Range(0, 2)}, Case{55, 90, Range(1, 1)}, Case{60, 400, Range(1, 3)},
                   Case{140, 200, Range(2, 2)}, Case{500, 600, Range(3, 1)}}) {
        EXPECT_EQ(rows.visibleRowRange(c.top, c.bottom), c.range) << c.top << ".." << c.bottom;
    }
}

} // namespace
} // namespace hv
