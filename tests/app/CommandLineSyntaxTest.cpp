// The command line's options as QCommandLineParser reads them: values after
// a space or an "=", "--" ending the options, our own messages for what does
// not fit, and help generated from the options themselves.
#include <gtest/gtest.h>

#include "app/CommandLineImport.h"
#include "app/CommandLineSyntax.h"
#include "app/DefaultsCommand.h"
#include "app/ImportCommand.h"
#include "app/NotebooksCommand.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct Streams {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
};

std::optional<CommandLineImportOptions> importOptions(const QStringList& args, Streams& s) {
    CommandLineSyntax syntax = importNotebooksCommandSyntax();
    return parseCommandLineImportOptions(args, syntax, s.errStream);
}

}  // namespace

TEST(CommandLineSyntaxTest, ValuesFollowASpaceOrAnEqualsSign) {
    Streams s;
    const auto options = importOptions(
        {QStringLiteral("--library=/lib/one"), QStringLiteral("Work"),
         QStringLiteral("--passphrase-file"), QStringLiteral("keys.txt"),
         QStringLiteral("--evernote-folder="), QStringLiteral("--recover"), QStringLiteral("Home")},
        s);
    ASSERT_TRUE(options) << s.err.toStdString();
    EXPECT_EQ(options->library, QStringLiteral("/lib/one"));
    EXPECT_EQ(options->passphraseFile, QStringLiteral("keys.txt"));
    EXPECT_EQ(options->evernoteFolder, QString());
    EXPECT_TRUE(options->recover);
    EXPECT_FALSE(options->debug);
    EXPECT_EQ(options->operands, (QStringList{QStringLiteral("Work"), QStringLiteral("Home")}));
}

TEST(CommandLineSyntaxTest, WordsAfterTheDoubleDashAreOperands) {
    Streams s;
    const auto options =
        importOptions({QStringLiteral("--debug"), QStringLiteral("--"), QStringLiteral("--help"),
                       QStringLiteral("-notes.enex"), QStringLiteral("--library")},
                      s);
    ASSERT_TRUE(options) << s.err.toStdString();
    EXPECT_TRUE(options->debug);
    EXPECT_FALSE(options->help);
    EXPECT_EQ(options->library, QString());
    EXPECT_EQ(options->operands,
              (QStringList{QStringLiteral("--help"), QStringLiteral("-notes.enex"),
                           QStringLiteral("--library")}));
}

// Each names the argument as typed, then the usage.
TEST(CommandLineSyntaxTest, WhatDoesNotFitIsNamedWithTheUsage) {
    const struct {
        QStringList args;
        QString named;
    } cases[] = {
        {{QStringLiteral("a.enex"), QStringLiteral("--frobnicate")},
         QStringLiteral("--frobnicate")},
        {{QStringLiteral("--library")}, QStringLiteral("--library")},
        {{QStringLiteral("--debug=yes")}, QStringLiteral("--debug=yes")},
        {{QStringLiteral("-x"), QStringLiteral("a.enex")}, QStringLiteral("-x")},
        {{QStringLiteral("--evernote-folder"), QStringLiteral("dir")},
         QStringLiteral("--evernote-folder")},
    };
    for (const auto& c : cases) {
        Streams s;
        CommandLineSyntax syntax = importCommandSyntax();
        EXPECT_FALSE(parseCommandLineImportOptions(c.args, syntax, s.errStream));
        EXPECT_TRUE(s.err.startsWith(QStringLiteral("ferrymark import: unexpected argument ") +
                                     c.named + QStringLiteral("\n\nusage: ferrymark import ")))
            << s.err.toStdString();
    }
}

