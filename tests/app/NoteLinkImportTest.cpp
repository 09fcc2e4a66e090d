// Links between notes through a whole run of the command line: they lead to
// the imported notes (followed through the library's item links), to notes
// later in the run as well as earlier ones; what cannot be named clearly is
// left as it was, counted in the summary and named in the log; hostile notes
// are held to a limit without failing the others.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/ImportCommand.h"
#include "platform/apps/PelmoraStandIn.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/LibraryReader.h"
#include "tests/support/PassageEncryptor.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct Output {
    QString out, err;
    QTextStream outStream{&out}, errStream{&err};
};

// The links of the library's note package `folder`/`title`.pmnote, in order.
QList<LibraryLink> linksOfPackage(const QString& library, const QString& folder,
                                  const QString& title) {
    const auto items = readLibrary(library);
    EXPECT_TRUE(items);
    if (!items) return {};
    for (const LibraryItem& item : *items)
        if (item.folderName == folder && item.fileName == title + QStringLiteral(".pmnote"))
            return item.links;
    ADD_FAILURE() << "no package " << title.toStdString() << " in " << folder.toStdString();
    return {};
}

QString viewLink(int n) {
    const QString guid =
        QStringLiteral("%1-d5e6-4ef5-ba5b-b9134529c188").arg(n, 8, 10, QChar(u'0'));
    return QStringLiteral("evernote:///view/16093948/s150/%1/%1/").arg(guid);
}

QString anchor(int n, const QString& text) {
    return QStringLiteral("<a href=\"%1\">%2</a>").arg(viewLink(n), text);
}

struct LinkRun {
    TestEnvironment env;
    QString library = env.path(QStringLiteral("library"));
    Output o;
    int status = -1;

