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
