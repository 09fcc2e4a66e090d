#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBoundaryFinder>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "import/EvernoteXMLFileExportOperation.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/import/DescriptionCopy.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

// Imports one ENEX file into a library inside the test's folder. The
// description is copied aside before Pelmora consumes the staging folder.
struct FileImport {
    TestEnvironment env;
    RecordingDelegate delegate;
    std::shared_ptr<EvernoteXMLFileExportOperation> operation =
        std::make_shared<EvernoteXMLFileExportOperation>();
    DescriptionCopy description{*operation};
    OperationQueue queue;
    QString library = env.path(QStringLiteral("library"));

    FileImport() { PelmoraStandIn::setLibraryPathOverride(library); }
    ~FileImport() {
        queue.waitUntilAllOperationsAreFinished();
        PelmoraStandIn::setLibraryPathOverride(QString());
    }

    void run(const QString& fileName, const QByteArray& enex,
             const std::function<void()>& whileRunning = {}) {
        const QString file = env.writeFile(fileName, enex);
        operation->setExportFileURL(QUrl::fromLocalFile(file));
        operation->setDelegate(&delegate);
        queue.addOperation(operation);
        ASSERT_TRUE(runEventLoopUntil(
            [&] {
                if (whileRunning) whileRunning();
                return delegate.ended.load();
            },
            120000));
    }

