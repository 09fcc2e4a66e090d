#include <gtest/gtest.h>

#include <QFile>

#include "tests/support/TestEnvironment.h"
#include "util/PassphraseList.h"

namespace {

QStringList entries(const PassphraseList& list) {
    QStringList found;
    for (qsizetype i = 0; i < list.count(); ++i)
        found << QString::fromUtf8(list.at(i).toByteArray());
    return found;
}

}  // namespace

TEST(PassphraseList, ReadsOnePassphraseALineInOrder) {
    TestEnvironment env;
    const QString path = env.writeFile(QStringLiteral("pass.txt"), "first\r\n\nsecond one \nlast");
    PassphraseList list;
    ASSERT_TRUE(list.addPassphrasesFromFileAtPath(path));
    EXPECT_EQ(entries(list), (QStringList{"first", "second one ", "last"}));
}

TEST(PassphraseList, RefusesUnreadableAndOversizedFiles) {
    TestEnvironment env;
    PassphraseList list;
    Error error;
    EXPECT_FALSE(list.addPassphrasesFromFileAtPath(env.path(QStringLiteral("none")), &error));
    EXPECT_EQ(error.code(), PassphraseFileUnreadable);
    const QString big = env.writeFile(QStringLiteral("big.txt"),
                                      QByteArray(PassphraseList::maximumFileBytes + 1, 'a'));
    EXPECT_FALSE(list.addPassphrasesFromFileAtPath(big, &error));
    EXPECT_EQ(error.code(), PassphraseFileTooLarge);
    EXPECT_TRUE(list.isEmpty());
}
