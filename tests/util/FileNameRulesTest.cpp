#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include "tests/support/TestEnvironment.h"
#include "util/FileNameRules.h"

using namespace QVExtensions;

namespace {

bool hasUnpairedSurrogate(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
}

}  // namespace

TEST(StringSanitizedForFileName, TrimsReplacesAndCutsAtLineBreak) {
    EXPECT_EQ(stringSanitizedForFileName(QStringLiteral("  .profile  ")), "-profile");
    EXPECT_EQ(stringSanitizedForFileName(QStringLiteral("..")), "-.");
    EXPECT_EQ(stringSanitizedForFileName(QStringLiteral("a/b:c~d")), "a-b-c-d");
    EXPECT_EQ(stringSanitizedForFileName(QStringLiteral("Title  \nsecond line")), "Title");
    EXPECT_EQ(stringSanitizedForFileName(QString()), "");
    EXPECT_EQ(stringSanitizedForFileName(QStringLiteral(" \t\n ")), "");
}

TEST(StringSanitizedForFileName, UsesTheExactCharacterClasses) {
    // No-break and em space (Zs), NEL and the line separator are trimmed.
    EXPECT_EQ(stringSanitizedForFileName(QStringLiteral("\u00A0\u2003x\u0085\u2028")), "x");
    // U+2028 is a line break: the text is cut there, then white space trimmed.
    EXPECT_EQ(stringSanitizedForFileName(QStringLiteral("a\t\u2028b")), "a");
    // A zero-width space (Cf) is not white space; control characters stay.
    EXPECT_EQ(stringSanitizedForFileName(QStringLiteral("\u200Bx\u0001")), "\u200Bx\u0001");
}

TEST(StringSanitizedForFileName, CutsLongNamesKeepingTheExtension) {
    const QString withExtension = QString(296, u'a') + QStringLiteral(".html");
    const QString cut = stringSanitizedForFileName(withExtension);
    EXPECT_EQ(cut.size(), 255);
    EXPECT_EQ(cut, QString(250, u'a') + QStringLiteral(".html"));

    EXPECT_EQ(stringSanitizedForFileName(QString(300, u'b')), QString(254, u'b'));
    EXPECT_EQ(stringSanitizedForFileName(QString(256, u'b')), QString(254, u'b'));
    const QString exact = QString(251, u'c') + QStringLiteral(".txt");
    EXPECT_EQ(stringSanitizedForFileName(exact), exact);
}

TEST(StringSanitizedForFileName, DropsAnExtensionTooLongToKeep) {
    const QString name = QStringLiteral("a.") + QString(298, u'x');
    EXPECT_EQ(stringSanitizedForFileName(name), name.left(254));
}

TEST(SafeFileName, HostileNamesBecomeOneHarmlessComponent) {
    EXPECT_EQ(safeFileName(QStringLiteral("../x")), "-.-x");
    EXPECT_EQ(safeFileName(QStringLiteral("../../etc/passwd")), "-.-..-etc-passwd");
    EXPECT_EQ(safeFileName(QStringLiteral("/etc/passwd")), "-etc-passwd");
    EXPECT_EQ(safeFileName(QStringLiteral("..")), "-.");
    EXPECT_EQ(safeFileName(QStringLiteral(".")), "-");
    EXPECT_EQ(safeFileName(QStringLiteral(" \t\u3000\n ")), "");
    EXPECT_EQ(safeFileName(QString::fromUtf16(u"a\0b", 3)), "a-b");
    EXPECT_EQ(safeFileName(QStringLiteral("a\u0001b")), "a\u0001b");
}

TEST(SafeFileName, FitsTheByteLimitOnWholeCharacters) {
    // 300 CJK characters are 900 bytes in UTF-8; Linux takes 255.
    const QString cjk = QString(300, QChar(0x6587)) + QStringLiteral(".txt");
    const QString name = safeFileName(cjk);
    EXPECT_LE(name.toUtf8().size(), 255);
    EXPECT_TRUE(name.endsWith(QStringLiteral(".txt")));
    EXPECT_EQ(name, QString(83, QChar(0x6587)) + QStringLiteral(".txt"));

    // The unit-count cut falls inside a surrogate pair; no half may remain.
    QString emoji = QStringLiteral("x");
    for (int i = 0; i < 150; ++i) emoji += QStringLiteral("\U0001F600");
    const QString safe = safeFileName(emoji + QStringLiteral(".png"));
    EXPECT_FALSE(hasUnpairedSurrogate(safe));
    EXPECT_LE(safe.toUtf8().size(), 255);
    EXPECT_TRUE(safe.endsWith(QStringLiteral(".png")));
}

class MakeFilenameUnique : public ::testing::Test {
  protected:
    TestEnvironment env;
    QString dir = env.path(QStringLiteral("folder"));
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(dir)); }
};

TEST_F(MakeFilenameUnique, NumbersBetweenBaseAndExtension) {
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(QStringLiteral("Report.pdf"), dir), "Report.pdf");
    touch(dir + "/Report.pdf");
    touch(dir + "/Report 1.pdf");
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(QStringLiteral("Report.pdf"), dir),
              "Report 2.pdf");
    touch(dir + "/Report");
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(QStringLiteral("Report"), dir), "Report 1");
    EXPECT_EQ(
        makeFilenameUniqueInDirectoryAtURL(QStringLiteral("Report"), QUrl::fromLocalFile(dir)),
        "Report 1");
}

TEST_F(MakeFilenameUnique, FreeNamesWithSlashesStayInsideTheFolder) {
    for (const QString& hostile : {QStringLiteral("a/b.pdf"), QStringLiteral("../../x"),
                                   QStringLiteral("/etc/passwd"), QStringLiteral("..")}) {
        const QString name = makeFilenameUniqueInDirectoryAtURL(hostile, dir);
        EXPECT_FALSE(name.contains(u'/')) << qPrintable(hostile);
        touch(dir + u'/' + name);
        EXPECT_EQ(QFileInfo(dir + u'/' + name).absolutePath(), QFileInfo(dir).absoluteFilePath());
    }
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(QStringLiteral("a/b.pdf"), dir), "a-b 1.pdf");
}

TEST_F(MakeFilenameUnique, DanglingLinkAndFoldersCountAsTaken) {
    ASSERT_EQ(::symlink("/nonexistent/target", QFile::encodeName(dir + "/link").constData()), 0);
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(QStringLiteral("link"), dir), "link 1");
    ASSERT_TRUE(QDir(dir).mkdir(QStringLiteral("Notebook")));
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(QStringLiteral("Notebook"), dir), "Notebook 1");
}

TEST_F(MakeFilenameUnique, EmptyNameGetsANumber) {
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(QStringLiteral(" \n"), dir), "1");
    touch(dir + "/1");
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(QString(), dir), "2");
}

TEST_F(MakeFilenameUnique, LongNameKeepsItsNumberWithinTheLimit) {
    const QString longName = QString(300, u'n') + QStringLiteral(".html");
    const QString first = makeFilenameUniqueInDirectoryAtURL(longName, dir);
    ASSERT_EQ(first.size(), 255);
    touch(dir + u'/' + first);
    const QString second = makeFilenameUniqueInDirectoryAtURL(longName, dir);
    EXPECT_EQ(second, QString(248, u'n') + QStringLiteral(" 1.html"));
    touch(dir + u'/' + second);
    EXPECT_EQ(makeFilenameUniqueInDirectoryAtURL(longName, dir),
              QString(248, u'n') + QStringLiteral(" 2.html"));
}
