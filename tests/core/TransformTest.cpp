#include "core/Transform.h"
#include "support/Printed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace hv {
namespace {

using test::printed;

TEST(TransformTest, DefaultIsTrivialAndFullyInitialised) {
    Transform t;
    EXPECT_TRUE(t._isTrivial());
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 3; ++c) EXPECT_EQ(t.element(r, c), r == c ? 1.0 : 0.0);
    // Every stored entry is defined, so copying or printing never reads garbage.
    for (int i = 1; i < 9; ++i) EXPECT_TRUE(std::isfinite(t.m[i]));
    Vec2 p(0.1234567890123, -98765.4321);
    EXPECT_EQ(t.apply(p), p);
    EXPECT_EQ(t.determinant(), 1.0);
    EXPECT_TRUE(t.inverse()._isTrivial());
    EXPECT_EQ(printed(t), "[1, 0, 0; 0, 1, 0; 0, 0, 1]");
}

TEST(TransformTest, MakersAreNeverTrivial) {
    Transform zero = Transform::translation(Vec2(0, 0));
    EXPECT_FALSE(zero._isTrivial());
    EXPECT_TRUE(zero == Transform());
    EXPECT_TRUE(Transform() == zero);
    EXPECT_FALSE(Transform::scale(1, 1)._isTrivial());
    EXPECT_FALSE(Transform::rotation(0)._isTrivial());
    EXPECT_EQ(printed(Transform::translation(Vec2(2, -3))), "[1, 0, 2; 0, 1, -3; 0, 0, 1]");
}

TEST(TransformTest, EqualityTolerance) {
    Transform a = Transform::scale(2, 3);
    Transform b = a;
    b.m[4] += 5e-8;
    EXPECT_TRUE(a == b);
    b.m[4] = 3 + 2e-7;
    EXPECT_TRUE(a != b);
    Transform nan = a;
    nan.m[2] = NAN;
    EXPECT_TRUE(nan != nan);
    EXPECT_TRUE(Transform() != Transform::translation(Vec2(1e-6, 0)));
}

TEST(TransformTest, MultiplyOrderAndTrivialShortCuts) {
    Transform s = Transform::scale(2, 2);
    Transform t = Transform::translation(Vec2(1, 0));
    // b applies first.
    EXPECT_EQ(Transform::multiply(t, s).apply(Vec2(1, 1)), Vec2(3, 2));
    EXPECT_EQ(Transform::multiply(s, t).apply(Vec2(1, 1)), Vec2(4, 2));
    for (const Transform& product : {Transform::multiply(Transform(), s), Transform::multiply(s, Transform())}) {
        EXPECT_FALSE(product._isTrivial());
        for (int i = 0; i < 9; ++i) EXPECT_EQ(product.m[i], s.m[i]);
    }
    EXPECT_TRUE(Transform::multiply(Transform(), Transform())._isTrivial());

    Transform inPlace;
    inPlace *= Transform();
    EXPECT_TRUE(inPlace._isTrivial());
    inPlace *= t;
    inPlace *= s;
    EXPECT_EQ(inPlace.apply(Vec2(1, 1)), Vec2(3, 2));
}

TEST(TransformTest, InverseAndDeterminant) {
    Transform inv = Transform::scale(2, 4).inverse();
    EXPECT_EQ(printed(inv), "[0.5, 0, 0; 0, 0.25, 0; 0, 0, 1]");
    Transform m = Transform::multiply(Transform::translation(Vec2(3, -7)),
                                      Transform::multiply(Transform::rotation(0.7), Transform::scale(2, 0.5)));
    EXPECT_NEAR(m.determinant(), 1.0, 1e-12);
    Vec2 p(1.5, -2.25);
    Vec2 back = m.inverse().apply(m.apply(p));
    EXPECT_NEAR(back.x, p.x, 1e-12);
    EXPECT_NEAR(back.y, p.y, 1e-12);
}

TEST(TransformTest, CircleRadiusUsesLargestStretch) {
    Circle c = Transform::scale(2, 3).applyToCircle(Circle(Vec2(1, 1), 1));
    EXPECT_EQ(c.centre, Vec2(2, 3));
    EXPECT_DOUBLE_EQ(c.radius, 3);
    Circle same = Transform().applyToCircle(Circle(Vec2(5, 6), 7));
    EXPECT_EQ(same.centre, Vec2(5, 6));
    EXPECT_EQ(same.radius, 7);

    // Non-uniform scale then a 45 degree rotation: each row's norm is sqrt((100 + 1) / 2)
    // ~ 7.1, but the circle is stretched by 10 along one direction.
    Transform t = Transform::multiply(Transform::rotation(M_PI / 4), Transform::scale(10, 1));
    EXPECT_NEAR(t.applyToCircle(Circle(Vec2(), 1)).radius, 10, 1e-9);
}

TEST(TransformTest, CircleCoversEveryTransformedPoint) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<double> any(-5, 5);
    std::uniform_real_distribution<double> angle(0, 2 * M_PI);
    for (int trial = 0; trial < 2000; ++trial) {
        Transform t = Transform::translation(Vec2(any(rng), any(rng)));
        t *= Transform::rotation(angle(rng));
        t *= Transform::scale(any(rng), any(rng));
        t *= Transform::rotation(angle(rng));
        Circle circle(Vec2(any(rng), any(rng)), std::fabs(any(rng)));
        Circle mapped = t.applyToCircle(circle);
        for (int k = 0; k < 32; ++k) {
            double a = angle(rng);
            double r = circle.radius * std::sqrt(std::uniform_real_distribution<double>(0, 1)(rng));
            Vec2 p = t.apply(circle.centre + Vec2(std::cos(a), std::sin(a)) * r);
            ASSERT_LE(p.distanceTo(mapped.centre), mapped.radius * (1 + 1e-9) + 1e-9)
                << "trial " << trial << " transform " << t;
        }
    }
}

} // namespace
} // namespace hv
