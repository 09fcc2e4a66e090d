#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <thread>

#include "import/EvernoteXMLExportOperation.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/import/DescriptionCopy.h"
#include "tests/support/Applications.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/LibraryReader.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

TestNote attachmentNote(const QString& title) {
    TestNote note{title, QStringLiteral("%MEDIA0%")};
    note.attachments = {{QByteArray("pdf of ") + title.toUtf8(), QStringLiteral("application/pdf"),
                         QStringLiteral("f.pdf")}};
    return note;
}

// Evernote with a folder of notebooks, Pelmora importing into a test library.
struct NotebookImport {
    TestEnvironment env;
    RecordingDelegate delegate;
    std::shared_ptr<EvernoteExportOperation> operation;
    std::unique_ptr<DescriptionCopy> description;
    OperationQueue queue;
    QString library = env.path(QStringLiteral("library"));

    explicit NotebookImport(const QList<QPair<QString, QList<TestNote>>>& notebooks) {
        for (const auto& [name, notes] : notebooks)
            env.writeFile(QStringLiteral("evernote/%1.enex").arg(name), buildENEX(notes));
        installEvernote(env, env.path(QStringLiteral("evernote")));
        PelmoraStandIn::setLibraryPathOverride(library);
    }
    ~NotebookImport() {
        queue.waitUntilAllOperationsAreFinished();
        PelmoraStandIn::setLibraryPathOverride(QString());
    }

    // The run holds at each count until the delegate has seen it (a test that acts at a count).
    bool recordsWait = false;
    // The run is cancelled before its queue gets it.
    bool cancelledBeforeStart = false;

    void run(const std::function<void()>& whileRunning = {}) {
        auto evernote = EvernoteApplication::applicationWithBundleIdentifier();
        ASSERT_NE(evernote, nullptr);
        operation = EvernoteExportOperation::exportOperationForApp(evernote, evernote->notebooks(),
                                                                   &delegate);
        description = std::make_unique<DescriptionCopy>(*operation);
        operation->setRecordsWaitForDelegate(recordsWait);
        if (cancelledBeforeStart) operation->cancel();
        queue.addOperation(operation);
        ASSERT_TRUE(runEventLoopUntil(
            [&] {
                if (whileRunning) whileRunning();
                return delegate.ended.load();
            },
            120000));
    }
};

}  // namespace

TEST(EvernoteXMLExportOperationTest, ExportsEachNotebookThroughEvernoteAndImportsItsItems) {
    NotebookImport import(
        {{QStringLiteral("Alpha"),
          {attachmentNote(QStringLiteral("A1")), attachmentNote(QStringLiteral("A2"))}},
         {QStringLiteral("Beta"), {}},
         {QStringLiteral("Gamma"), {attachmentNote(QStringLiteral("G1"))}}});
    import.run();
    EXPECT_EQ(import.delegate.calls,
              (QStringList{QStringLiteral("notebook Alpha 2"), QStringLiteral("notebook Beta 0"),
                           QStringLiteral("notebook Gamma 1"), QStringLiteral("end")}));
    EXPECT_EQ(import.delegate.exported, 3);
    const PlistDictionary folders = import.description->read()
                                        .value(QStringLiteral("Entities"))
                                        .toDictionary()
                                        .value(QStringLiteral("Folder"))
                                        .toDictionary();
    QMap<QString, qsizetype> itemsPerGroup;
    for (const auto& [id, group] : folders.entries())
        itemsPerGroup[group.toDictionary().value(QStringLiteral("name")).toString()] =
            group.toDictionary().value(QStringLiteral("items")).toArray().size();
    EXPECT_EQ(itemsPerGroup.value(QStringLiteral("Alpha")), 2);
    EXPECT_EQ(itemsPerGroup.value(QStringLiteral("Beta")),
              0);  // an empty notebook still gets its group
    EXPECT_EQ(itemsPerGroup.value(QStringLiteral("Gamma")), 1);
    EXPECT_TRUE(QFile::exists(import.library + QStringLiteral("/Alpha/A1.pdf")));
    EXPECT_TRUE(QFile::exists(import.library + QStringLiteral("/Gamma/G1.pdf")));
    // Nothing of Evernote's export is left in the temporary folder.
    EXPECT_TRUE(QDir(import.env.tempDir()).entryList({QStringLiteral("*.enex")}).isEmpty());
}

