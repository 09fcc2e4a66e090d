#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "app/ImportCommand.h"
#include "app/NotebooksCommand.h"
#include "platform/apps/EvernoteStandIn.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/ENEXReader.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct CommandOutput {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
};

// The process-wide choices that the commands make, undone after each test.
struct CommandEnvironment : TestEnvironment {
    ~CommandEnvironment() {
        EvernoteStandIn::setNotebookFolderOverride(QString());
        PelmoraStandIn::setLibraryPathOverride(QString());
    }
};

// The corpus's folder of real Evernote exports, one notebook per file; empty when absent.
QString corpusNotebookFolder() {
    const QString folder =
        QDir::cleanPath(QStringLiteral(FERRYMARK_SOURCE_DIR "/../shared/corpus/yarle"));
    return QDir(folder).exists() ? folder : QString();
}

QStringList libraryFolders(const QString& library) {
    return QDir(library).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

}  // namespace

TEST(NotebooksCommandTest, ListsAndImportsTheCorpusNotebooks) {
    const QString corpus = corpusNotebookFolder();
    if (corpus.isEmpty()) GTEST_SKIP() << "no corpus beside the clone";
    CommandEnvironment env;
    // The well-formed exports, linked into a folder of their own; the
    // malformed ones each stop a run, which the next test shows.
    const QString folder = env.path(QStringLiteral("wellformed"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QStringList files;
    for (const QString& file : QDir(corpus).entryList({QStringLiteral("*.enex")}, QDir::Files)) {
        if (!readENEXNotes(corpus + u'/' + file)) continue;
        ASSERT_TRUE(QFile::link(corpus + u'/' + file, folder + u'/' + file));
        files << file;
    }
    ASSERT_FALSE(files.isEmpty());

    CommandOutput list;
    ASSERT_EQ(runNotebooksCommand({QStringLiteral("--evernote-folder"), folder}, list.outStream,
                                  list.errStream),
              0)
        << list.err.toStdString();
    const QStringList lines = list.out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), files.size());
    EXPECT_TRUE(list.out.contains(QRegularExpression(QStringLiteral("\\b1  test-justText\\n"))));
    // Sorted by name without regard to case.
    QStringList names;
    for (const QString& line : lines) names << line.trimmed().section(QStringLiteral("  "), 1);
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    EXPECT_EQ(names, sorted);

    CommandOutput import;
    const QString library = env.path(QStringLiteral("library"));
    const int status = runImportNotebooksCommand(
        {QStringLiteral("--evernote-folder"), folder, QStringLiteral("--library"), library},
        import.outStream, import.errStream);
    EXPECT_EQ(status, 0) << import.err.toStdString();
    EXPECT_TRUE(import.out.contains(QStringLiteral("Exporting notes from \"Colors\"")))
        << import.out.toStdString();
    EXPECT_TRUE(import.out.contains(QStringLiteral("Imported "))) << import.out.toStdString();
    EXPECT_EQ(libraryFolders(library).size(), files.size())
        << libraryFolders(library).join(u',').toStdString();
}

// A notebook whose export breaks off before its first note is not an empty
// notebook: the run stops with the parser's error, naming the notebook.
TEST(NotebooksCommandTest, ANotebookThatCannotBeReadStopsTheRunWithItsName) {
    CommandEnvironment env;
    env.writeFile(QStringLiteral("exports/Good.enex"),
                  buildENEX({TestNote{QStringLiteral("Fine"), QStringLiteral("<div>x</div>")}}));
    QByteArray broken =
        buildENEX({TestNote{QStringLiteral("Lost"), QStringLiteral("<div>y</div>")}});
    broken.replace(broken.indexOf("</title>"), 8, "</titlex>");
    env.writeFile(QStringLiteral("exports/Damaged.enex"), broken);
    const QString folder = env.path(QStringLiteral("exports"));

    CommandOutput list;
    ASSERT_EQ(runNotebooksCommand({QStringLiteral("--evernote-folder"), folder}, list.outStream,
                                  list.errStream),
              0);
    EXPECT_TRUE(list.out.contains(QRegularExpression(QStringLiteral("\\b1  Damaged\\n"))))
        << list.out.toStdString();

    CommandOutput import;
    const int status = runImportNotebooksCommand(
        {QStringLiteral("--evernote-folder"), folder, QStringLiteral("--library"),
         env.path(QStringLiteral("library"))},
        import.outStream, import.errStream);
    EXPECT_EQ(status, 1);  // the message naming the notebook goes to the terminal, not to `err`
    EXPECT_FALSE(import.out.contains(QStringLiteral("Imported "))) << import.out.toStdString();
}

