#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "import/EvernoteXMLFileExportOperation.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/import/CorpusImport.h"
#include "tests/import/DescriptionCopy.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

// Imports ENEX files in one run, with or without recovery, into a library in
// the test's folder; the description is copied aside before Pelmora takes it.
struct DamagedImport {
    TestEnvironment env;
    RecordingDelegate delegate;
    std::shared_ptr<EvernoteXMLFileExportOperation> operation =
        std::make_shared<EvernoteXMLFileExportOperation>();
    DescriptionCopy description{*operation};
    OperationQueue queue;

    explicit DamagedImport(bool recovers) {
        PelmoraStandIn::setLibraryPathOverride(env.path(QStringLiteral("library")));
        operation->setRecoversDamagedNotes(recovers);
    }
    ~DamagedImport() {
        queue.waitUntilAllOperationsAreFinished();
        PelmoraStandIn::setLibraryPathOverride(QString());
    }

    void run(const QList<QUrl>& files) {
        operation->setExportFileURLs(files);
        operation->setDelegate(&delegate);
        queue.addOperation(operation);
        ASSERT_TRUE(runEventLoopUntil([&] { return delegate.ended.load(); }, 120000));
    }
    void run(const QByteArray& enex) {
        run({QUrl::fromLocalFile(env.writeFile(QStringLiteral("Damaged.enex"), enex))});
    }

