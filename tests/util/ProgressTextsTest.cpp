#include <gtest/gtest.h>

#include <limits>

#include "platform/foundation/Localization.h"
#include "tests/support/TestEnvironment.h"
#include "util/ProgressTexts.h"

using namespace QVExtensions;

TEST(TimeRemaining, TakesTheLargestWholeUnit) {
    setLocalizationLanguage(QStringLiteral("en"));
    EXPECT_EQ(stringForTimeInterval(86400), "1 day remaining");
    EXPECT_EQ(stringForTimeInterval(3 * 86400 + 7200), "3 days remaining");
    EXPECT_EQ(stringForTimeInterval(86399), "23 hours remaining");
    EXPECT_EQ(stringForTimeInterval(3600), "1 hour remaining");
    EXPECT_EQ(stringForTimeInterval(3599.9), "59 minutes remaining");
    EXPECT_EQ(stringForTimeInterval(60), "1 minute remaining");
}

TEST(TimeRemaining, RoundsSecondsUp) {
    EXPECT_EQ(stringForTimeInterval(59.2), "60 seconds remaining");
    EXPECT_EQ(stringForTimeInterval(0.2), "1 second remaining");
    EXPECT_EQ(stringForTimeInterval(1), "1 second remaining");
    EXPECT_EQ(stringForTimeInterval(0), "0 seconds remaining");
}

TEST(TimeRemaining, MeaninglessIntervalsStayReadable) {
    EXPECT_EQ(stringForTimeInterval(-5), "0 seconds remaining");
    EXPECT_EQ(stringForTimeInterval(std::numeric_limits<double>::quiet_NaN()),
              "0 seconds remaining");
    const QString endless = stringForTimeInterval(std::numeric_limits<double>::infinity());
    EXPECT_TRUE(endless.endsWith(QStringLiteral(" days remaining"))) << endless.toStdString();
    EXPECT_FALSE(endless.startsWith(u'-')) << endless.toStdString();
}

TEST(ByteCounts, JoinTheFormattedCounts) {
    const QString done = stringForByteCount(1500), total = stringForByteCount(3'400'000);
    EXPECT_NE(done, total);
    EXPECT_EQ(stringForBytesCompleted(1500, 3'400'000), done + QStringLiteral(" of ") + total);
    EXPECT_EQ(stringForDataRate(1500), done + QStringLiteral("/sec"));
    // Decimal units, as the desktop's file managers count.
    EXPECT_TRUE(stringForByteCount(1'200'000).contains(QStringLiteral("MB")));
    EXPECT_TRUE(stringForByteCount(512).contains(QStringLiteral("512")));
}
