#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include "enex/EvernoteXMLItem.h"
#include "platform/xml/XMLDocument.h"
#include "tests/support/TestEnvironment.h"

namespace {

const QString kChecked = QStringLiteral(u"\u2611\uFE0E ");
const QString kUnchecked = QStringLiteral(u"\u2610 ");

QString digestOf(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
    QString scratch() const { return notebook() + u'/' + item_.identifier; }
    QStringList scratchFiles() const { return QDir(scratch()).entryList(QDir::Files, QDir::Name); }

    // Adds an attachment and returns its digest.
    QString addResource(const QByteArray& bytes, const QString& mime, const QString& fileName) {
        auto resource = std::make_unique<EvernoteXMLResource>();
        resource->base64Data = bytes.toBase64();
        resource->mime = mime;
        resource->attributes.filename = fileName;
        item_.resources.push_back(std::move(resource));
        return digestOf(bytes);
    }

    XMLNode noteElement(const QString& enml) {
        document_ = XMLDocument::parse(enml.toUtf8());
        return document_->nodesForXPath(QStringLiteral("en-note")).value(0);
    }

    std::optional<QString> mediaPass(const QString& enml, Error* error = nullptr) {
        return item_.XHTMLStringFromNoteElement(noteElement(enml), error);
    }
    std::optional<QString> fullConversion(const QString& enml, Error* error = nullptr) {
        return item_.noteXHTMLStringFromNoteElement(noteElement(enml), error);
    }

    static QString note(const QString& body) {
        return QStringLiteral(
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                   "<!DOCTYPE en-note SYSTEM \"http://xml.evernote.com/pub/enml2.dtd\">"
                   "<en-note>%1</en-note>")
            .arg(body);
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

TEST_F(ENMLToXHTMLTest, ImageBecomesImgElementWithItsBytesBesideTheXHTML) {
    const QByteArray png("\x89PNG\r\n\x1a\nimage bytes", 19);
    const QString hash = addResource(png, QStringLiteral("image/png"), QStringLiteral("a.png"));
    const auto body =
        mediaPass(note(QStringLiteral("<p>Look:</p>") +
                       media(hash, QStringLiteral("image/png"), QStringLiteral(" width=\"300\""))));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(*body, QStringLiteral("<p>Look:</p><img width=\"300\" src=\"a.png\"></img>"));
    EXPECT_EQ(readFile(scratch() + QStringLiteral("/a.png")), png);
}

TEST_F(ENMLToXHTMLTest, OtherAttachmentBecomesMarkerAroundItsFileName) {
    const QString hash =
        addResource("%PDF-1.4 body", QStringLiteral("application/pdf"), QStringLiteral("doc.pdf"));
    const auto body = mediaPass(note(media(hash, QStringLiteral("application/pdf"))));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(*body, QStringLiteral("***PELMORAATTACHMENT  doc.pdf  PELMORAATTACHMENT***"));
    EXPECT_EQ(readFile(scratch() + QStringLiteral("/doc.pdf")), QByteArray("%PDF-1.4 body"));
}

TEST_F(ENMLToXHTMLTest, RepeatedImageAndUnnamedImageGetDistinctFiles) {
    const QString named =
        addResource("first", QStringLiteral("image/png"), QStringLiteral("a.png"));
    const QString unnamed = addResource("second", QStringLiteral("image/jpeg"), QString());
    const auto body = mediaPass(note(media(named, QStringLiteral("image/png")) +
                                     media(named, QStringLiteral("image/png")) +
                                     media(unnamed, QStringLiteral("image/jpeg"))));
    ASSERT_TRUE(body.has_value());
    const QString unnamedFile = item_.resources[1]->identifier + QStringLiteral(".jpeg");
    EXPECT_EQ(
        *body,
        QStringLiteral("<img src=\"a.png\"></img><img src=\"a 1.png\"></img><img src=\"%1\"></img>")
            .arg(unnamedFile));
    EXPECT_EQ(readFile(scratch() + QStringLiteral("/a 1.png")), QByteArray("first"));
    EXPECT_EQ(readFile(scratch() + u'/' + unnamedFile), QByteArray("second"));
}

TEST_F(ENMLToXHTMLTest, UnmatchedMediaBecomesMissingAttachmentAndWritesNothing) {
    const QString hash = addResource("bytes", QStringLiteral("image/png"), QStringLiteral("a.png"));
    addResource(QByteArray(), QStringLiteral("image/png"),
                QStringLiteral("empty.png"));  // cannot be hashed
    const auto body = mediaPass(note(media(hash.toUpper(), QStringLiteral("image/png")) +
                                     media(QStringLiteral("0123"), QStringLiteral("image/png")) +
                                     QStringLiteral("<en-media type=\"image/png\"/>")));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(*body,
              QStringLiteral("[Missing Attachment][Missing Attachment][Missing Attachment]"));
    EXPECT_TRUE(scratchFiles().isEmpty());
}

TEST_F(ENMLToXHTMLTest, HostileAttachmentNamesStayInsideTheScratchFolder) {
    const QString up =
        addResource("up", QStringLiteral("application/pdf"), QStringLiteral("../../escape.pdf"));
    const QString root =
        addResource("root", QStringLiteral("application/pdf"), QStringLiteral("/etc/passwd"));
    const QString dots = addResource("dots", QStringLiteral("image/png"), QStringLiteral(".."));
    const auto body = mediaPass(note(media(up, QStringLiteral("application/pdf")) +
                                     media(root, QStringLiteral("application/pdf")) +
                                     media(dots, QStringLiteral("image/png"))));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(scratchFiles().size(), 3);
    EXPECT_EQ(QDir(notebook()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{item_.identifier});
    EXPECT_FALSE(QFile::exists(env_.root() + QStringLiteral("/escape.pdf")));
    for (const QString& name : scratchFiles()) EXPECT_FALSE(name.contains(u'/'));
}

// The marker's name is read back from the imported HTML text, and the "src"
// is resolved as a URL: both must name exactly the file that was written.
TEST_F(ENMLToXHTMLTest, FileNamesWithMarkupOrURLCharactersReadBackExactly) {
    const QString pdf =
        addResource("pdf", QStringLiteral("application/pdf"), QStringLiteral("R&D <draft>.pdf"));
    const QString png =
        addResource("png", QStringLiteral("image/png"), QStringLiteral("photo #1?.png"));
    const auto body = mediaPass(note(media(pdf, QStringLiteral("application/pdf")) +
                                     media(png, QStringLiteral("image/png"))));
    ASSERT_TRUE(body.has_value());
    EXPECT_TRUE(
        body->startsWith(QStringLiteral("***PELMORAATTACHMENT  R&amp;D &lt;draft&gt;.pdf  ")));
    EXPECT_TRUE(body->endsWith(QStringLiteral("<img src=\"photo %231%3F.png\"></img>")));
    EXPECT_EQ(scratchFiles(),
              (QStringList{QStringLiteral("R&D <draft>.pdf"), QStringLiteral("photo #1?.png")}));
}

// A "/>" in an attribute or a later comment, or the end tag of an earlier
// attribute-less en-media, must not give a media tag the wrong extent.
TEST_F(ENMLToXHTMLTest, MediaTagEndsAtItsOwnEndTag) {
    const QString hash = addResource("bytes", QStringLiteral("image/png"), QStringLiteral("a.png"));
    const auto body =
        mediaPass(note(QStringLiteral("<en-media></en-media>") +
                       media(hash, QStringLiteral("image/png"), QStringLiteral(" alt=\"x/>y\"")) +
                       QStringLiteral("<p>after</p><!-- a/> -->")));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(*body, QStringLiteral(
                         "<en-media></en-media><img src=\"a.png\"></img><p>after</p><!-- a/> -->"));
}

TEST_F(ENMLToXHTMLTest, MediaPassWritesEmptyElementsAsStartAndEndTagsAndKeepsTodos) {
    const auto body =
        mediaPass(note(QStringLiteral("<div>one<br/>two</div><en-todo checked=\"true\"/>")));
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(*body,
              QStringLiteral("<div>one<br></br>two</div><en-todo checked=\"true\"></en-todo>"));
}

TEST_F(ENMLToXHTMLTest, TodosBecomeCheckBoxMarkersOnlyWhenCheckedIsExactlyTrue) {
    const auto html =
        fullConversion(note(QStringLiteral("<div><en-todo checked=\"true\"/>Buy milk</div>"
                                           "<div><en-todo checked=\"TRUE\"/>Eggs</div>"
                                           "<div><en-todo/>Bread</div>")));
    ASSERT_TRUE(html.has_value());
    EXPECT_TRUE(
        html->contains(QStringLiteral("<div>") + kChecked + QStringLiteral("Buy milk</div>")));
    EXPECT_TRUE(
        html->contains(QStringLiteral("<div>") + kUnchecked + QStringLiteral("Eggs</div>")));
    EXPECT_TRUE(
        html->contains(QStringLiteral("<div>") + kUnchecked + QStringLiteral("Bread</div>")));
    EXPECT_FALSE(html->contains(QStringLiteral("en-todo")));
}

TEST_F(ENMLToXHTMLTest, EncryptedPassageBecomesEightAsterisks) {
    const QString cipher(5000, u'A');
    const auto html =
        fullConversion(note(QStringLiteral("<p>before <en-crypt hint=\"pet\" cipher=\"AES\">") +
                            cipher + QStringLiteral("</en-crypt> after</p>")));
    ASSERT_TRUE(html.has_value());
    EXPECT_TRUE(html->contains(QStringLiteral("<p>before ******** after</p>")));
    EXPECT_FALSE(html->contains(QStringLiteral("AAAA")));
}

TEST_F(ENMLToXHTMLTest, UnclosedTodoOrCryptFailsTheWholeNote) {
    const QString hash = addResource("bytes", QStringLiteral("image/png"), QStringLiteral("a.png"));
    Error error;
    // Comments are copied raw, so they are the one way a start without an end survives
    // serialization.
    EXPECT_FALSE(fullConversion(
        note(media(hash, QStringLiteral("image/png")) + QStringLiteral("<!-- <en-todo -->")),
        &error));
    EXPECT_EQ(error.domain(), QStringLiteral("EvernoteXMLItemErrorDomain"));
    EXPECT_EQ(error.code(), 1001);
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Invalid todo tag."));

    error = Error();
    EXPECT_FALSE(fullConversion(note(QStringLiteral("<p>x</p><!-- <en-crypt -->")), &error));
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("Invalid crypt tag."));
}

TEST_F(ENMLToXHTMLTest, FailedAttachmentWriteFailsTheConversion) {
    const QString hash = addResource("bytes", QStringLiteral("image/png"), QStringLiteral("a.png"));
    QDir(scratch()).removeRecursively();
    Error error;
    EXPECT_FALSE(mediaPass(note(media(hash, QStringLiteral("image/png"))), &error).has_value());
    EXPECT_FALSE(error.isNull());
}

TEST_F(ENMLToXHTMLTest, TemplateHoldsTitleAndBodyAsUTF8) {
    item_.title = QStringLiteral("Café & <!-- notes < ideas");
    const auto html = fullConversion(note(QStringLiteral("<p>Grüße, 日本語 😀</p>")));
    ASSERT_TRUE(html.has_value());
    EXPECT_FALSE(html->contains(QStringLiteral("PELMORA TITLE")));
    EXPECT_FALSE(html->contains(QStringLiteral("PELMORA BODY")));
    EXPECT_TRUE(html->contains(QStringLiteral("charset=\"UTF-8\"")));

    // Read as HTML, as the note import reads it: the title is the title, and a
    // "<!--" in it swallows nothing of the body.
    const auto parsed = XMLDocument::parseHTML(html->toUtf8());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->nodesForXPath(QStringLiteral("//title")).value(0).textContent(), item_.title);
    EXPECT_EQ(parsed->nodesForXPath(QStringLiteral("//body/p")).value(0).textContent(),
              QStringLiteral("Grüße, 日本語 😀"));
}
