#include <gtest/gtest.h>

#include <thread>

#include "tests/support/TestEnvironment.h"
#include "util/ConversionWarnings.h"

// A warning goes to the innermost scope of its own thread only: notes
// converting in parallel never take each other's warnings.
TEST(ConversionWarningsTest, ScopesCollectTheirOwnThreadsWarningsInnermostFirst) {
    ConversionWarnings outer;
    ConversionWarnings::note(QStringLiteral("outer 1"));
    {
        ConversionWarnings inner;
        ConversionWarnings::note(QStringLiteral("inner"));
        std::thread other([] { ConversionWarnings::note(QStringLiteral("other thread")); });
        other.join();
        EXPECT_EQ(inner.warnings(), QStringList{QStringLiteral("inner")});
    }
    ConversionWarnings::note(QStringLiteral("outer 2"));
    EXPECT_EQ(outer.warnings(),
              (QStringList{QStringLiteral("outer 1"), QStringLiteral("outer 2")}));
}

TEST(ConversionWarningsTest, WithoutAScopeAWarningGoesNowhereAndAScopeStartsEmpty) {
    ConversionWarnings::note(QStringLiteral("lost"));
    ConversionWarnings scope;
    EXPECT_TRUE(scope.warnings().isEmpty());
}

// A note of thousands of unresolved links keeps a bounded list, and says how many more there were.
TEST(ConversionWarningsTest, KeepsAtMostTheLimitAndCountsTheRest) {
    ConversionWarnings scope;
    for (int i = 0; i < ConversionWarnings::kMaximumKept + 7; ++i)
        ConversionWarnings::note(QStringLiteral("w%1").arg(i));
    const QStringList warnings = scope.warnings();
    ASSERT_EQ(warnings.size(), ConversionWarnings::kMaximumKept + 1);
    EXPECT_EQ(warnings.first(), QStringLiteral("w0"));
    EXPECT_EQ(warnings.last(), QStringLiteral("and 7 more warnings"));
}