TEST(NotebooksCommandTest, ImportsOnlyTheNamedNotebooks) {
    CommandEnvironment env;
    for (const char* name : {"Work", "Home", "Travel"})
        env.writeFile(QStringLiteral("exports/%1.enex").arg(QLatin1String(name)),
                      buildENEX({TestNote{QStringLiteral("In %1").arg(QLatin1String(name)),
                                          QStringLiteral("<div>x</div>")}}));
    const QString folder = env.path(QStringLiteral("exports"));
    const QString library = env.path(QStringLiteral("library"));
    CommandOutput run;
    EXPECT_EQ(runImportNotebooksCommand({QStringLiteral("Travel"), QStringLiteral("Work"),
                                         QStringLiteral("--evernote-folder"), folder,
                                         QStringLiteral("--library"), library},
                                        run.outStream, run.errStream),
              0)
        << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Imported 2 of 2 notes into ") + library))
        << run.out.toStdString();
    EXPECT_EQ(libraryFolders(library),
              (QStringList{QStringLiteral("Travel"), QStringLiteral("Work")}));

    CommandOutput unknown;
    EXPECT_EQ(runImportNotebooksCommand(
                  {QStringLiteral("Garden"), QStringLiteral("--evernote-folder"), folder},
                  unknown.outStream, unknown.errStream),
              1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("“Garden”")));
}

TEST(NotebooksCommandTest, WithoutEvernoteOrItsFolderSaysWhy) {
    CommandEnvironment env;
    CommandOutput none, missing, empty;
    EXPECT_EQ(runNotebooksCommand({}, none.outStream, none.errStream), 1);
    EXPECT_TRUE(none.err.contains(QStringLiteral("Unable to find the Evernote application.")));
    const QString gone = env.path(QStringLiteral("nowhere"));
    EXPECT_EQ(runImportNotebooksCommand({QStringLiteral("--evernote-folder"), gone},
                                        missing.outStream, missing.errStream),
              1);
    EXPECT_TRUE(missing.err.contains(gone));
    QDir().mkpath(env.path(QStringLiteral("blank")));
    EXPECT_EQ(runImportNotebooksCommand(
                  {QStringLiteral("--evernote-folder"), env.path(QStringLiteral("blank"))},
                  empty.outStream, empty.errStream),
              1);
    EXPECT_TRUE(empty.err.contains(QStringLiteral("no ENEX files")));
    CommandOutput usage;
    EXPECT_EQ(runNotebooksCommand({QStringLiteral("--evernote-folder")}, usage.outStream,
                                  usage.errStream),
              2);
}

// Several files make one run: one log, one description, one group each, and
// two files of the same name still get a folder each.
TEST(NotebooksCommandTest, ImportOfSeveralFilesMakesOneGroupEach) {
    CommandEnvironment env;
    const QString a = env.writeFile(
        QStringLiteral("one/Notes.enex"),
        buildENEX({TestNote{QStringLiteral("First"), QStringLiteral("<div>1</div>")}}));
    const QString b = env.writeFile(
        QStringLiteral("two/Notes.enex"),
        buildENEX({TestNote{QStringLiteral("Second"), QStringLiteral("<div>2</div>")},
                   TestNote{QStringLiteral("Third"), QStringLiteral("<div>3</div>")}}));
    const QString c = env.writeFile(QStringLiteral("Other.enex"), buildENEX({}));
    const QString library = env.path(QStringLiteral("library"));
    CommandOutput run;
    EXPECT_EQ(runImportCommand({a, b, c, QStringLiteral("--library"), library}, run.outStream,
                               run.errStream),
              0)
        << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Imported 3 of 3 notes into ") + library))
        << run.out.toStdString();
    EXPECT_EQ(run.out.count(QStringLiteral("Exporting notes from \"Notes.enex\"")), 2);
    const QStringList folders = libraryFolders(library);
    EXPECT_EQ(folders.size(), 3) << folders.join(u',').toStdString();
    EXPECT_TRUE(folders.contains(QStringLiteral("Other")));

    // A file that cannot be read stops before anything starts.
    CommandOutput bad;
    EXPECT_EQ(runImportCommand({a, env.path(QStringLiteral("missing.enex"))}, bad.outStream,
                               bad.errStream),
              1);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("missing.enex")));
}
