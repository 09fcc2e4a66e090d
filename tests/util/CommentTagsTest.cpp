#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <QFile>

#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestEnvironment.h"
#include "util/CommentTags.h"

using namespace PMExtensions;

namespace {

void setPrefixedTags(bool on, const QString& importedPrefix = QString()) {
    UserDefaults& defaults = UserDefaults::standard();
    ASSERT_TRUE(defaults.setObject(on, QStringLiteral("PMPrefixExportedTags")));
    if (importedPrefix.isEmpty())
        ASSERT_TRUE(defaults.removeObject(QStringLiteral("PMImportedTagsPrefix")));
    else
        ASSERT_TRUE(defaults.setObject(importedPrefix, QStringLiteral("PMImportedTagsPrefix")));
}

QStringList tags(const QString& comment) {
    return tagNamesFromSpotlightComments(comment).value_or(QStringList{"(null)"});
}

}  // namespace

TEST(CommentTags, TagBlockIgnoresTheSettingAndTheTextAround) {
    TestEnvironment env;
    const QString comment =
        QStringLiteral("Meeting notes ###begin_tags###@work;@ plans@;;###end_tags### after");
    for (const bool on : {false, true}) {
        setPrefixedTags(on);
        EXPECT_EQ(tags(comment), (QStringList{QStringLiteral("work"), QStringLiteral(" plans")}));
    }
    EXPECT_EQ(commentsFromSpotlightComments(comment), QStringLiteral("Meeting notes"));
    // A block that is never closed gives no tags at all, and no comment.
    EXPECT_FALSE(tagNamesFromSpotlightComments(QStringLiteral("x ###begin_tags###@a;@b")));
    EXPECT_EQ(commentsFromSpotlightComments(QStringLiteral("###begin_tags###a###end_tags###")),
              std::nullopt);
    EXPECT_EQ(commentsFromSpotlightComments(QStringLiteral(" \n###begin_tags###a###end_tags###")),
              std::nullopt);
}

TEST(CommentTags, PrefixedWordsWithTheSettingOn) {
    TestEnvironment env;
    setPrefixedTags(true);
    const QString comment = QStringLiteral("@project_x &home.office plain @ #idea");
    EXPECT_EQ(tags(comment),
              (QStringList{QStringLiteral("project x"), QStringLiteral("home office")}));
    EXPECT_EQ(commentsFromSpotlightComments(comment), std::nullopt);
    // No prefixed word: the whole text is the comment, untrimmed.
    EXPECT_EQ(commentsFromSpotlightComments(QStringLiteral("  just words  ")),
              QStringLiteral("  just words  "));
    // A tab does not split words.
    EXPECT_EQ(tags(QStringLiteral("@a\t@b")), (QStringList{QStringLiteral("a\t@b")}));
}

TEST(CommentTags, ImportedPrefixAddsOnlyNewCharacters) {
    TestEnvironment env;
    setPrefixedTags(true, QStringLiteral("#"));
    EXPECT_EQ(tags(QStringLiteral("#idea @x +y")),
              (QStringList{QStringLiteral("idea"), QStringLiteral("x")}));
    setPrefixedTags(true, QStringLiteral("+&"));
    EXPECT_EQ(tags(QStringLiteral("#idea &x +y")),
              (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    setPrefixedTags(true, QStringLiteral("@&"));
    EXPECT_EQ(tags(QStringLiteral("@a &b")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

TEST(CommentTags, EveryWordIsATagWithTheSettingOff) {
    TestEnvironment env;
    setPrefixedTags(false);
    EXPECT_EQ(tags(QStringLiteral("a  b_c d.e")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b c"), QStringLiteral("d e")}));
    EXPECT_EQ(tags(QStringLiteral("@x x")),
              (QStringList{QStringLiteral("@x"), QStringLiteral("x")}));
    EXPECT_EQ(commentsFromSpotlightComments(QStringLiteral("a b")), std::nullopt);
    EXPECT_EQ(
        commentsFromSpotlightComments(QStringLiteral("Meeting ###begin_tags###a###end_tags###")),
        std::nullopt);
    EXPECT_EQ(tags(QString()), QStringList());
}

TEST(CommentTags, FileTagsMergeTheAttributeWithTheComment) {
    TestEnvironment env;
    setPrefixedTags(true);
    const QString file = env.writeFile(QStringLiteral("note.txt"), "x");
    FileResourceValues values;
    values.tagNames = QStringList{QStringLiteral("work"), QStringLiteral("home")};
    values.comment = QStringLiteral("Draft ###begin_tags###@home;@travel###end_tags###");
    Error error;
    if (!setResourceValues(file, values, &error))
        GTEST_SKIP() << "no user extended attributes here";
    EXPECT_EQ(
        tagNamesOfFileAtPath(file),
        (QStringList{QStringLiteral("work"), QStringLiteral("home"), QStringLiteral("travel")}));
    EXPECT_EQ(commentOfFileAtPath(file), QStringLiteral("Draft"));

    // A comment longer than a page is read whole, where the file system can
    // hold one (ext4 cannot, XFS and Btrfs can).
    values.tagNames.reset();
    values.comment = QString(5000, u'x') + QStringLiteral(" ###begin_tags###far###end_tags###");
    if (setResourceValues(file, values)) {
        EXPECT_EQ(
            tagNamesOfFileAtPath(file),
            (QStringList{QStringLiteral("work"), QStringLiteral("home"), QStringLiteral("far")}));
    }

    const QString bare = env.writeFile(QStringLiteral("bare.txt"), "x");
    EXPECT_EQ(tagNamesOfFileAtPath(bare), QStringList());
    EXPECT_EQ(commentOfFileAtPath(bare), std::nullopt);
    EXPECT_EQ(tagNamesOfFileAtPath(env.path(QStringLiteral("missing"))), QStringList());
}