    PlistDictionary group() const {
        const PlistDictionary folders = description.read()
                                            .value(QStringLiteral("Entities"))
                                            .toDictionary()
                                            .value(QStringLiteral("Folder"))
                                            .toDictionary();
        return folders.isEmpty() ? PlistDictionary()
                                 : folders.entries().front().second.toDictionary();
    }
    PlistDictionary items() const {
        return description.read()
            .value(QStringLiteral("Entities"))
            .toDictionary()
            .value(QStringLiteral("Item"))
            .toDictionary();
    }
    QString log() const {
        QFile f(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

TestNote attachmentNote(const QString& title, const QString& fileName) {
    TestNote note{title, QStringLiteral("%MEDIA0%")};
    note.attachments = {{QByteArray("content of ") + fileName.toUtf8(),
                         QStringLiteral("application/pdf"), fileName}};
    return note;
}

}  // namespace

TEST(EvernoteXMLFileExportOperationTest, ImportsItemsInOrderUnderOneGroupNamedAfterTheFile) {
    FileImport import;
    QByteArray enex = buildENEX({attachmentNote(QStringLiteral("A"), QStringLiteral("a.pdf")),
                                 {QStringLiteral("Skipped"), QStringLiteral("SKIPME")},
                                 attachmentNote(QStringLiteral("B"), QStringLiteral("b.pdf"))});
    // A note whose content holds no element at all cannot be converted.
    const qsizetype mark = enex.indexOf("SKIPME");
    const qsizetype from = enex.lastIndexOf("<content>", mark) + 9;
    enex.replace(from, enex.indexOf("</content>", mark) - from, "&lt;");
    import.run(QStringLiteral("Work.2014.enex"), enex);
    EXPECT_EQ(import.delegate.calls,
              (QStringList{QStringLiteral("file Work.2014.enex 3"), QStringLiteral("end")}));
    EXPECT_EQ(import.delegate.exported, 3);  // the skipped note still advances the count
    EXPECT_TRUE(import.delegate.allOnMainThread);

    const PlistDictionary group = import.group();
    EXPECT_EQ(group.value(QStringLiteral("name")).toString(), QStringLiteral("Work.2014"));
    const PlistArray itemIds = group.value(QStringLiteral("items")).toArray();
    ASSERT_EQ(itemIds.size(), 2);
    const PlistDictionary items = import.items();
    EXPECT_EQ(items.value(itemIds.at(0).toString())
                  .toDictionary()
                  .value(QStringLiteral("name"))
                  .toString(),
              QStringLiteral("A"));
    EXPECT_EQ(items.value(itemIds.at(1).toString())
                  .toDictionary()
                  .value(QStringLiteral("name"))
                  .toString(),
              QStringLiteral("B"));
    for (const auto& [id, item] : items.entries())
        EXPECT_EQ(item.toDictionary().value(QStringLiteral("folder")).toString(),
                  group.value(QStringLiteral("identifier")).toString());
    // The items written are counted for the summary ("folder" goes on copies:
    // see LibraryImportDescriptionTest).
    EXPECT_EQ(import.operation->itemCount(), 2);

    EXPECT_TRUE(QFile::exists(import.library + QStringLiteral("/Work.2014/A.pdf")));
    EXPECT_TRUE(QFile::exists(import.library + QStringLiteral("/Work.2014/B.pdf")));
    const QString log = import.log();
    EXPECT_TRUE(log.contains(QStringLiteral("Exported item: A (")));
    EXPECT_TRUE(log.contains(QStringLiteral("Skipping \"Skipped\"")));
    EXPECT_TRUE(log.contains(QStringLiteral("Error exporting item: Error Domain=")));
    EXPECT_TRUE(log.contains(QStringLiteral("*** Export ended for: ")));
}

TEST(EvernoteXMLFileExportOperationTest, TitlesOfThousandsOfEmojiGiveBoundedWholeCharacterNames) {
    // Skin tones, families joined by ZWJ and flags: clusters of up to 25 bytes.
    const QStringList clusters = {
        QStringLiteral("\U0001F44D\U0001F3FD"),
        QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"),
        QStringLiteral("\U0001F1E9\U0001F1EA"), QStringLiteral("\u2764\uFE0F")};
    QString title;
    for (int i = 0; i < 5000; ++i) title += clusters[i % clusters.size()];
    FileImport import;
    import.run(QStringLiteral("Emoji.enex"),
               buildENEX({{title, QStringLiteral("<div>one</div>")},
                          {title, QStringLiteral("<div>two</div>")},
                          attachmentNote(title, QStringLiteral("a.pdf"))}));
    EXPECT_EQ(import.operation->itemCount(), 3);

    const QStringList files = QDir(import.library + QStringLiteral("/Emoji"))
                                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    ASSERT_EQ(files.size(), 3) << files.join(u'|').toStdString();
    for (const QString& file : files) {
        const QByteArray bytes = file.toUtf8();
        EXPECT_LE(bytes.size(), 255);
        EXPECT_EQ(QString::fromUtf8(bytes), file);
        EXPECT_FALSE(file.contains(QChar::ReplacementCharacter));
        // The name is the title cut between clusters, then its number and extension.
        QString base = QFileInfo(file).completeBaseName();
        if (base.endsWith(QStringLiteral(" 1"))) base.chop(2);
        ASSERT_TRUE(title.startsWith(base)) << file.toStdString();
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, title);
        graphemes.setPosition(base.size());
        EXPECT_TRUE(graphemes.isAtBoundary()) << file.toStdString();
    }
    const PlistDictionary items = import.items();
    for (const auto& [id, item] : items.entries()) {
        const QString name = item.toDictionary().value(QStringLiteral("name")).toString();
        EXPECT_TRUE(title.startsWith(name.endsWith(QStringLiteral(" 1")) ? name.chopped(2) : name));
    }
}

TEST(EvernoteXMLFileExportOperationTest, EmptyFileStillImportsAnEmptyGroup) {
    FileImport import;
    import.run(QStringLiteral("Empty.enex"), buildENEX({}));
    EXPECT_EQ(import.delegate.calls,
              (QStringList{QStringLiteral("file Empty.enex 0"), QStringLiteral("end")}));
    EXPECT_EQ(import.group().value(QStringLiteral("items")).toArray().size(), 0);
    EXPECT_TRUE(QDir(import.library + QStringLiteral("/Empty")).exists());
}

TEST(EvernoteXMLFileExportOperationTest, MalformedFileIsReportedAndNothingIsConverted) {
    FileImport import;
    QByteArray enex = buildENEX({attachmentNote(QStringLiteral("A"), QStringLiteral("a.pdf"))});
    enex.replace("</en-export>", "<note>");
    import.run(QStringLiteral("Broken.enex"), enex);
    ASSERT_EQ(import.delegate.calls.size(), 1);
    EXPECT_TRUE(import.delegate.calls.first().startsWith(QStringLiteral("error ")));
    EXPECT_EQ(import.delegate.error.domain(), QStringLiteral("XMLParserErrorDomain"));
    EXPECT_FALSE(
        QFile::exists(import.env.tempDir() + QStringLiteral("/Evernote/Evernote.pmlibxml")));
    EXPECT_FALSE(QDir(import.env.tempDir() + QStringLiteral("/Evernote/Broken")).exists());
    EXPECT_TRUE(import.log().contains(QStringLiteral("Error counting notes: ")));
}

TEST(EvernoteXMLFileExportOperationTest, CancellingDuringConversionEndsWithCancelAndNoDescription) {
    FileImport import;
    QList<TestNote> notes;
    for (int i = 0; i < 300; ++i)
        notes << attachmentNote(QStringLiteral("N%1").arg(i), QStringLiteral("n.pdf"));
    // The run must not go on past the count at which the delegate acts.
    import.operation->setRecordsWaitForDelegate(true);
    import.delegate.onRecord = [&](int exported) { if (exported == 3) import.operation->cancel();
};
import.run(QStringLiteral("Many.enex"), buildENEX(notes));
EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("cancel"));
EXPECT_LT(import.delegate.exported, 300);
EXPECT_FALSE(QFile::exists(import.env.tempDir() + QStringLiteral("/Evernote/Evernote.pmlibxml")));
EXPECT_FALSE(QDir(import.library).exists());
}

