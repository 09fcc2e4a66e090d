#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>

#include "platform/apps/EvernoteHTMLNoteExport.h"
#include "platform/apps/EvernoteStandIn.h"
#include "tests/support/Applications.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"

namespace {

// The stand-in over notebooks built from `notebooks`, each note exported as HTML
// into "out/<position>"; returns the export folders in note order.
struct HTMLExports {
    TestEnvironment env;
    QStringList folders;
    QList<EvernoteNote> notes;

    explicit HTMLExports(const QList<QPair<QString, QList<TestNote>>>& notebooks) {
        for (const auto& [name, list] : notebooks)
            env.writeFile(QStringLiteral("evernote/%1.enex").arg(name), buildENEX(list));
        installEvernote(env, env.path(QStringLiteral("evernote")));
        auto evernote = EvernoteApplication::applicationWithBundleIdentifier();
        for (const auto& notebook : evernote->notebooks()) notes << notebook->notes();
        for (const EvernoteNote& note : notes) {
            folders << env.path(QStringLiteral("out/%1.html").arg(folders.size()));
            evernote->exportNotes({note}, QUrl::fromLocalFile(folders.last()), false,
                                  kEvernoteExportFormatHTML);
        }
    }
    QString page(int index, const QString& name) const {
        QFile file(folders[index] + u'/' + name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

TestAttachment attachment(const QByteArray& bytes, const char* mime, const QString& name) {
    return {bytes, mime, name};
}

}  // namespace

TEST(EvernoteHTMLNoteExportTest, WritesThePageWithImagesLinksAndCheckBoxesAndTheAttachments) {
    TestNote note{QStringLiteral("Trip plan"),
                  QStringLiteral("<div style=\"color: red;\"><b>Bring</b> %1 and %2</div>"
                                 "<div><en-todo checked=\"true\"/>Pack<en-todo/></div>")};
    note.attachments = {attachment("%PDF", "application/pdf", QStringLiteral("my report.pdf")),
                        attachment("PNG", "image/png", QStringLiteral("map.png")),
                        attachment("%PDF2", "application/pdf", QStringLiteral("unshown.pdf"))};
    note.enml = note.enml.arg(enMedia(note.attachments[0]), enMedia(note.attachments[1]));
    HTMLExports exports({{QStringLiteral("Book"), {note}}});
    EXPECT_EQ(
        QDir(exports.folders[0]).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
        (QStringList{"Trip plan.html", "Trip plan.resources"}));
    EXPECT_EQ(QDir(exports.folders[0] + "/Trip plan.resources").entryList(QDir::Files, QDir::Name),
              (QStringList{"map.png", "my report.pdf", "unshown.pdf"}));
    const QString page = exports.page(0, "Trip plan.html");
    EXPECT_TRUE(
        page.contains("<div style=\"color: red;\"><b>Bring</b> "
                      "<a href=\"Trip%20plan.resources/my%20report.pdf\">my report.pdf</a> and "
                      "<img src=\"Trip%20plan.resources/map.png\"></div>"))
        << page.toStdString();
    EXPECT_TRUE(page.contains("<input type=\"checkbox\" checked>Pack<input type=\"checkbox\">"))
        << page.toStdString();
    // An attachment the text does not show is linked at the end.
    EXPECT_TRUE(page.contains(
        "<div><a href=\"Trip%20plan.resources/unshown.pdf\">unshown.pdf</a></div></body>"));
}

TEST(EvernoteHTMLNoteExportTest, ANoteOfOneAttachmentHasABodyOfOnlyThatLinkOrImage) {
    TestNote pdf{QStringLiteral("Statement"), QStringLiteral("%MEDIA0%")};
    pdf.attachments = {attachment("%PDF", "application/pdf", QStringLiteral("report.pdf"))};
    TestNote image{QStringLiteral("Photo"), QStringLiteral("<div>%MEDIA0%<br/></div>")};
    image.attachments = {attachment("PNG", "image/png", QString())};
    HTMLExports exports({{QStringLiteral("Book"), {pdf, image}}});
    EXPECT_TRUE(
        exports.page(0, "Statement.html")
            .contains("<body><a href=\"Statement.resources/report.pdf\">report.pdf</a></body>"));
    // An attachment without a name is named for its type.
    EXPECT_TRUE(exports.page(1, "Photo.html")
                    .contains("<body><img src=\"Photo.resources/Untitled.png\"></body>"));
}

TEST(EvernoteHTMLNoteExportTest, NamesAreMadeSafeAndStayInsideTheExportFolder) {
    TestNote note{QStringLiteral("../a/b: c"), QStringLiteral("%MEDIA0%<div>%1</div>")};
    note.attachments = {attachment("one", "application/pdf", QStringLiteral("../../escape.pdf")),
                        attachment("two", "application/pdf", QStringLiteral("../../escape.pdf"))};
    note.enml = note.enml.arg(enMedia(note.attachments[1]));
    HTMLExports exports({{QStringLiteral("Book"), {note}}});
    EXPECT_EQ(
        QDir(exports.folders[0]).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
        (QStringList{"-.-a-b- c.html", "-.-a-b- c.resources"}));
    EXPECT_EQ(QDir(exports.folders[0] + "/-.-a-b- c.resources")
                  .entryList(QDir::Files | QDir::Hidden, QDir::Name),
              (QStringList{"..-..-escape 1.pdf", "..-..-escape.pdf"}));
    EXPECT_FALSE(QFile::exists(exports.env.path("escape.pdf")));
    EXPECT_EQ(EvernoteHTMLNoteExport::baseNameForTitle(QString()), QStringLiteral("Untitled"));
    EXPECT_EQ(EvernoteHTMLNoteExport::baseNameForTitle(QStringLiteral("  First line\nsecond")),
              QStringLiteral("First line"));
    EXPECT_LE(EvernoteHTMLNoteExport::baseNameForTitle(QString(300, u'é')).toUtf8().size() + 10,
              254);
}

TEST(EvernoteHTMLNoteExportTest, NoteLinksEndInIdentifiersThatDifferBetweenNotebooksAndStay) {
    const TestNote note{QStringLiteral("N"), QStringLiteral("<div>x</div>")};
    HTMLExports exports({{QStringLiteral("A"), {note, note}}, {QStringLiteral("B"), {note}}});
    QSet<QString> identifiers;
    for (const EvernoteNote& listed : exports.notes) {
        EXPECT_TRUE(listed.noteLink.startsWith("evernote:///view/"))
            << listed.noteLink.toStdString();
        identifiers.insert(listed.noteLink.section(u'/', -2, -2));
    }
    EXPECT_EQ(identifiers.size(), 3);
    auto again =
        EvernoteApplication::applicationWithBundleIdentifier()->notebooks().first()->notes();
    EXPECT_EQ(again.first().noteLink, exports.notes.first().noteLink);
}
