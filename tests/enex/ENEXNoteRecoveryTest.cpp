#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "enex/ENEXNoteRecovery.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A recovery over a file written in the test's folder, with a reader that
// takes the whole notes holding "good" and refuses the others.
struct Recovery {
    TestEnvironment env;
    QStringList read;
    QStringList log;
    QString keep = env.path(QStringLiteral("kept"));

    ENEXNoteRecovery over(const QByteArray& enex) {
        const QString file = env.writeFile(QStringLiteral("In.enex"), enex);
        return ENEXNoteRecovery(
            file, keep,
            [this](const QByteArray& xml, bool repaired, Error* error) {
                if (!xml.contains("good") || !xml.endsWith("</note>")) {
                    Error(QStringLiteral("Test"), 1, QStringLiteral("bad note")).report(error);
                    return false;
                }
                read << QString::fromUtf8(xml) + (repaired ? QStringLiteral(" (repaired)") : "");
                return true;
            },
            [this](const QString& line) { log << line; });
    }
};

}  // namespace

TEST(ENEXNoteRecovery, NoteThatParsesOnlyAfterARepairIsReadRepaired) {
    Recovery r;
    ENEXNoteRecovery recovery = r.over("<en-export><note><title>T</title>good</en-export>");
    recovery.readNotesFrom(0, [] { return false; });
    EXPECT_EQ(recovery.lost(), 0ul);
    EXPECT_EQ(r.read, QStringList{QStringLiteral("<note><title>T</title>good</note> (repaired)")});
    ASSERT_EQ(r.log.size(), 1);
    EXPECT_EQ(r.log[0], QStringLiteral("Repaired note “T” at line 1, column 12 of ") +
                            r.env.path(QStringLiteral("In.enex")) +
                            QStringLiteral(" (missing </note>)"));
}

TEST(ENEXNoteRecovery, StretchThatNeverEndsIsBoundedAndSaidSo) {
    Recovery r;
    ENEXNoteRecovery recovery =
        r.over("<en-export><note><title>Long</title>good" + QByteArray(3000, 'x'));
    recovery.setStretchLimit(1000);
    recovery.readNotesFrom(0, [] { return false; });
    EXPECT_EQ(recovery.found(), 1ul);
    EXPECT_EQ(recovery.lost(), 1ul);
    EXPECT_TRUE(recovery.endsInsideNote());
    EXPECT_TRUE(r.read.isEmpty());
    ASSERT_EQ(r.log.size(), 2);
    EXPECT_TRUE(r.log[0].contains(QStringLiteral("ends inside a note (“Long”")));
    EXPECT_TRUE(r.log[1].contains(QStringLiteral("runs on for more than 1000 bytes")));
    QFile kept(r.keep + QStringLiteral("/In note 1.xml"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.size(), 1000);
}

TEST(ENEXNoteRecovery, KeptFileThatCannotBeWrittenIsLogged) {
    Recovery r;
    r.keep = r.env.writeFile(QStringLiteral("a-file"), "not a folder");
    ENEXNoteRecovery recovery = r.over("<en-export><note>bad</note></en-export>");
    recovery.readNotesFrom(0, [] { return false; });
    EXPECT_EQ(recovery.lost(), 1ul);
    ASSERT_EQ(r.log.size(), 1);
    EXPECT_TRUE(r.log[0].contains(QStringLiteral("its XML could not be kept")));
}