// Attachments above a megabyte are decoded into hidden files beside the items
// while notes wait in the conversion pool: a cancel then must leave none.
TEST(EvernoteXMLFileExportOperationTest,
     CancellingWithLargeAttachmentsInFlightLeavesNoTemporaryFile) {
    FileImport import;
    QList<TestNote> notes;
    for (int i = 0; i < 16; ++i) {
        TestNote note{QStringLiteral("N%1").arg(i),
                      i % 2 ? QStringLiteral("%MEDIA0%") : QStringLiteral("<div>%MEDIA0%</div>")};
        note.attachments = {{QByteArray(1300 * 1024, char('a' + i)),
                             QStringLiteral("application/pdf"), QStringLiteral("n.pdf")}};
        notes << note;
    }
    import.delegate.onRecord = [&](int exported) { if (exported == 2) import.operation->cancel();
};
import.run(QStringLiteral("Large.enex"), buildENEX(notes));
import.queue.waitUntilAllOperationsAreFinished();
EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("cancel"));
EXPECT_FALSE(QFile::exists(import.env.tempDir() + QStringLiteral("/Evernote/Evernote.pmlibxml")));
QDirIterator it(import.env.tempDir() + QStringLiteral("/Evernote"),
                QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                QDirIterator::Subdirectories);
while (it.hasNext()) {
    const QString entry = it.next();
    EXPECT_FALSE(it.fileName().startsWith(u'.')) << entry.toStdString();
}
}

// Every real export in the shared corpus streams through without a crash, ends
// the run, and yields a description that Python's plistlib reads.
TEST(EvernoteXMLFileExportOperationTest, RealExportsFromTheCorpus) {
    const QString corpus = QStringLiteral(FERRYMARK_SOURCE_DIR "/../shared/corpus");
    if (!QDir(corpus).exists()) GTEST_SKIP() << "no corpus beside the clone";
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QDirIterator files(corpus, {QStringLiteral("*.enex")}, QDir::Files,
                       QDirIterator::Subdirectories);
    int count = 0;
    QTemporaryDir descriptionsDir;
    QStringList descriptions;
    while (files.hasNext()) {
        const QString path = files.next();
        QFile source(path);
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        FileImport import;
        import.run(QStringLiteral("corpus/") + QFileInfo(path).fileName(), source.readAll());
        const QString last = import.delegate.calls.last();
        // A file that is not well-formed XML is reported; every other file ends.
        EXPECT_TRUE(last == QLatin1String("end") ||
                    import.delegate.error.domain() == QLatin1String("XMLParserErrorDomain"))
            << path.toStdString() << ": " << last.toStdString();
        if (last != QLatin1String("end")) continue;
        ++count;
        EXPECT_EQ(import.delegate.exported, static_cast<int>(import.delegate.announced))
            << path.toStdString();
        // Every note is an item or logged with its reason.
        const int items =
            static_cast<int>(import.group().value(QStringLiteral("items")).toArray().size());
        EXPECT_EQ(items + import.log().count(QStringLiteral("Error exporting item: ")),
                  import.delegate.exported)
            << path.toStdString();
        descriptions << descriptionsDir.filePath(QStringLiteral("%1.plist").arg(count));
        ASSERT_TRUE(QFile::copy(import.description.path(), descriptions.last()));
    }
    if (!python.isEmpty()) {
        // One interpreter for all descriptions: starting one per file costs more than the imports.
        QProcess p;
        p.start(
            python,
            QStringList{
                QStringLiteral("-c"),
                QStringLiteral(
                    "import plistlib,sys\n"
                    "for f in sys.argv[1:]:\n"
                    "  d=plistlib.load(open(f,'rb')); g=list(d['Entities']['Folder'].values())\n"
                    "  assert len(g)==1 and 'items' in g[0], f")} +
                descriptions);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    }
    EXPECT_GT(count, 10);
}

