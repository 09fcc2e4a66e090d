#include <gtest/gtest.h>

#include "formats/PMCoderExtensions.h"

TEST(PMCoderExtensions, RectanglesKeepSinglePrecisionAndMissingPartsReadAsZero) {
    KeyedArchiver archiver;
    PMCoderExtensions::encodeCGRectInPelmora(archiver, QRectF(0.1, -2, 100.1, 3), "rect");
    archiver.encodeObject(ArchiveValue::dictionary({{"x", 9.5f}}), "partial");
    PMCoderExtensions::encodeRangeInPelmora(archiver, {12, 3}, "range");
    auto unarchiver = KeyedUnarchiver::unarchiverForReadingFromData(archiver.encodedData());
    ASSERT_TRUE(unarchiver);

    EXPECT_EQ(PMCoderExtensions::decodeCGRectInPelmora(*unarchiver, "rect"),
              QRectF(double(0.1f), -2, double(100.1f), 3));
    EXPECT_EQ(PMCoderExtensions::decodeCGRectInPelmora(*unarchiver, "partial"),
              QRectF(9.5, 0, 0, 0));
    EXPECT_EQ(PMCoderExtensions::decodeCGRectInPelmora(*unarchiver, "missing"), QRectF());
    EXPECT_EQ(unarchiver->decodeObject("range").toString(), "{12, 3}");
    EXPECT_EQ(PMCoderExtensions::decodeRangeInPelmora(*unarchiver, "range"), (IndexRange{12, 3}));
    EXPECT_EQ(PMCoderExtensions::decodeRangeInPelmora(*unarchiver, "missing"), (IndexRange{0, 0}));
}
