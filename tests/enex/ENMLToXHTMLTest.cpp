#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include "enex/EvernoteXMLItem.h"
#include "platform/xml/XMLDocument.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

namespace {

const QString kChecked = QStringLiteral(u"\u2611\uFE0E ");
const QString kUnchecked = QStringLiteral(u"\u2610 ");

QString digestOf(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// One note in a hermetic notebook folder, with its scratch folder made as the
// item conversion makes it, and its ENML parsed the same way.
class ENMLToXHTMLTest : public ::testing::Test {
  protected:
    ENMLToXHTMLTest() : item_(QUrl::fromLocalFile(env_.path(QStringLiteral("Notebook")))) {
        QDir().mkpath(notebook());
        QDir().mkdir(scratch());
        item_.intermediateHTMLDirectoryURL = QUrl::fromLocalFile(scratch());
    }

    QString notebook() const { return env_.path(QStringLiteral("Notebook")); }
    QString scratch() const { return notebook() + u'/' + item_.record().identifier; }
    QStringList scratchFiles() const { return QDir(scratch()).entryList(QDir::Files, QDir::Name); }

    // Adds an attachment and returns its digest.
    QString addResource(const QByteArray& bytes, const QString& mime, const QString& fileName) {
        auto resource = std::make_unique<EvernoteXMLResource>();
        resource->base64Data = bytes.toBase64();
        resource->mime = mime;
        resource->attributes.filename = fileName;
        item_.record().resources.push_back(std::move(resource));
        return digestOf(bytes);
    }

    // The note element of an ENML body, parsed as the item conversion parses it.
    XMLNode note(const QString& body) {
        const QString enml = QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<!DOCTYPE en-note SYSTEM \"http://xml.evernote.com/pub/enml2.dtd\"><en-note>");
        document_ = XMLDocument::parse((enml + body + QStringLiteral("</en-note>")).toUtf8());
        return document_->nodesForXPath(QStringLiteral("en-note")).value(0);
    }
    std::optional<QString> mediaPass(const QString& body, Error* error = nullptr) {
        return item_.XHTMLStringFromNoteElement(note(body), error);
    }
    std::optional<QString> fullConversion(const QString& body, Error* error = nullptr) {
        return item_.noteXHTMLStringFromNoteElement(note(body), error);
    }

    static QString media(const QString& hash, const QString& type,
                         const QString& extra = QString()) {
        return QStringLiteral("<en-media hash=\"%1\" type=\"%2\"%3/>").arg(hash, type, extra);
    }

    TestEnvironment env_;
    EvernoteXMLItem item_;
    std::unique_ptr<XMLDocument> document_;
};

}  // namespace

TEST_F(ENMLToXHTMLTest, ImagesBecomeImgElementsWithUniqueFilesBesideTheXHTML) {
    const QByteArray png("\x89PNG\r\n\x1a\nimage", 13);
    const QString named = addResource(png, QStringLiteral("image/png"), QStringLiteral("a.png"));
    const QString unnamed = addResource("jpeg", QStringLiteral("image/jpeg"), QString());
    const QString hashMark =
        addResource("gif", QStringLiteral("image/gif"), QStringLiteral("p #1?.gif"));
    const auto body = mediaPass(
        QStringLiteral("<p>Look:</p>") +
        media(named, QStringLiteral("image/png"), QStringLiteral(" width=\"300\"")) +
        media(named, QStringLiteral("image/png")) + media(unnamed, QStringLiteral("image/jpeg")) +
        media(hashMark, QStringLiteral("image/gif")));
    ASSERT_TRUE(body.has_value());
    // A "src" is resolved as a URL: "#" and "?" must not cut the file's name short.
    const QString unnamedFile = item_.record().resources[1]->identifier + QStringLiteral(".jpeg");
    EXPECT_EQ(*body, QStringLiteral("<p>Look:</p><img width=\"300\" src=\"a.png\"></img>"
                                    "<img src=\"a 1.png\"></img><img src=\"%1\"></img>"
                                    "<img src=\"p %231%3F.gif\"></img>")
                         .arg(unnamedFile));
    EXPECT_EQ(readWholeFile(scratch() + QStringLiteral("/a.png")), png);
    EXPECT_EQ(readWholeFile(scratch() + QStringLiteral("/a 1.png")), png);
    EXPECT_EQ(readWholeFile(scratch() + u'/' + unnamedFile), QByteArray("jpeg"));
    EXPECT_EQ(readWholeFile(scratch() + QStringLiteral("/p #1?.gif")), QByteArray("gif"));
}

// The note import reads the name back from the HTML text: markup in it is escaped.
TEST_F(ENMLToXHTMLTest, OtherAttachmentsBecomeMarkersAroundTheirFileNames) {
    const QString pdf =
        addResource("%PDF", QStringLiteral("application/pdf"), QStringLiteral("doc.pdf"));
    const QString odd =
        addResource("odd", QStringLiteral("application/zip"), QStringLiteral("R&D <v2>.zip"));
    const auto body = mediaPass(media(pdf, QStringLiteral("application/pdf")) +
                                media(odd, QStringLiteral("application/zip")));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(*body,
              QStringLiteral("***PELMORAATTACHMENT  doc.pdf  PELMORAATTACHMENT***"
                             "***PELMORAATTACHMENT  R&amp;D &lt;v2&gt;.zip  PELMORAATTACHMENT***"));
    EXPECT_EQ(readWholeFile(scratch() + QStringLiteral("/doc.pdf")), QByteArray("%PDF"));
    EXPECT_EQ(readWholeFile(scratch() + QStringLiteral("/R&D <v2>.zip")), QByteArray("odd"));
}