namespace {

// A note whose attachment is larger than `FileSizeLimit` allows: its write fails.
TestNote oversizedNote(const QString& title) {
    TestNote note{title, QStringLiteral("%MEDIA0%")};
    note.attachments = {{QByteArray(2 * 1024 * 1024, 'x'), QStringLiteral("application/pdf"),
                         QStringLiteral("big.pdf")}};
    return note;
}

QList<TestNote> attachmentNotes(int count) {
    QList<TestNote> notes;
    for (int i = 0; i < count; ++i)
        notes << attachmentNote(QStringLiteral("N%1").arg(i), QStringLiteral("n.pdf"));
    return notes;
}

}  // namespace

// A full disk fails every later note alike: the run stops at the first such
// note with one error that names the folder and the system's reason, instead
// of skipping the rest one by one. The free-space seam plays the full disk.
TEST(EvernoteXMLFileExportOperationTest, FullDiskStopsTheRunWithOneErrorNamingTheFolder) {
    FileImport import;
    // Once the run has started the disk is full: the free-space seam says so
    // for the notebook folder, and a file-size limit makes the second note's
    // large write fail for real. (The limit is set from the run's own first
    // question about free space, before any note is read: notes are read
    // ahead of the progress callbacks.)
    std::unique_ptr<FileSizeLimit> limit;
    import.operation->setFreeSpaceQuery([&](const QString& path) {
        if (!limit) limit = std::make_unique<FileSizeLimit>(1024 * 1024);
    return std::optional<qint64>(path.endsWith(QStringLiteral("/Full")) ? 0 : 1LL << 40);
});
QList<TestNote> notes = attachmentNotes(20);
notes[1] = oversizedNote(QStringLiteral("Big"));
import.run(QStringLiteral("Full.enex"), buildENEX(notes));
limit.reset();
ASSERT_EQ(import.delegate.calls.last(), QStringLiteral("error 10006"))
    << import.log().toStdString();
EXPECT_LT(import.delegate.exported, 20);  // not one by one to the end
const Error& error = import.delegate.error;
const QString folder = import.env.tempDir() + QStringLiteral("/Evernote/Full");
EXPECT_TRUE(error.localizedDescription().contains(folder))
    << error.localizedDescription().toStdString();
EXPECT_TRUE(error.localizedDescription().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))));
ASSERT_NE(error.underlyingError(), nullptr);
EXPECT_EQ(error.underlyingError()->domain(), QStringLiteral("NSPOSIXErrorDomain"));
EXPECT_EQ(error.underlyingError()->code(), ENOSPC);
EXPECT_EQ(import.log().count(QStringLiteral("Error exporting item: ")), 1);
EXPECT_FALSE(QFile::exists(import.env.tempDir() + QStringLiteral("/Evernote/Evernote.pmlibxml")));
EXPECT_FALSE(QDir(import.library).exists());
}

// The notebook folder vanishing mid-run (unmounted, removed) also ends the run
// at once, whatever error the failed write happened to carry.
TEST(EvernoteXMLFileExportOperationTest, NotebookFolderGoneStopsTheRun) {
    FileImport import;
    const QString folder = import.env.tempDir() + QStringLiteral("/Evernote/Gone");
    // The run must not go on past the count at which the delegate acts.
    import.operation->setRecordsWaitForDelegate(true);
    import.delegate.onRecord = [&](int exported) { if (exported != 2) return;
    // Gone at once, as an unmount makes it: notes convert meanwhile, and a
    // removal file by file would race with their writes.
    const QString aside = folder + QStringLiteral(" (gone)");
    QDir().rename(folder, aside);
    QDir(aside).removeRecursively();
};
import.run(QStringLiteral("Gone.enex"), buildENEX(attachmentNotes(50)));
ASSERT_EQ(import.delegate.calls.last(), QStringLiteral("error 10006"));
EXPECT_LT(import.delegate.exported, 50);
EXPECT_TRUE(import.delegate.error.localizedDescription().contains(folder));
ASSERT_NE(import.delegate.error.underlyingError(), nullptr);
EXPECT_EQ(import.delegate.error.underlyingError()->code(), ENOENT);
}

// A staging folder with plainly too little room refuses to start: nothing is
// counted, converted or handed to Pelmora.
TEST(EvernoteXMLFileExportOperationTest, TooLittleFreeSpaceRefusesToStart) {
    FileImport import;
    import.operation->setFreeSpaceQuery([](const QString&) { return std::optional<qint64>(100);
});
import.run(QStringLiteral("Big.enex"), buildENEX(attachmentNotes(10)));
EXPECT_EQ(import.delegate.calls, QStringList{QStringLiteral("error 10007")});
const QString message = import.delegate.error.localizedDescription();
EXPECT_TRUE(message.contains(import.env.tempDir() + QStringLiteral("/Evernote")))
    << message.toStdString();
EXPECT_TRUE(message.contains(QStringLiteral("not enough free space")));
EXPECT_EQ(import.delegate.exported, 0);
EXPECT_FALSE(QDir(import.library).exists());
}

