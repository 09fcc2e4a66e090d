// Holds the note-by-note HTML import against the ENEX import of the same
// notebook, for every real export of the shared corpus: the same items, under
// the same titles, with the same dates and tags.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "import/EvernoteExportOperation.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/import/CorpusImport.h"
#include "tests/support/Applications.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QString kUseHTMLExport = QStringLiteral("UseHTMLExport");

struct NotebookRun {
    QString outcome;
    int exported = 0;
    QList<LibraryItem> items;
    QString libraryError;
};

// Imports the notebooks of the Evernote stand-in installed in `env` into
// `library`, with the HTML export on or off.
NotebookRun importNotebooks(bool html, const QString& library) {
    NotebookRun run;
    PelmoraStandIn::setLibraryPathOverride(library);
    UserDefaults::standard().setVolatileValue(html, kUseHTMLExport);
    {
        RecordingDelegate delegate;
        auto evernote = EvernoteApplication::applicationWithBundleIdentifier();
        auto operation = EvernoteExportOperation::exportOperationForApp(
            evernote, evernote->notebooks(), &delegate);
        OperationQueue queue;
        queue.addOperation(operation);
        if (runEventLoopUntil([&] { return delegate.ended.load(); }, 240000))
            run.outcome = delegate.calls.last();
        else
            operation->cancel();
        queue.waitUntilAllOperationsAreFinished();
        run.exported = delegate.exported;
    }
    UserDefaults::standard().setVolatileValue(PlistValue(), kUseHTMLExport);
    PelmoraStandIn::setLibraryPathOverride(QString());
    if (auto items = readLibrary(library, &run.libraryError)) run.items = *items;
    return run;
}

// What both imports must agree on for one item. A note's title is its file's
// name; a single attachment is named by the title on one path and by the
// attachment on the other, so only its dates (on the file and in the
// library's index) and tags count. A date set
// during the run (the note gave none) reads as "now".
QString comparable(const LibraryItem& item, const QDateTime& runStart) {
    const bool isFile = item.kind == LibraryItem::Kind::File;
    const auto date = [&](const QDateTime& d) {
        if (!d.isValid()) return QStringLiteral("none");
        return d < runStart ? d.toUTC().toString(Qt::ISODate) : QStringLiteral("now");
    };
    return QStringList{
        isFile ? QStringLiteral("attachment") : QFileInfo(item.fileName).completeBaseName(),
        date(item.fileCreated),
        date(item.fileModified),
        date(item.indexCreated),
        date(item.indexModified),
        item.fileTags.value_or(QStringList()).join(u',')}
        .join(QStringLiteral(" | "));
}

QStringList comparables(const QList<LibraryItem>& items, const QDateTime& runStart) {
    QStringList result;
    for (const LibraryItem& item : items) result << comparable(item, runStart);
    result.sort();
    return result;
}

QStringList missingFrom(const QStringList& all, QStringList others) {
    QStringList missing;
    for (const QString& entry : all)
        if (!others.removeOne(entry)) missing << entry;
    return missing;
}

class CorpusHTMLExportTest : public testing::TestWithParam<QString> {};

}  // namespace

TEST_P(CorpusHTMLExportTest, HTMLImportMatchesTheENEXImport) {
    const QString path = GetParam();
    TestEnvironment env;
    QDir().mkpath(env.path(QStringLiteral("evernote")));
    // The corpus is read where it is: the notebook is a link to the file.
    ASSERT_TRUE(
        QFile::link(path, env.path(QStringLiteral("evernote/") + QFileInfo(path).fileName())));
    installEvernote(env, env.path(QStringLiteral("evernote")));
    // Whole seconds: note dates have no fraction, and a file's time may lose it.
    const QDateTime runStart = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());

    const NotebookRun enex = importNotebooks(false, env.path(QStringLiteral("enex-library")));
    const NotebookRun html = importNotebooks(true, env.path(QStringLiteral("html-library")));
    const std::string file = corpusName(path).toStdString();
    ASSERT_TRUE(enex.libraryError.isEmpty() || enex.items.isEmpty())
        << file << ": " << enex.libraryError.toStdString();
    if (enex.outcome != QLatin1String("end"))
        GTEST_SKIP() << file << ": the ENEX import itself ended with "
                     << enex.outcome.toStdString();
    ASSERT_EQ(html.outcome, QStringLiteral("end")) << file;
    EXPECT_EQ(html.exported, enex.exported) << file;
    ASSERT_EQ(html.items.size(), enex.items.size()) << file;

    const QStringList fromENEX = comparables(enex.items, runStart);
    const QStringList fromHTML = comparables(html.items, runStart);
    EXPECT_EQ(fromHTML, fromENEX) << file << "\nonly in the ENEX import:\n  "
                                  << missingFrom(fromENEX, fromHTML).join("\n  ").toStdString()
                                  << "\nonly in the HTML import:\n  "
                                  << missingFrom(fromHTML, fromENEX).join("\n  ").toStdString();
    // Every item is there and readable; note packages come without note attributes.
    for (const LibraryItem& item : html.items) {
        EXPECT_TRUE(item.exists) << file << ": " << item.fileName.toStdString();
        if (item.kind != LibraryItem::Kind::NotePackage) continue;
        EXPECT_FALSE(QFile::exists(item.path + QStringLiteral("/NoteAttributes"))) << file;
        EXPECT_TRUE(item.contentError.isEmpty() ||
                    item.contentError.contains(QLatin1String("NoteAttributes")))
            << file << ": " << item.fileName.toStdString() << " "
            << item.contentError.toStdString();
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusHTMLExportTest);
INSTANTIATE_TEST_SUITE_P(Corpus, CorpusHTMLExportTest, testing::ValuesIn(corpusFiles()),
                         [](const auto& info) { return corpusTestName(info.param, info.index); });
