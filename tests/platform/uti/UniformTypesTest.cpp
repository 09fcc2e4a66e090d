#include <gtest/gtest.h>

#include <QSet>

#include "platform/uti/UniformTypeTable.h"
#include "platform/uti/UniformTypes.h"

namespace {

QString forMIME(const char* mime) { return UniformTypes::preferredIdentifierForMIMEType(mime); }
QString forExtension(const char* ext) { return UniformTypes::preferredIdentifierForExtension(ext); }

}  // namespace

TEST(UniformTypes, PdfRoundTripsBetweenMIMETypeExtensionAndKind) {
    const QString pdf = forMIME("application/pdf");
    EXPECT_EQ(pdf, "com.adobe.pdf");
    EXPECT_EQ(UniformTypes::preferredExtension(pdf), "pdf");
    EXPECT_EQ(UniformTypes::preferredMIMEType(pdf), "application/pdf");
    EXPECT_EQ(UniformTypes::kindName(pdf), "PDF document");
    EXPECT_EQ(forExtension("PDF"), pdf);
    EXPECT_EQ(forExtension(".pdf"), pdf);
}

// The kinds that decide an attachment's item type: image, movie, audio, web
// archive, HTML, web location; anything else is a document.
TEST(UniformTypes, AttachmentKindsConformToTheirFamilies) {
    const std::pair<const char*, const char*> byMIME[] = {
        {"image/png", "public.image"},
        {"image/jpg", "public.image"},
        {"image/heic", "public.image"},
        {"image/svg+xml", "public.image"},
        {"video/mp4", "public.movie"},
        {"video/quicktime", "public.movie"},
        {"video/webm", "public.movie"},
        {"audio/mpeg", "public.audio"},
        {"audio/x-m4a", "public.audio"},
        {"audio/amr", "public.audio"},
        {"audio/webm", "public.audio"},
        {"text/html", "public.html"},
        {"TEXT/HTML; charset=UTF-8", "public.html"},
        {"application/x-webarchive", "com.apple.webarchive"},
    };
    for (const auto& [mime, family] : byMIME) {
        EXPECT_TRUE(UniformTypes::conformsTo(forMIME(mime), family)) << mime << " -> " << family;
    }
    EXPECT_FALSE(UniformTypes::conformsTo(forMIME("audio/webm"), "public.movie"));
    EXPECT_FALSE(UniformTypes::conformsTo(forMIME("video/mp4"), "public.audio"));
    EXPECT_FALSE(UniformTypes::conformsTo(forMIME("application/pdf"), "public.image"));

    EXPECT_TRUE(
        UniformTypes::conformsTo(forExtension("webloc"), "com.apple.web-internet-location"));
    EXPECT_TRUE(UniformTypes::conformsTo(forExtension("enex"), "com.evernote.enex"));
    EXPECT_TRUE(UniformTypes::conformsTo(forExtension("JPG"), "public.image"));
    EXPECT_EQ(forMIME("application/octet-stream"), "public.data");
    EXPECT_EQ(forMIME("application/vnd.evernote.ink"), "com.evernote.ink");
    EXPECT_EQ(UniformTypes::preferredExtension(forMIME("image/jpeg")), "jpeg");
}

TEST(UniformTypes, FileNamesGetTheTypesExtensionOnlyWhereTheyLackOne) {
    const QString png = forMIME("image/png");
    const QString jpeg = forMIME("image/jpeg");
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType("photo.png?size=large", png),
              "photo.png?size=large.png");
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType("scan", png), "scan.png");
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType("shot.gif", png), "shot.gif.png");
    // Any extension of the type (or of a type conforming to it), in any case, will do.
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType("photo.jpeg", jpeg), "photo.jpeg");
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType("photo.JPG", jpeg), "photo.JPG");
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType(".png", png), ".png");
    // Nothing to add: no name, or a type without an extension of its own.
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType("", png), "");
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType("photo", "public.image"), "photo");
    EXPECT_EQ(UniformTypes::fileNameWithExtensionForType("photo", ""), "photo");
}

