// The fingerprint and note key of a note record: what changes them and what,
// being only the export's layout, does not.
#include <gtest/gtest.h>

#include "enex/EvernoteNoteFingerprint.h"
#include "enex/EvernoteNoteRecord.h"

namespace {

EvernoteNoteRecord record(const QString& title, const QByteArray& content,
                          const QList<QByteArray>& attachments = {}) {
    EvernoteNoteRecord note;
    note.title = title;
    note.contentData = content;
    note.created = QDateTime::fromString(QStringLiteral("2013-07-30T20:52:04Z"), Qt::ISODate);
    for (const QByteArray& bytes : attachments) {
        auto resource = std::make_unique<EvernoteXMLResource>();
        resource->base64Data = bytes.toBase64();
        EXPECT_TRUE(resource->finishDecoding());
        note.resources.push_back(std::move(resource));
    }
    return note;
}

EvernoteNoteFingerprint digestsOf(EvernoteNoteRecord note) {
    return EvernoteNoteFingerprint::ofRecord(note);
}

const QByteArray kContent = "<en-note><div>Some <b>bold</b> words</div><div>more</div></en-note>";

}  // namespace

TEST(EvernoteNoteFingerprintTest, DigestsAreSHA256Hex) {
    const auto digests = digestsOf(record(QStringLiteral("T"), kContent));
    EXPECT_EQ(digests.fingerprint.size(), 64);
    EXPECT_EQ(digests.noteKey.size(), 64);
    EXPECT_EQ(digests.fingerprint, digests.fingerprint.toLower());
    EXPECT_NE(digests.fingerprint, digests.noteKey);
}

// Indentation, line breaks between elements and runs of white space are the
// export's layout, in the content and in the title.
TEST(EvernoteNoteFingerprintTest, LayoutOfTheExportDoesNotChangeTheDigests) {
    const auto plain = digestsOf(record(QStringLiteral("A title"), kContent));
    const QByteArray indented =
        "\n  <en-note>\n    <div>Some   <b>bold</b>\n "
        "words</div>\r\n\t<div>more</div>\n</en-note>\n";
    const auto layout = digestsOf(record(QStringLiteral("  A\n title "), indented));
    EXPECT_EQ(layout.fingerprint, plain.fingerprint);
    EXPECT_EQ(layout.noteKey, plain.noteKey);
}

// Words that touch and words that do not are different text; so are other
// attachments, or attachments in another order.
TEST(EvernoteNoteFingerprintTest, ChangedTextOrAttachmentsChangeTheFingerprintButNotTheKey) {
    const auto base = digestsOf(record(QStringLiteral("T"), kContent, {"one", "two"}));
    const QList<EvernoteNoteFingerprint> changed = {
        digestsOf(record(QStringLiteral("T"),
                         "<en-note><div>Some <b>bold</b>words</div><div>more</div></en-note>",
                         {"one", "two"})),
        digestsOf(record(QStringLiteral("T"), kContent, {"one", "three"})),
        digestsOf(record(QStringLiteral("T"), kContent, {"two", "one"})),
        digestsOf(record(QStringLiteral("T"), kContent, {"one"})),
    };
    for (const auto& other : changed) {
        EXPECT_NE(other.fingerprint, base.fingerprint);
        EXPECT_EQ(other.noteKey, base.noteKey);
    }
}

// The key is the title and the creation date: either changes it.
TEST(EvernoteNoteFingerprintTest, TitleAndCreationDateMakeTheKey) {
    const auto base = digestsOf(record(QStringLiteral("T"), kContent));
    auto later = record(QStringLiteral("T"), kContent);
    later.created = later.created.addSecs(1);
    auto undated = record(QStringLiteral("T"), kContent);
    undated.created = QDateTime();
    for (const auto& other : {digestsOf(record(QStringLiteral("U"), kContent)),
                              digestsOf(std::move(later)), digestsOf(std::move(undated))}) {
        EXPECT_NE(other.noteKey, base.noteKey);
        EXPECT_NE(other.fingerprint, base.fingerprint);
    }
}

// Fields never run together: a title's end cannot pass for the content's start.
TEST(EvernoteNoteFingerprintTest, FieldsDoNotRunTogether) {
    EXPECT_NE(digestsOf(record(QStringLiteral("ab"), "<c/>")).fingerprint,
              digestsOf(record(QStringLiteral("a"), "b<c/>")).fingerprint);
}

TEST(EvernoteNoteFingerprintTest, NormalizedContentDropsOnlyWhiteSpaceBetweenTags) {
    EXPECT_EQ(EvernoteNoteFingerprint::normalizedContent("  <a> \n <b>x  y</b>\t</a> "),
              QByteArray("<a><b>x y</b></a>"));
    EXPECT_EQ(EvernoteNoteFingerprint::normalizedContent("<a>x </a>"), QByteArray("<a>x </a>"));
}