    void import(const QList<QPair<QString, QByteArray>>& files) {
        QStringList args;
        for (const auto& [name, enex] : files) args << env.writeFile(name, enex);
        args << QStringLiteral("--library") << library;
        status = runImportCommand(args, o.outStream, o.errStream);
    }
    QString package(const QString& folder, const QString& title) const {
        return library + u'/' + folder + u'/' + title + QStringLiteral(".pmnote");
    }
    // Where the library leads `url`; empty when nowhere.
    QString follow(const QUrl& url) const {
        return PelmoraStandIn::builtIn()->pathOfLinkedItem(url).value_or(QString());
    }
    QByteArray log() const {
        QFile file(env.dataHome() + QStringLiteral("/Pelmora 3/Logs/Evernote Export.log"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    ~LinkRun() { PelmoraStandIn::setLibraryPathOverride(QString()); }
};

}  // namespace

TEST(NoteLinkImport, LinksLeadToTheImportedNotesBeforeAndAfterThemAcrossFiles) {
    LinkRun run;
    const QString card =
        QStringLiteral(
            "<div style=\"--en-richlink:true; --en-href:%1; --en-title:Index\">"
            "<a href=\"%1\">%1</a></div>")
            .arg(QStringLiteral("https://www.evernote.com/shard/s1/nl/2/00000009-d5e6-4ef5-ba5b-"
                                "b9134529c188/"));
    run.import(
        {{QStringLiteral("First.enex"),
          buildENEX({{QStringLiteral("Earlier"), QStringLiteral("<div>first</div>")},
                     {QStringLiteral("Index"),
                      QStringLiteral("<div>%1 %2 %3 %4</div>")
                          .arg(anchor(1, QStringLiteral("Earlier")),
                               anchor(2, QStringLiteral("later  NOTE")),
                               anchor(2, QStringLiteral("see there")),  // tied by the link before
                               anchor(3, QStringLiteral("Latter Note")))}})},
         {QStringLiteral("Second.enex"),
          buildENEX(
              {{QStringLiteral("Later Note"), QStringLiteral("<div>back: %1</div>").arg(card)}})}});
    ASSERT_EQ(run.status, 0) << run.o.err.toStdString() << run.o.out.toStdString();
    EXPECT_TRUE(
        run.o.out.contains(QStringLiteral("4 links between notes resolved, 1 left as they were.")))
        << run.o.out.toStdString();

    const QString earlier = run.package(QStringLiteral("First"), QStringLiteral("Earlier"));
    const QString index = run.package(QStringLiteral("First"), QStringLiteral("Index"));
    const QString later = run.package(QStringLiteral("Second"), QStringLiteral("Later Note"));
    const QList<LibraryLink> links =
        linksOfPackage(run.library, QStringLiteral("First"), QStringLiteral("Index"));
    ASSERT_EQ(links.size(), 4);
    EXPECT_EQ(run.follow(links[0].url), earlier);
    EXPECT_EQ(run.follow(links[1].url), later);
    EXPECT_EQ(run.follow(links[2].url), later);
    EXPECT_EQ(links[3].url, QUrl(viewLink(3)));  // misspelt: as it was
    const QList<LibraryLink> back =
        linksOfPackage(run.library, QStringLiteral("Second"), QStringLiteral("Later Note"));
    ASSERT_EQ(back.size(), 1);
    EXPECT_EQ(run.follow(back[0].url), index);

    const QByteArray log = run.log();
    EXPECT_TRUE(log.contains(("Link between notes left as it was in note \"Index\": \"Latter "
                              "Note\" (" +
                              viewLink(3) + "): no note of this import has that title")
                                 .toUtf8()))
        << log.toStdString();
}

TEST(NoteLinkImport, NeverGuessesBetweenNotesThatShareATitle) {
    LinkRun run;
    run.import(
        {{QStringLiteral("A.enex"),
          buildENEX({{QStringLiteral("Twin"), QStringLiteral("<div>one</div>")},
                     {QStringLiteral("Pointer"), QStringLiteral("<div>%1 %2</div>")
                                                     .arg(anchor(1, QStringLiteral("Twin")),
                                                          anchor(2, QStringLiteral("case")))},
                     {QStringLiteral("Case"), QStringLiteral("<div>lower</div>")}})},
         {QStringLiteral("B.enex"),
          buildENEX({{QStringLiteral("Twin"), QStringLiteral("<div>two</div>")},
                     {QStringLiteral("CASE"), QStringLiteral("<div>upper</div>")}})}});
    ASSERT_EQ(run.status, 0) << run.o.err.toStdString();
    // "Twin" is two notes' title; "case" fits two titles once case is ignored.
    const QList<LibraryLink> links =
        linksOfPackage(run.library, QStringLiteral("A"), QStringLiteral("Pointer"));
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links[0].url, QUrl(viewLink(1)));
    EXPECT_EQ(links[1].url, QUrl(viewLink(2)));
    EXPECT_TRUE(
        run.o.out.contains(QStringLiteral("0 links between notes resolved, 2 left as they were.")))
        << run.o.out.toStdString();
    EXPECT_EQ(run.log().count("more than one note of this import has that title"), 2)
        << run.log().toStdString();
}

TEST(NoteLinkImport, HostileLinksAndTitlesFailNoNote) {
    LinkRun run;
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80").repeated(5000);
    QString many;
    for (int i = 0; i < 100000; ++i) many += anchor(7, QStringLiteral("Plain"));
    run.import(
        {{QStringLiteral("Bad.enex"),
          buildENEX({{QStringLiteral("Plain"), QStringLiteral("<div>plain</div>")},
                     {emoji, QStringLiteral("<div>%1</div>").arg(anchor(8, emoji))},
                     {QStringLiteral("Script"),
                      QStringLiteral("<div><a href=\"javascript:alert(1)\">Plain</a></div>")},
                     {QStringLiteral("Many"), many}})}});
    ASSERT_EQ(run.status, 0) << run.o.err.toStdString();
    EXPECT_TRUE(run.o.out.contains(QStringLiteral("Imported 4 of 4 notes")))
        << run.o.out.toStdString();
    EXPECT_TRUE(
        run.o.out.contains(QStringLiteral("10000 links between notes resolved, 90001 left")))
        << run.o.out.toStdString();
    const QByteArray log = run.log();
    EXPECT_TRUE(log.contains("the link text is longer than 1000 characters")) << log.size();
    EXPECT_TRUE(
        log.contains("Note \"Many\" holds 100000 links to other notes; the 90000 after the "
                     "first 10000 are left as they were"));
    // The script address is no link between notes: it is neither resolved nor kept.
    EXPECT_TRUE(
        linksOfPackage(run.library, QStringLiteral("Bad"), QStringLiteral("Script")).isEmpty());
}

// A link inside an encrypted passage, which the counting scan cannot see,
// leads to its note once the passage is opened.
TEST(NoteLinkImport, LinksInOpenedPassagesLeadToTheirNotes) {
    LinkRun run;
    const QByteArray passphrase = "links-7Q";
    const QString passage = PassageEncryptor::element(
        PassageEncryptor::aes(anchor(5, QStringLiteral("Plain")).toUtf8(), passphrase),
        QStringLiteral("AES"), QStringLiteral("128"), QStringLiteral("hint"));
    const QString phrases = run.env.writeFile(QStringLiteral("phrases.txt"), passphrase + "\n");
    QStringList args{run.env.writeFile(
        QStringLiteral("Secret.enex"),
        buildENEX({{QStringLiteral("Plain"), QStringLiteral("<div>plain</div>")},
                   {QStringLiteral("Secret"), QStringLiteral("<div>%1</div>").arg(passage)}}))};
    args << QStringLiteral("--library") << run.library << QStringLiteral("--passphrase-file")
         << phrases;
    ASSERT_EQ(runImportCommand(args, run.o.outStream, run.o.errStream), 0)
        << run.o.err.toStdString() << run.o.out.toStdString();
    const QList<LibraryLink> links =
        linksOfPackage(run.library, QStringLiteral("Secret"), QStringLiteral("Secret"));
    ASSERT_EQ(links.size(), 1);
    EXPECT_EQ(QFileInfo(run.follow(links[0].url)).fileName(), QStringLiteral("Plain.pmnote"));
}

namespace {

QString corpusFolder() {
    const QString folder =
        QDir::cleanPath(QStringLiteral(FERRYMARK_SOURCE_DIR "/../shared/corpus"));
    return QDir(folder).exists() ? folder : QString();
}

struct LinkCount {
    int resolved = 0;  // item links that lead to a note named as the link reads
    int left = 0;      // links still in the note service's form
    QStringList wrong;
};

// Every link of every note package of the run's library, followed.
LinkCount followEveryLink(const LinkRun& run) {
    LinkCount count;
    const auto items = readLibrary(run.library);
    EXPECT_TRUE(items);
    if (!items) return count;
    for (const LibraryItem& item : *items)
        for (const LibraryLink& link : item.links) {
            if (link.url.scheme() != QLatin1String("pelmora")) {
                ++count.left;
                continue;
            }
            const QString target = run.follow(link.url);
            if (QFileInfo(target).completeBaseName() == link.text.trimmed())
                ++count.resolved;
            else
                count.wrong << item.path + QStringLiteral(": ") + link.text +
                                   QStringLiteral(" → ") + target;
        }
    return count;
}

}  // namespace

// The corpus's linked exports, imported together, have every link whose note
// is in the run lead to it; only the links to notes outside it stay.
TEST(NoteLinkImport, CorpusLinksLeadToTheirNotes) {
    const QString corpus = corpusFolder();
    if (corpus.isEmpty()) GTEST_SKIP() << "no corpus at ../shared/corpus";
    const QStringList others{QStringLiteral("yarle/test-original-links.enex"),
                             QStringLiteral("yarle/missing-link.enex"),
                             QStringLiteral("yarle/missing-link-nokeep.enex")};
    for (const QString& linked : {QStringLiteral("yarle/LinkedInterNotebooks"),
                                  QStringLiteral("yarle/SanitizedLinkedInterNotebooks")}) {
        LinkRun run;
        QStringList args;
        for (const QFileInfo& file :
             QDir(corpus + u'/' + linked).entryInfoList({QStringLiteral("*.enex")}, QDir::Files))
            args << file.absoluteFilePath();
        ASSERT_EQ(args.size(), 2) << linked.toStdString();
        for (const QString& other : others) args << corpus + u'/' + other;
        args << QStringLiteral("--library") << run.library;
        ASSERT_EQ(runImportCommand(args, run.o.outStream, run.o.errStream), 0)
            << run.o.err.toStdString();
        // Five links between the two notebooks, three to later notes of one
        // file, and one in each missing-link file to a note that is not there.
        EXPECT_TRUE(run.o.out.contains(
            QStringLiteral("8 links between notes resolved, 2 left as they were.")))
            << run.o.out.toStdString();
        const LinkCount count = followEveryLink(run);
        EXPECT_EQ(count.resolved, 8) << linked.toStdString();
        EXPECT_EQ(count.left, 2);
        EXPECT_EQ(count.wrong, QStringList());
        EXPECT_EQ(run.log().count("\"NoteB\""), 2) << run.log().toStdString();
    }
}