    // The names of the items written, in the order of the description.
    QStringList itemNames() const {
        const PlistDictionary entities =
            description.read().value(QStringLiteral("Entities")).toDictionary();
        const PlistDictionary items = entities.value(QStringLiteral("Item")).toDictionary();
        const PlistDictionary folders = entities.value(QStringLiteral("Folder")).toDictionary();
        QStringList names;
        for (const auto& [name, folder] : folders.entries()) {
            const PlistArray ids = folder.toDictionary().value(QStringLiteral("items")).toArray();
            for (qsizetype i = 0; i < ids.size(); ++i)
                names << items.value(ids.at(i).toString())
                             .toDictionary()
                             .value(QStringLiteral("name"))
                             .toString();
        }
        return names;
    }
    QString log() const {
        QFile f(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    QStringList keptNotes() const {
        return QDir(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Damaged Notes"))
            .entryList(QDir::Files, QDir::Name);
    }
    ENEXDamageReport onlyReport() const {
        const QList<ENEXDamageReport> reports = operation->damageReports();
        EXPECT_EQ(reports.size(), 1);
        return reports.value(0);
    }
};

TestNote textNote(const QString& title, const QString& enml = QStringLiteral("<div>Text</div>")) {
    return {title, enml};
}

// Three notes, the middle one to be damaged.
QByteArray threeNotes(const QString& middleENML = QStringLiteral("<div>MIDDLE</div>")) {
    return buildENEX({textNote(QStringLiteral("A")), textNote(QStringLiteral("B"), middleENML),
                      textNote(QStringLiteral("C"))});
}

void expectAccountsForEveryNote(const ENEXDamageReport& report, unsigned long found) {
    EXPECT_EQ(report.found, found);
    EXPECT_EQ(report.imported + report.repaired + report.lost + report.skipped, report.found);
}

}  // namespace

// Each kind of known damage in the middle note: the notes around it are
// imported, the damaged one is repaired and imported, and the log names it.
TEST(DamagedExportRecoveryTest, KnownDamageIsRepairedAndEveryNoteImported) {
    struct Damage {
        const char* name;
        std::function<QByteArray()> enex;
        QString middleTitle = QStringLiteral("B");
    };
    const QList<Damage> damages = {
        {"nested CDATA", [] { return threeNotes(QStringLiteral("<div>a]]<![CDATA[>]]>b</div>")); }},
        {"unclosed CDATA",
         [] {
             QByteArray enex = threeNotes();
             const qsizetype middle = enex.indexOf("MIDDLE");
             enex.replace(enex.indexOf("]]></content>", middle), 3, "");
             return enex;
         }},
        {"unescaped &",
         [] {
             QByteArray enex = threeNotes();
             enex.replace("<title>B</title>", "<title>Tom & Jerry</title>");
             return enex;
         },
         QStringLiteral("Tom & Jerry")},
        {"missing </note>",
         [] {
             QByteArray enex = threeNotes();
             const qsizetype middle = enex.indexOf("MIDDLE");
             enex.remove(enex.indexOf("</note>", middle), 7);
             return enex;
         }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        DamagedImport import(true);
        import.run(damage.enex());
        EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("end"));
        const QStringList names = import.itemNames();
        ASSERT_EQ(names.size(), 3) << names.join(u',').toStdString();
        EXPECT_EQ(names[0], QStringLiteral("A"));
        EXPECT_EQ(names[1], damage.middleTitle);
        EXPECT_EQ(names[2], QStringLiteral("C"));
        const ENEXDamageReport report = import.onlyReport();
        expectAccountsForEveryNote(report, 3);
        EXPECT_EQ(report.repaired, 1ul);
        EXPECT_EQ(report.lost, 0ul);
        EXPECT_TRUE(import.log().contains(QStringLiteral("Repaired note “") + damage.middleTitle));
        EXPECT_TRUE(import.log().contains(QString::fromLatin1(damage.name)));
    }
}

// Damage with no known repair: the note is lost, the rest imported; the log
// names its place, title and the parser's message and where its XML is kept,
// written once as it was in the file.
TEST(DamagedExportRecoveryTest, UnrepairableNoteIsLostLoggedAndKeptAsRawXML) {
    DamagedImport import(true);
    QByteArray enex = threeNotes();
    enex.replace("<title>B</title>", "<title>B</title><created>x</wrong>");
    import.run(enex);
    EXPECT_EQ(import.itemNames(), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    const ENEXDamageReport report = import.onlyReport();
    expectAccountsForEveryNote(report, 3);
    EXPECT_EQ(report.lost, 1ul);
    const QString log = import.log();
    EXPECT_TRUE(log.contains(QStringLiteral("Damaged note “B” at line 5, column 1 of ")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Opening and ending tag mismatch")));
    ASSERT_EQ(import.keptNotes(), QStringList{QStringLiteral("Damaged note 2.xml")});
    EXPECT_TRUE(log.contains(QStringLiteral("its XML is kept in ") + import.env.dataHome() +
                             QStringLiteral("/Pelmora 3/Logs/Damaged Notes/Damaged note 2.xml")));
    QFile kept(import.env.dataHome() +
               QStringLiteral("/Pelmora 3/Logs/Damaged Notes/Damaged note 2.xml"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const QByteArray raw = kept.readAll();
    EXPECT_TRUE(raw.startsWith("<note><title>B</title><created>x</wrong>"));
    EXPECT_TRUE(raw.endsWith("</note>"));
}

// A file cut short: every whole note is imported, the cut one is lost, and
// the log says the file ends inside a note.
TEST(DamagedExportRecoveryTest, CutFileImportsEveryWholeNote) {
    DamagedImport import(true);
    QByteArray enex = threeNotes();
    enex.truncate(enex.lastIndexOf("<title>C</title>") + 20);
    import.run(enex);
    EXPECT_EQ(import.itemNames(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    const ENEXDamageReport report = import.onlyReport();
    expectAccountsForEveryNote(report, 3);
    EXPECT_TRUE(report.endsInsideNote);
    EXPECT_EQ(report.lost, 1ul);
    EXPECT_TRUE(import.log().contains(QStringLiteral("ends inside a note (“C”")));
}

// Among several files, one that is not XML and one that cannot be read are
// reported; the good ones are still imported.
TEST(DamagedExportRecoveryTest, FileThatIsNotENEXAmongGoodOnesIsReportedAndTheOthersImported) {
    DamagedImport import(true);
    const QString first = import.env.writeFile(QStringLiteral("First.enex"),
                                               buildENEX({textNote(QStringLiteral("One"))}));
    const QString junk =
        import.env.writeFile(QStringLiteral("Junk.enex"), QByteArray("plain text, no XML\n"));
    const QString missing = import.env.path(QStringLiteral("Missing.enex"));
    const QString last = import.env.writeFile(QStringLiteral("Last.enex"),
                                              buildENEX({textNote(QStringLiteral("Two"))}));
    import.run({QUrl::fromLocalFile(first), QUrl::fromLocalFile(junk), QUrl::fromLocalFile(missing),
                QUrl::fromLocalFile(last)});
    EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("end"));
    EXPECT_EQ(import.itemNames(), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));
    const QList<ENEXDamageReport> reports = import.operation->damageReports();
    ASSERT_EQ(reports.size(), 2);
    EXPECT_EQ(reports[0].filePath, junk);
    EXPECT_EQ(reports[1].filePath, missing);
    for (const ENEXDamageReport& report : reports) {
        EXPECT_FALSE(report.fileError.isNull());
        EXPECT_TRUE(report.hasDamage());
        expectAccountsForEveryNote(report, 0);
    }
    EXPECT_TRUE(import.log().contains(QStringLiteral("could not be read as an ENEX file")));
}

// Without recovery, damage ends the run as before: the scan's or the
// parser's error, no description.
TEST(DamagedExportRecoveryTest, WithoutRecoveryDamageEndsTheRunAsBefore) {
    QByteArray ampersand = threeNotes();
    ampersand.replace("<title>B</title>", "<title>B & b</title>");
    QByteArray cut = threeNotes();
    cut.truncate(cut.lastIndexOf("<title>C</title>") + 20);
    for (const QByteArray& enex :
         {threeNotes(QStringLiteral("<div>a]]<![CDATA[>]]>b</div>")), ampersand, cut}) {
        DamagedImport import(false);
        import.run(enex);
        EXPECT_TRUE(import.delegate.calls.last().startsWith(QStringLiteral("error ")));
        EXPECT_EQ(import.delegate.error.domain(), QStringLiteral("XMLParserErrorDomain"));
        EXPECT_FALSE(QFile::exists(import.description.path()));
        EXPECT_TRUE(import.operation->damageReports().isEmpty());
        EXPECT_TRUE(import.keptNotes().isEmpty());
    }
    DamagedImport unreadable(false);
    unreadable.run({QUrl::fromLocalFile(unreadable.env.path(QStringLiteral("Missing.enex")))});
    EXPECT_TRUE(unreadable.delegate.calls.last().startsWith(QStringLiteral("error ")));
}

// A sound file read with recovery on is read as without it: no report.
TEST(DamagedExportRecoveryTest, SoundFileGivesNoReport) {
    DamagedImport import(true);
    import.run(threeNotes());
    EXPECT_EQ(import.itemNames().size(), 3);
    EXPECT_TRUE(import.operation->damageReports().isEmpty());
    EXPECT_FALSE(import.log().contains(QStringLiteral("note by note")));
}

// The damaged file of the corpus (a misnested end tag in its one note).
TEST(DamagedExportRecoveryTest, DamagedCorpusFileIsAccountedFor) {
    const QString file = corpusFolder() + QStringLiteral("/yarle/test.enex");
    if (corpusFolder().isEmpty() || !QFile::exists(file)) GTEST_SKIP() << "no corpus";
    DamagedImport import(true);
    import.run({QUrl::fromLocalFile(file)});
    EXPECT_EQ(import.delegate.calls.last(), QStringLiteral("end"));
    const ENEXDamageReport report = import.onlyReport();
    expectAccountsForEveryNote(report, 1);
    EXPECT_EQ(report.lost, 1ul);
    EXPECT_TRUE(import.log().contains(QStringLiteral("Opening and ending tag mismatch")));
}
