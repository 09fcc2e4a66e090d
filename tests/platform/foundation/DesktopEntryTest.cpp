#include <gtest/gtest.h>

#include "platform/foundation/DesktopEntry.h"
#include "tests/support/TestEnvironment.h"

TEST(DesktopEntry, ReadsTheDesktopEntryGroupOnly) {
    const auto entry = DesktopEntry::fromData(
        "# a comment\n[Other]\nType=Application\n[Desktop Entry]\nVersion=1.0\nType = Link\n"
        "Name=My\\sSite\\\\x\nName[fr]=Mon site\nURL=https://example.org/a b\nType=Application\n");
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->isLink());  // the first occurrence counts, the other group not at all
    EXPECT_EQ(entry->value(QStringLiteral("Name")), "My Site\\x");
    EXPECT_EQ(entry->url(), QUrl(QStringLiteral("https://example.org/a%20b")));
    EXPECT_EQ(entry->value(QStringLiteral("Icon")), "");
}

TEST(DesktopEntry, RefusesWhatIsNoDesktopEntry) {
    EXPECT_FALSE(DesktopEntry::fromData("Type=Link\nURL=https://example.org\n"));  // no group
    EXPECT_FALSE(DesktopEntry::fromData("[Desktop Entry]\nName=\xff\xfe\n"));      // not UTF-8
    EXPECT_FALSE(DesktopEntry::fromData(QByteArray("[Desktop Entry]\n\0x", 18)));
    EXPECT_FALSE(DesktopEntry::fromData(QByteArray((1 << 20) + 1, '#')));
    const auto empty = DesktopEntry::fromData("[Desktop Entry]\n");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->isLink());
    EXPECT_FALSE(empty->url().isValid());

    TestEnvironment env;
    Error error;
    EXPECT_FALSE(DesktopEntry::readFromFile(env.path(QStringLiteral("missing.desktop")), &error));
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_FALSE(DesktopEntry::readFromFile(
        env.writeFile(QStringLiteral("bin.desktop"), "\x01\x02"), &error));
    EXPECT_EQ(error.code(), EINVAL);
}
