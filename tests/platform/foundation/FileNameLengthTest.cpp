// Names shortened to the file system's limit: on character boundaries, with
// their extension.
#include <gtest/gtest.h>

#include <QStringDecoder>

#include "platform/foundation/FileNameLength.h"
#include "tests/support/TestEnvironment.h"

using namespace FileNameLength;

namespace {

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

}  // namespace

TEST(FileNameLength, CutsFallBetweenCharacters) {
    // "é" is two bytes, the emoji four: a cut may not fall inside either.
    EXPECT_EQ(leadingCharacters(QStringLiteral("aé"), 2), "a");
    EXPECT_EQ(leadingCharacters(QStringLiteral("a\U0001F600"), 4), "a");
    EXPECT_EQ(leadingCharacters(QStringLiteral("a\U0001F600"), 5), "a\U0001F600");
    // Nor between a character and its variation selector or combining accent.
    EXPECT_EQ(leadingCharacters(QStringLiteral("a\u2764\uFE0F"), 4), "a");
    EXPECT_EQ(leadingCharacters(QStringLiteral("ae\u0301"), 2), "a");
    // One cluster longer than the limit is cut between its code points.
    const QString stacked = QStringLiteral("e") + QString(200, QChar(0x0301));
    EXPECT_EQ(leadingCharacters(stacked, 5), QStringLiteral("e\u0301\u0301"));
    EXPECT_EQ(leadingCharacters(QStringLiteral("abc"), 0), "");
    EXPECT_EQ(utf8Length(QStringLiteral("aé\U0001F600")), 7);
}

TEST(FileNameLength, FittedNamesKeepTheirExtension) {
    for (const QString& unit : {QStringLiteral("a"), QStringLiteral("é"),
                                QStringLiteral("\U0001F600"), QStringLiteral("\u2764\uFE0F")}) {
        QString base;
        while (base.size() < 300) base += unit;
        const QString name = fittedName(base + QStringLiteral(".pdf"));
        const QByteArray bytes = name.toUtf8();
        EXPECT_LE(bytes.size(), maximumBytes) << qPrintable(unit);
        EXPECT_GT(bytes.size(), maximumBytes - 8) << qPrintable(unit);
        EXPECT_TRUE(name.endsWith(QStringLiteral(".pdf"))) << qPrintable(unit);
        EXPECT_TRUE(isValidUtf8(bytes)) << qPrintable(unit);
        EXPECT_TRUE(name.chopped(4).startsWith(unit)) << qPrintable(unit);
        EXPECT_EQ((name.size() - 4) % unit.size(), 0) << qPrintable(unit);
    }
    // A name that fits is left alone; an extension too long to keep is cut.
    const QString exact = QString(251, u'c') + QStringLiteral(".txt");
    EXPECT_EQ(fittedName(exact), exact);
    EXPECT_EQ(fittedName(QStringLiteral("a.") + QString(300, u'x')),
              (QStringLiteral("a.") + QString(300, u'x')).left(255));
    EXPECT_EQ(fittedName(QString(300, u'b')), QString(255, u'b'));
}

TEST(FileNameLength, SuffixesAreKeptWholeOrNotAtAll) {
    EXPECT_EQ(fittedBeforeSuffix(QString(300, u'n'), QStringLiteral(" 12.html")),
              QString(247, u'n') + QStringLiteral(" 12.html"));
    EXPECT_EQ(fittedBeforeSuffix(QStringLiteral("é"), QString(254, u's')), "");
    EXPECT_EQ(fittedBeforeSuffix(QStringLiteral("x"), QString(256, u's')), "");
    EXPECT_EQ(fittedBeforeSuffix(QString(), QStringLiteral(" 1")), " 1");
}