TEST_F(ENMLToXHTMLTest, UnmatchedMediaBecomesMissingAttachmentAndWritesNothing) {
    const QString hash = addResource("bytes", QStringLiteral("image/png"), QStringLiteral("a.png"));
    addResource(QByteArray(), QStringLiteral("image/png"),
                QStringLiteral("empty.png"));  // no digest
    const auto body =
        mediaPass(media(QString(hash).replace(0, 1, hash.startsWith(u'f') ? u'e' : u'f'),
                        QStringLiteral("image/png")) +
                  media(QStringLiteral("0123"), QStringLiteral("image/png")) +
                  QStringLiteral("<en-media type=\"image/png\"/>"));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(*body, QStringLiteral("[Missing Attachment]").repeated(3));
    EXPECT_TRUE(scratchFiles().isEmpty());
}

TEST_F(ENMLToXHTMLTest, HostileAttachmentNamesStayInsideTheScratchFolder) {
    const QString up =
        addResource("up", QStringLiteral("application/pdf"), QStringLiteral("../../up.pdf"));
    const QString root =
        addResource("root", QStringLiteral("text/plain"), QStringLiteral("/etc/passwd"));
    const QString dots = addResource("dots", QStringLiteral("image/png"), QStringLiteral(".."));
    ASSERT_TRUE(mediaPass(media(up, QStringLiteral("application/pdf")) +
                          media(root, QStringLiteral("text/plain")) +
                          media(dots, QStringLiteral("image/png")))
                    .has_value());
    EXPECT_EQ(scratchFiles().size(), 3);
    EXPECT_EQ(QDir(notebook()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{item_.record().identifier});
    EXPECT_FALSE(QFile::exists(env_.root() + QStringLiteral("/up.pdf")));
}

// Empty elements come out as start and end tags; a "/>" in an attribute or a
// later comment, or the end tag of an earlier attribute-less en-media, must
// not give a media tag the wrong extent.
TEST_F(ENMLToXHTMLTest, SerializedTagsKeepTheirOwnExtent) {
    const QString hash = addResource("bytes", QStringLiteral("image/png"), QStringLiteral("a.png"));
    const auto body = mediaPass(
        QStringLiteral("<div>one<br/>two</div><en-todo checked=\"true\"/><en-media></en-media>") +
        media(hash, QStringLiteral("image/png"), QStringLiteral(" alt=\"x/>y\"")) +
        QStringLiteral("<p>after</p><!-- a/> -->"));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(*body, QStringLiteral("<div>one<br></br>two</div><en-todo checked=\"true\"></en-todo>"
                                    "<en-media></en-media><img src=\"a.png\"></img>"
                                    "<p>after</p><!-- a/> -->"));
}

TEST_F(ENMLToXHTMLTest, TodosBecomeCheckBoxMarkersAndEncryptedTextIsHidden) {
    const auto html = fullConversion(
        QStringLiteral("<div><en-todo checked=\"true\"/>Buy milk</div>"
                       "<div><en-todo checked=\"TRUE\"/>Eggs</div><div><en-todo/>Bread</div>"
                       "<p>pin <en-crypt hint=\"pet\" cipher=\"AES\">%1</en-crypt> end</p>")
            .arg(QString(5000, u'Q')));
    ASSERT_TRUE(html.has_value());
    EXPECT_TRUE(html->contains(QStringLiteral("<div>") + kChecked +
                               QStringLiteral("Buy milk</div><div>") + kChecked +
                               QStringLiteral("Eggs</div><div>") + kUnchecked +
                               QStringLiteral("Bread</div><p>pin ******** end</p>")));
    EXPECT_FALSE(html->contains(QStringLiteral("QQQ")));
}

// Comments are copied raw: the one way a start without an end survives serialization.
TEST_F(ENMLToXHTMLTest, UnclosedTodoOrCryptFailsTheWholeNote) {
    Error error;
    EXPECT_FALSE(fullConversion(QStringLiteral("<p>x</p><!-- <en-todo -->"), &error));
    EXPECT_EQ(error.domain(), QStringLiteral("EvernoteXMLItemErrorDomain"));
    EXPECT_EQ(error.code(), 1001);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Invalid todo tag."));
    EXPECT_FALSE(fullConversion(QStringLiteral("<p>x</p><!-- <en-crypt -->"), &error));
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Invalid crypt tag."));
}

// Read back as HTML, as the note import reads it: the title is the title, a
// "<!--" in it swallows nothing of the body, and non-ASCII text survives.
TEST_F(ENMLToXHTMLTest, TemplateHoldsTitleAndBodyAsUTF8) {
    item_.record().title = QStringLiteral("Café & <!-- notes < ideas");
    const auto html = fullConversion(QStringLiteral("<p>Grüße, 日本語 😀</p>"));
    ASSERT_TRUE(html.has_value());
    EXPECT_FALSE(html->contains(QStringLiteral("PELMORA")));
    EXPECT_TRUE(html->contains(QStringLiteral("charset=\"UTF-8\"")));
    const auto parsed = XMLDocument::parseHTML(html->toUtf8());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->nodesForXPath(QStringLiteral("//title")).value(0).textContent(),
              item_.record().title);
    EXPECT_EQ(parsed->nodesForXPath(QStringLiteral("//body/p")).value(0).textContent(),
              QStringLiteral("Grüße, 日本語 😀"));
}