TEST(UniformTypes, UnknownTagsGetDynamicTypesUnderData) {
    const QString byExtension = forExtension("xyz");
    EXPECT_TRUE(byExtension.startsWith("dyn."));
    EXPECT_FALSE(UniformTypes::isDeclared(byExtension));
    EXPECT_TRUE(UniformTypes::conformsTo(byExtension, "public.data"));
    EXPECT_TRUE(UniformTypes::conformsTo(byExtension, "public.item"));
    EXPECT_FALSE(UniformTypes::conformsTo(byExtension, "public.content"));
    EXPECT_EQ(UniformTypes::preferredExtension(byExtension), "xyz");
    EXPECT_EQ(UniformTypes::kindName(byExtension), "");

    // An unknown MIME type has no extension: "Untitled" stays without one.
    const QString byMIME = forMIME("application/x-unheard-of");
    EXPECT_TRUE(UniformTypes::conformsTo(byMIME, "public.data"));
    EXPECT_EQ(UniformTypes::preferredExtension(byMIME), "");
    EXPECT_EQ(UniformTypes::preferredMIMEType(byMIME), "application/x-unheard-of");

    EXPECT_EQ(forExtension(""), "");
    EXPECT_EQ(forMIME("  "), "");
    EXPECT_FALSE(UniformTypes::conformsTo("org.example.unknown", "public.data"));
    EXPECT_TRUE(UniformTypes::conformsTo("org.example.unknown", "ORG.example.UNKNOWN"));
}

// Every parent named in the table is itself declared, and every declared type
// reaches public.item or public.content.
TEST(UniformTypes, TableIsConsistent) {
    QSet<QString> declared;
    for (const auto& declaration : uniformTypeDeclarations()) {
        EXPECT_FALSE(declared.contains(declaration.identifier)) << declaration.identifier;
        declared.insert(declaration.identifier);
    }
    for (const auto& declaration : uniformTypeDeclarations()) {
        for (const QString& parent :
             QString(declaration.conformsTo).split(' ', Qt::SkipEmptyParts)) {
            EXPECT_TRUE(declared.contains(parent))
                << declaration.identifier << " -> " << qPrintable(parent);
        }
        EXPECT_TRUE(UniformTypes::conformsTo(declaration.identifier, "public.item") ||
                    UniformTypes::conformsTo(declaration.identifier, "public.content"))
            << declaration.identifier;
        EXPECT_FALSE(QString(declaration.kindName).isEmpty()) << declaration.identifier;
    }
}

// Content that comes without a MIME type: the table decides by extension,
// the shared MIME database by the rest of the name and by the first bytes.
TEST(UniformTypes, GuessedMIMETypeUsesTheExtensionThenTheContent) {
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    // The table's extension wins over what the bytes say.
    EXPECT_EQ(UniformTypes::guessedMIMEType("photo.jpg", png), "image/jpeg");
    EXPECT_EQ(UniformTypes::guessedMIMEType("page.HTML", "%PDF-1.4"), "text/html");
    // No extension: the bytes decide.
    EXPECT_EQ(UniformTypes::guessedMIMEType("image", png), "image/png");
    EXPECT_EQ(UniformTypes::guessedMIMEType("", "GIF89a\x01\0\x01\0"), "image/gif");
    EXPECT_EQ(UniformTypes::guessedMIMEType("scan", "%PDF-1.7\n%\xe2\xe3\xcf\xd3\n"),
              "application/pdf");
    EXPECT_EQ(UniformTypes::guessedMIMEType("shot", QByteArray("\xff\xd8\xff\xe0\0\x10JFIF\0", 11)),
              "image/jpeg");
    EXPECT_EQ(UniformTypes::guessedMIMEType("index", "\n  <!DOCTYPE html><html><body>x</body>"),
              "text/html");
    EXPECT_EQ(UniformTypes::guessedMIMEType("index", "<HTML><BODY>x</BODY></HTML>"), "text/html");
    // Formats the old five-entry sniffer did not know.
    EXPECT_EQ(UniformTypes::guessedMIMEType("pic", QByteArray("RIFF\x24\0\0\0WEBPVP8 ", 16)),
              "image/webp");
    EXPECT_EQ(UniformTypes::guessedMIMEType("scan", QByteArray("II*\0\x08\0\0\0", 8)),
              "image/tiff");
    // An extension the table lacks but the database knows.
    EXPECT_EQ(UniformTypes::guessedMIMEType("book.epub", "PK"), "application/epub+zip");
    EXPECT_EQ(UniformTypes::guessedMIMEType("layers.xcf", "gimp xcf "), "image/x-xcf");
    // Unrecognisable binary stays untyped data.
    EXPECT_EQ(UniformTypes::guessedMIMEType("blob", QByteArray("\0\x01\x02\x03\xfe\xfd", 6)),
              "application/octet-stream");
}