TEST(EvernoteXMLExportOperationTest, ExportsIntoEvernotesContainerWhenItHasOne) {
    NotebookImport import({{QStringLiteral("Alpha"), {attachmentNote(QStringLiteral("A1"))}}});
    const QString container =
        import.env.dataHome() + QStringLiteral("/Containers/com.evernote.Evernote");
    QDir().mkpath(container);
    import.operation = nullptr;
    import.run();
    EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("end"));
    EXPECT_FALSE(
        QDir(container + QStringLiteral("/Data/Library/Application Support/Ferrymark")).exists());
}

TEST(EvernoteXMLExportOperationTest, CancellationStopsTheRunWithoutADescription) {
    QList<TestNote> many;
    for (int i = 0; i < 200; ++i) many << attachmentNote(QStringLiteral("N%1").arg(i));
    NotebookImport import({{QStringLiteral("Alpha"), many}, {QStringLiteral("Beta"), many}});
    import.recordsWait = true;
    import.delegate.onRecord = [&](int exported) { if (exported == 2) import.operation->cancel();
};
import.run();
EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("cancel"));
EXPECT_FALSE(QDir(import.library).exists());
EXPECT_FALSE(QFile::exists(import.env.tempDir() + QStringLiteral("/Evernote/Evernote.pmlibxml")));
}

// The delegate waits for the end of a run it cancelled, however early.
TEST(EvernoteXMLExportOperationTest, ARunCancelledBeforeItStartsEndsOnceAsCancelled) {
    NotebookImport session({{QStringLiteral("Alpha"), {attachmentNote(QStringLiteral("A1"))}}});
    session.cancelledBeforeStart = true;
    session.run();
    EXPECT_EQ(session.delegate.calls, QStringList{QStringLiteral("cancel")});
    EXPECT_FALSE(QDir(session.library).exists());
}

// Whenever a cancel comes (from another thread as the run starts, or at any
// record while the parse goes on and the next notebook is exported), the run
// ends exactly once, and as cancelled leaves no library behind. No cancel
// point may leave a notebook's parse waiting for ever in its queue.
TEST(EvernoteXMLExportOperationTest, CancelAtAnyMomentEndsTheRunOnce) {
    QList<TestNote> notes;
    for (int i = 0; i < 3; ++i) notes << attachmentNote(QStringLiteral("N%1").arg(i));
    for (int at = 0; at <= 9; ++at) {
        NotebookImport session({{QStringLiteral("Alpha"), notes},
                                {QStringLiteral("Beta"), notes},
                                {QStringLiteral("Gamma"), notes}});
        std::thread canceller;
        session.delegate.onRecord = [&](int exported) {
            if (exported == at) session.operation->cancel();
        };
        session.run([&] {
            if (at == 0 && !canceller.joinable())
                canceller = std::thread([&] { session.operation->cancel(); });
        });
        if (canceller.joinable()) canceller.join();
        const QStringList& calls = session.delegate.calls;
        EXPECT_EQ(calls.count(QStringLiteral("cancel")) + calls.count(QStringLiteral("end")), 1)
            << at;
        if (calls.last() == QStringLiteral("cancel")) {
            EXPECT_FALSE(QDir(session.library).exists());
        }
    }
}

// A note links to one in a later notebook: the note service's list of every
// notebook's notes names it before its notebook is exported.
TEST(EvernoteXMLExportOperationTest, LinksLeadToNotesOfLaterNotebooks) {
    const QString link = QStringLiteral(
        "https://www.evernote.com/shard/s1/nl/2/914ba57d-d5e6-4ef5-ba5b-b9134529c188/");
    NotebookImport import(
        {{QStringLiteral("Alpha"),
          {{QStringLiteral("Source"),
            QStringLiteral("<div><a href=\"%1\">Later one</a></div>").arg(link)}}},
         {QStringLiteral("Beta"), {{QStringLiteral("Later One"), QStringLiteral("<div/>")}}}});
    import.run();
    ASSERT_EQ(import.delegate.calls.last(), QStringLiteral("end"));
    const auto library = readLibrary(import.library);
    ASSERT_TRUE(library);
    const auto source = std::find_if(library->begin(), library->end(),
                                     [](const LibraryItem& i) { return i.indexName == "Source"; });
    ASSERT_NE(source, library->end());
    ASSERT_EQ(source->links.size(), 1);
    const auto followed = PelmoraStandIn::builtIn()->pathOfLinkedItem(source->links[0].url);
    ASSERT_TRUE(followed) << source->links[0].url.toString().toStdString();
    EXPECT_EQ(*followed, import.library + QStringLiteral("/Beta/Later One.pmnote"));
}
