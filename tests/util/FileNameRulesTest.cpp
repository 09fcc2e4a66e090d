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

TEST_F(MakeFilenameUnique, LongMultibyteNameGetsItsNumberOnWholeCharacters) {
    QString longName;
    for (int i = 0; i < 100; ++i) longName += QStringLiteral("é\U0001F600");
    longName += QStringLiteral(".pmnote");
    const QString first = makeFilenameUniqueInDirectoryAtURL(longName, dir);
    touch(dir + u'/' + first);
    const QString second = makeFilenameUniqueInDirectoryAtURL(longName, dir);
    EXPECT_TRUE(second.endsWith(QStringLiteral(" 1.pmnote"))) << qPrintable(second);
    for (const QString& name : {first, second}) {
        EXPECT_LE(name.toUtf8().size(), 255);
        EXPECT_FALSE(hasUnpairedSurrogate(name));
        EXPECT_TRUE(name.startsWith(QStringLiteral("é\U0001F600")));
    }
    touch(dir + u'/' + second);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 2);
}

TEST(StringSanitizedForFileName, UnitCutNeverSplitsASurrogatePair) {
    // The 254th unit is the first half of the emoji: the cut takes one fewer.
    const QString name = QString(253, u'a') + QStringLiteral("\U0001F600tail");
    EXPECT_EQ(stringSanitizedForFileName(name), QString(253, u'a'));
    EXPECT_EQ(safeFileName(name), QString(253, u'a'));
}

TEST(AttachmentFileName, ReplacesOnlyControlsAndSlashes) {
    EXPECT_EQ(attachmentFileName(QStringLiteral("Scan  1.pdf")), "Scan  1.pdf");
    EXPECT_EQ(attachmentFileName(QStringLiteral("Scan\t2.pdf")), "Scan 2.pdf");
    EXPECT_EQ(attachmentFileName(QStringLiteral("a\nb\r\nc\u000B\u000C\u0085.txt")),
              "a b  c   .txt");
    EXPECT_EQ(attachmentFileName(QString::fromUtf16(u"nul\0 bel\u0007 del\u007F c1\u009F", 18)),
              "nul- bel- del- c1-");
    // What a title would lose stays: spaces at the ends, ":", "~", a leading
    // ".", text after a line separator.
    EXPECT_EQ(attachmentFileName(QStringLiteral(" .a:b~c\u2028d ")), " .a:b~c\u2028d ");
    EXPECT_EQ(attachmentFileName(QStringLiteral("../../etc/passwd")), "..-..-etc-passwd");
    EXPECT_EQ(attachmentFileName(QStringLiteral(".")), "-");
    EXPECT_EQ(attachmentFileName(QStringLiteral("..")), "-.");
    EXPECT_EQ(attachmentFileName(QString()), "");
    QString unpaired = QStringLiteral("x.png");
    unpaired.insert(1, QChar(0xD83D));
    EXPECT_EQ(attachmentFileName(unpaired), "x-.png");
}

TEST(AttachmentFileName, LongNamesKeepTheirExtension) {
    QString name = QStringLiteral("Report\n");
    for (int i = 0; i < 120; ++i) name += QStringLiteral("\U0001F4C4 ");
    name += QStringLiteral(".pdf");
    const QString fitted = attachmentFileName(name);
    EXPECT_LE(fitted.toUtf8().size(), 255);
    EXPECT_GT(fitted.toUtf8().size(), 255 - 8);
    EXPECT_TRUE(fitted.startsWith(QStringLiteral("Report \U0001F4C4")));
    EXPECT_TRUE(fitted.endsWith(QStringLiteral(".pdf")));
    EXPECT_FALSE(hasUnpairedSurrogate(fitted));
    EXPECT_EQ(attachmentFileName(fitted), fitted);
}