// A fault the count's scan cannot see (a character XML forbids) is found by
// the converting parse: the count was announced, the notes before the fault
// were converted, and the run ends with the parser's error and no description.
TEST(EvernoteXMLFileExportOperationTest, FaultOnlyTheParserSeesEndsWithItsErrorAndNoDescription) {
    FileImport import;
    QByteArray enex = buildENEX({attachmentNote(QStringLiteral("A"), QStringLiteral("a.pdf")),
                                 attachmentNote(QStringLiteral("BAD"), QStringLiteral("b.pdf")),
                                 attachmentNote(QStringLiteral("C"), QStringLiteral("c.pdf"))});
    enex.replace("BAD", "B\x01D");
    import.run(QStringLiteral("Bad.enex"), enex);
    ASSERT_GE(import.delegate.calls.size(), 2);
    EXPECT_EQ(import.delegate.calls.first(), QStringLiteral("file Bad.enex 3"));
    EXPECT_TRUE(import.delegate.calls.last().startsWith(QStringLiteral("error ")))
        << import.delegate.calls.last().toStdString();
    EXPECT_EQ(import.delegate.error.domain(), QStringLiteral("XMLParserErrorDomain"));
    EXPECT_EQ(import.delegate.exported, 1);
    EXPECT_TRUE(QDir(import.env.tempDir() + QStringLiteral("/Evernote"))
                    .entryList({QStringLiteral("Evernote.pmlibxml*")}, QDir::Files | QDir::Hidden)
                    .isEmpty());
    EXPECT_FALSE(QFile::exists(import.description.path()));
    EXPECT_FALSE(QDir(import.library).exists());
}

// The per-note callbacks do not hold the conversion back: with the main
// thread stuck in the first one until the description is written, the run
// still converts every note, and the delegate then sees each count, the end
// last.
TEST(EvernoteXMLFileExportOperationTest, BusyMainThreadDoesNotStallTheConversion) {
    FileImport import;
    std::mutex mutex;
    std::condition_variable written;
    bool descriptionWritten = false;
    bool conversionWentOn = false;
    import.operation->setDescriptionObserver([&](const QString&) {
        std::lock_guard lock(mutex);
    descriptionWritten = true;
    written.notify_all();
});
import.delegate.onRecord = [&](int exported) { if (exported != 1) return;
std::unique_lock lock(mutex);
conversionWentOn =
    written.wait_for(lock, std::chrono::seconds(120), [&] { return descriptionWritten; });
}
;
import.run(QStringLiteral("Busy.enex"), buildENEX(attachmentNotes(60)));
EXPECT_TRUE(conversionWentOn);
EXPECT_EQ(import.delegate.calls,
          (QStringList{QStringLiteral("file Busy.enex 60"), QStringLiteral("end")}));
EXPECT_EQ(import.delegate.exported, 60);
}

// A run without a report keeps nothing per note once it has ended; with
// one, every note has its entry with the path the library filed it at.
TEST(EvernoteXMLFileExportOperationTest, PerNoteRecordsAreKeptOnlyForAReport) {
    const QByteArray enex = buildENEX({{QStringLiteral("A"), QStringLiteral("<div>a</div>")},
                                       {QStringLiteral("B"), QStringLiteral("<div>b</div>")}});
    {
        FileImport plain;
        plain.run(QStringLiteral("Plain.enex"), enex);
        EXPECT_EQ(plain.operation->noteReport(), nullptr);
        EXPECT_EQ(plain.operation->importResult().taken, 2);
        EXPECT_TRUE(plain.operation->importResult().libraryPaths.isEmpty());
    }
    FileImport reported;
    auto report = std::make_shared<NoteReport>();
    reported.operation->setNoteReport(report);
    reported.run(QStringLiteral("Reported.enex"), enex);
    const QList<NoteReport::Entry> entries = report->entries();
    ASSERT_EQ(entries.size(), 2);
    for (const NoteReport::Entry& entry : entries) {
        EXPECT_EQ(entry.outcome, NoteReport::Outcome::Imported);
        EXPECT_TRUE(entry.path.startsWith(reported.library + QStringLiteral("/Reported/")))
            << entry.path.toStdString();
        EXPECT_TRUE(QFileInfo::exists(entry.path));
    }
    EXPECT_EQ(entries[0].title, QStringLiteral("A"));
    EXPECT_EQ(entries[1].index, 1u);
}
