#include <gtest/gtest.h>

#include "platform/archive/GeometryStrings.h"

using namespace GeometryStrings;

TEST(GeometryStrings, RangesUseTheBracedTextAndParseLeniently) {
    EXPECT_EQ(stringFromRange({12, 3}), "{12, 3}");
    EXPECT_EQ(rangeFromString("{12, 3}"), (IndexRange{12, 3}));
    EXPECT_EQ(rangeFromString("{12,3}"), (IndexRange{12, 3}));
    EXPECT_EQ(rangeFromString(""), (IndexRange{0, 0}));
    EXPECT_EQ(rangeFromString("{7"), (IndexRange{7, 0}));
    EXPECT_EQ(rangeFromString("{99999999999999999999999, 1}").location,
              std::numeric_limits<quint64>::max());
}

TEST(GeometryStrings, RectanglesRoundTripExactly) {
    const QRectF rect(1.5, -2, 100.1, 1e21);
    EXPECT_EQ(stringFromRect(QRectF(0, 0, 100.5, 20)), "{{0, 0}, {100.5, 20}}");
    EXPECT_EQ(rectFromString(stringFromRect(rect)), rect);
    EXPECT_EQ(rectFromString("{{1, 2}"), QRectF(1, 2, 0, 0));
    EXPECT_EQ(rectFromString("nonsense"), QRectF());
}
