#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/DefaultsCommand.h"
#include "app/ImportCommand.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct Output {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
};

int defaults(Output& o, const QStringList& args) { return runDefaultsCommand(args, o.outStream, o.errStream); }

}  // namespace

TEST(DefaultsCommandTest, WritesReadsAndDeletesTypedValues) {
    TestEnvironment env;
    Output o;
    EXPECT_EQ(defaults(o, {QStringLiteral("write"), QStringLiteral("com.quorvel.Ferrymark"), QStringLiteral("ExportDebug"), QStringLiteral("YES")}), 0);
    EXPECT_EQ(defaults(o, {QStringLiteral("write"), QStringLiteral("com.quorvel.Pelmora3"), QStringLiteral("DefaultNoteFontSize"), QStringLiteral("-float"), QStringLiteral("14")}), 0);
    EXPECT_TRUE(UserDefaults(QStringLiteral("com.quorvel.Ferrymark")).boolForKey(QStringLiteral("ExportDebug")));
    EXPECT_EQ(UserDefaults(QStringLiteral("com.quorvel.Pelmora3")).objectForKey(QStringLiteral("DefaultNoteFontSize")).type(),
              PlistValue::Type::Real);
    EXPECT_EQ(defaults(o, {QStringLiteral("read"), QStringLiteral("com.quorvel.Ferrymark"), QStringLiteral("ExportDebug")}), 0);
    EXPECT_EQ(o.out, QStringLiteral("1\n"));
    EXPECT_EQ(defaults(o, {QStringLiteral("delete"), QStringLiteral("com.quorvel.Ferrymark"), QStringLiteral("ExportDebug")}), 0);
    EXPECT_EQ(defaults(o, {QStringLiteral("read"), QStringLiteral("com.quorvel.Ferrymark"), QStringLiteral("ExportDebug")}), 1);
    EXPECT_EQ(defaults(o, {QStringLiteral("write"), QStringLiteral("com.quorvel.Ferrymark")}), 2);
    EXPECT_EQ(defaults(o, {QStringLiteral("write"), QStringLiteral("d"), QStringLiteral("k"), QStringLiteral("-int"), QStringLiteral("x")}), 2);
}

TEST(ImportCommandTest, BadInputGivesAClearErrorAndWritesNothing) {
    TestEnvironment env;
    PelmoraStandIn::setLibraryPathOverride(env.path(QStringLiteral("library")));
    const QString binary = env.writeFile(QStringLiteral("binary.enex"), QByteArray("\x00\x01\xff\xfe garbage", 12));
    const QString empty = env.writeFile(QStringLiteral("empty.enex"), QByteArray());
    QByteArray truncated = buildENEX({{QStringLiteral("T"), QStringLiteral("<div>text</div>")}});
    truncated.chop(40);
    const QString cut = env.writeFile(QStringLiteral("cut.enex"), truncated);
    QDir().mkpath(env.path(QStringLiteral("folder.enex")));
    const struct {
        QString path;
        int status;
    } cases[] = {{env.path(QStringLiteral("missing.enex")), 1}, {env.path(QStringLiteral("folder.enex")), 1},
                 {binary, 1}, {empty, 1}, {cut, 1}, {QString(), 2}};
    for (const auto& c : cases) {
        Output o;
        QStringList args;
        if (!c.path.isEmpty()) args << c.path;
        EXPECT_EQ(runImportCommand(args, o.outStream, o.errStream), c.status) << c.path.toStdString();
        EXPECT_FALSE(QFile::exists(env.tempDir() + QStringLiteral("/Evernote/Evernote.pmlibxml")));
        EXPECT_FALSE(QDir(env.path(QStringLiteral("library"))).exists()) << c.path.toStdString();
    }
    PelmoraStandIn::setLibraryPathOverride(QString());
}

TEST(ImportCommandTest, ImportsAFileAndSaysWhereTheItemsWent) {
    TestEnvironment env;
    const QString file = env.writeFile(QStringLiteral("Notes.enex"),
                                       buildENEX({{QStringLiteral("Hello"), QStringLiteral("<div>world</div>")}}));
    Output o;
    const QString library = env.path(QStringLiteral("library"));
    EXPECT_EQ(runImportCommand({file, QStringLiteral("--library"), library}, o.outStream, o.errStream), 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("Exporting notes from \"Notes.enex\"")));
    EXPECT_TRUE(o.out.contains(QStringLiteral("1 of 1 notes exported")));
    EXPECT_TRUE(o.out.contains(QStringLiteral("Imported 1 of 1 notes into ") + library));
    EXPECT_TRUE(QDir(library + QStringLiteral("/Notes/Hello.pmnote")).exists());
    PelmoraStandIn::setLibraryPathOverride(QString());
}