// The help lists every option with its value and description, between the
// command's own prose; it goes to standard output with status 0.
TEST(CommandLineSyntaxTest, HelpIsGeneratedFromTheOptions) {
    TestEnvironment env;
    for (const QString& flag : {QStringLiteral("--help"), QStringLiteral("-h")}) {
        Streams s;
        EXPECT_EQ(runImportCommand({QStringLiteral("a.enex"), flag}, s.outStream, s.errStream), 0);
        EXPECT_TRUE(s.out.startsWith(QStringLiteral("ferrymark import FILE.enex...")));
        for (const char* option : {"--library <DIR>", "--debug", "--reload-from-web", "--recover",
                                   "--passphrase-file <FILE>", "--ask-passphrase", "-h, --help"})
            EXPECT_TRUE(s.out.contains(QLatin1String(option))) << option;
        EXPECT_FALSE(s.out.contains(QStringLiteral("--evernote-folder")));
        EXPECT_TRUE(s.out.contains(QStringLiteral("at most 64 KB")));
        EXPECT_TRUE(s.out.contains(QStringLiteral("Exit status:")));
        EXPECT_EQ(s.err, QString());
    }
    Streams notebooks;
    EXPECT_EQ(runImportNotebooksCommand({QStringLiteral("--help")}, notebooks.outStream,
                                        notebooks.errStream),
              0);
    EXPECT_TRUE(notebooks.out.contains(QStringLiteral("--evernote-folder <DIR>")));
    Streams listing;
    EXPECT_EQ(
        runNotebooksCommand({QStringLiteral("--debug")}, listing.outStream, listing.errStream),
        2);  // the listing takes only --evernote-folder
}

// The platform tool's form: a type option before the value; a negative
// number is a value, not an option.
TEST(CommandLineSyntaxTest, DefaultsTakeTypeOptionsAndNegativeNumbers) {
    TestEnvironment env;
    const QString domain = QStringLiteral("com.quorvel.Ferrymark");
    Streams s;
    EXPECT_EQ(runDefaultsCommand(
                  {QStringLiteral("write"), domain, QStringLiteral("Offset"), QStringLiteral("-5")},
                  s.outStream, s.errStream),
              0)
        << s.err.toStdString();
    EXPECT_EQ(runDefaultsCommand({QStringLiteral("write"), domain, QStringLiteral("Scale"),
                                  QStringLiteral("-float"), QStringLiteral("-1.5")},
                                 s.outStream, s.errStream),
              0)
        << s.err.toStdString();
    EXPECT_EQ(runDefaultsCommand({QStringLiteral("write"), domain, QStringLiteral("Flag"),
                                  QStringLiteral("-boolean"), QStringLiteral("1")},
                                 s.outStream, s.errStream),
              0)
        << s.err.toStdString();
    EXPECT_EQ(runDefaultsCommand({QStringLiteral("write"), domain, QStringLiteral("Dash"),
                                  QStringLiteral("--"), QStringLiteral("-x")},
                                 s.outStream, s.errStream),
              0)
        << s.err.toStdString();
    const UserDefaults defaults(domain);
    EXPECT_EQ(defaults.objectForKey(QStringLiteral("Offset")).toInteger(), -5);
    EXPECT_EQ(defaults.objectForKey(QStringLiteral("Scale")).toReal(), -1.5);
    EXPECT_TRUE(defaults.objectForKey(QStringLiteral("Flag")).toBool());
    EXPECT_EQ(defaults.objectForKey(QStringLiteral("Dash")).toString(), QStringLiteral("-x"));

    Streams twoTypes;
    EXPECT_EQ(
        runDefaultsCommand({QStringLiteral("write"), domain, QStringLiteral("K"),
                            QStringLiteral("-int"), QStringLiteral("-string"), QStringLiteral("1")},
                           twoTypes.outStream, twoTypes.errStream),
        2);
    Streams help;
    EXPECT_EQ(runDefaultsCommand({QStringLiteral("--help")}, help.outStream, help.errStream), 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--bool, --boolean")));
    Streams twoDashes;
    EXPECT_EQ(runDefaultsCommand({QStringLiteral("write"), domain, QStringLiteral("Count"),
                                  QStringLiteral("--int"), QStringLiteral("7")},
                                 twoDashes.outStream, twoDashes.errStream),
              0);
    EXPECT_EQ(UserDefaults(domain).objectForKey(QStringLiteral("Count")).toInteger(), 7);
}
