#include "chapter/RowOffsets.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace hv {
namespace {

TEST(RowOffsetsTest, RowsPositionsHeightsAndVisibleRanges) {
    RowOffsets rows;
    EXPECT_EQ(rows.visibleRowRange(0, 100), Range(0, 0));
    rows.pendingHeight = 40;
    EXPECT_EQ(rows.positionOfRow(0.5), 20); // the open row reaches to the pending height
    rows.addRow(0);
    rows.pendingHeight = 60;
    rows.addRow(0);
    rows.pendingHeight = 10;
    rows.position = 30;
    rows.addRow(1); // the scroll position, even above the last boundary
    EXPECT_EQ(rows.boundaries, (std::vector<double>{0, 40, 100, 30}));
    EXPECT_EQ(rows.pendingHeight, 0);
    rows.pendingHeight = 8;
    for (auto [n, height] : {std::pair{0, 8.0}, {2, 60.0}, {-1, 0.0}, {9, 0.0}})
        EXPECT_EQ(rows.heightFromEnd(n), height) << n;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::pair<double, double> ys[] = {{1.5, 70}, {3.5, 34}, {50, 38}, {1e300, 38},
                                            {inf, 38}, {nan, 0},  {-inf, 0}};
    for (auto [row, y] : ys) EXPECT_EQ(rows.positionOfRow(row), y) << row;
    rows.windBack(2);
    EXPECT_EQ(rows.boundaries, (std::vector<double>{0, 40}));
    EXPECT_EQ(rows.pendingHeight, 0);

    rows.boundaries = {0, 40, 100, 150}; // the open row starts at 150
    const std::tuple<double, double, Range> cases[] = {
        {0, 60, {0, 2}}, {50, 90, {1, 1}}, {60, 400, {1, 3}}, {140, 200, {2, 2}}, {500, 600, {3, 1}}};
    for (auto [top, bottom, range] : cases)
        EXPECT_EQ(rows.visibleRowRange(top, bottom), range) << top << ".." << bottom;
}

} // namespace
} // namespace hv
