#include <gtest/gtest.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include "bench/CorpusGenerator.h"
#include "tests/support/TestEnvironment.h"

namespace {

struct ParsedNote {
    QString content;           // the text of <content>, trimmed
    QList<QByteArray> base64;  // each resource's <data> text as written
    QStringList mimes;
};

GeneratorOptions optionsFor(const QStringList& arguments) {
    Error error;
    auto options = parseGeneratorOptions(
        arguments + QStringList{QStringLiteral("--output"), QStringLiteral("-")}, &error);
    EXPECT_TRUE(options.has_value()) << error.localizedDescription().toStdString();
    return options.value_or(GeneratorOptions());
}

QByteArray generate(const QStringList& arguments) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CorpusGenerator generator(optionsFor(arguments));
    EXPECT_TRUE(generator.write(buffer));
    return bytes;
}

// Reads the export back with an XML parser of its own, failing on malformed XML.
QList<ParsedNote> parseExport(const QByteArray& enex) {
    QList<ParsedNote> notes;
    QXmlStreamReader reader(enex);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) continue;
        if (reader.name() == QLatin1String("note"))
            notes.append(ParsedNote());
        else if (reader.name() == QLatin1String("content"))
            notes.last().content = reader.readElementText().trimmed();
        else if (reader.name() == QLatin1String("data"))
            notes.last().base64 << reader.readElementText().toLatin1();
        else if (reader.name() == QLatin1String("mime"))
            notes.last().mimes << reader.readElementText();
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    return notes;
}

QStringList mediaHashes(const QString& content) {
    static const QRegularExpression hash(QStringLiteral("<en-media hash=\"([0-9a-f]{32})\""));
    QStringList hashes;
    for (auto it = hash.globalMatch(content); it.hasNext();) hashes << it.next().captured(1);
    return hashes;
}

QString bodyOf(const QString& content) {
    const qsizetype start = content.indexOf(QLatin1String("<en-note>")) + 9;
    return content.mid(start, content.lastIndexOf(QLatin1String("</en-note>")) - start);
}

}  // namespace

TEST(CorpusGenerator, EveryMediaHashIsTheMD5OfItsDecodedResourceInOrder) {
    const auto notes =
        parseExport(generate({"--notes", "12", "--attachments-per-note", "2", "--attachment-bytes",
                              "100K", "--attachment-kind", "mixed", "--single-attachment-share",
                              "0.25", "--constructs", "all", "--seed", "7"}));
    ASSERT_EQ(notes.size(), 12);
    QSet<QString> kinds;
    for (const ParsedNote& note : notes) {
        QStringList resourceHashes;
        for (const QByteArray& data : note.base64) {
            // Readers strip all white space (line ends and indentation) before decoding.
            const QByteArray base64 = data.simplified().replace(' ', QByteArray());
            const QByteArray decoded =
                QByteArray::fromBase64(base64, QByteArray::AbortOnBase64DecodingErrors);
            ASSERT_FALSE(decoded.isEmpty());
            resourceHashes << QString::fromLatin1(
                QCryptographicHash::hash(decoded, QCryptographicHash::Md5).toHex());
        }
        EXPECT_EQ(mediaHashes(note.content), resourceHashes);
        kinds.unite(QSet<QString>(note.mimes.begin(), note.mimes.end()));
    }
    EXPECT_EQ(kinds,
              (QSet<QString>{QStringLiteral("image/png"), QStringLiteral("application/pdf")}));
}

TEST(CorpusGenerator, Base64IsWrappedAtSeventySixColumns) {
    const auto notes = parseExport(
        generate({"--notes", "2", "--attachments-per-note", "1", "--attachment-bytes", "200K"}));
    for (const ParsedNote& note : notes) {
        ASSERT_EQ(note.base64.size(), 1);
        // The data element opens and closes on lines of its own.
        const QList<QByteArray> lines = note.base64.first().trimmed().split('\n');
        ASSERT_GT(lines.size(), 2000);
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            ASSERT_EQ(lines[i].size(), 76) << "line " << i;
        EXPECT_LE(lines.last().size(), 76);
    }
}

TEST(CorpusGenerator, ContentIsWellFormedENML) {
    for (const ParsedNote& note :
         parseExport(generate({"--notes", "20", "--constructs", "all", "--enml-bytes", "3K",
                               "--attachments-per-note", "1", "--attachment-bytes", "1K"}))) {
        QXmlStreamReader enml(note.content);
        while (!enml.atEnd()) enml.readNext();
        EXPECT_FALSE(enml.hasError()) << enml.errorString().toStdString() << "\n"
                                      << note.content.toStdString();
        EXPECT_FALSE(note.content.contains(QLatin1String("]]>")));
    }
}

TEST(CorpusGenerator, SameSeedGivesSameBytesAndAnotherSeedDoesNot) {
    const QStringList arguments = {
        "--notes",           "5",    "--constructs", "all", "--attachments-per-note", "1",
        "--attachment-kind", "mixed"};
    const QByteArray first = generate(arguments + QStringList{"--seed", "3"});
    EXPECT_EQ(first, generate(arguments + QStringList{"--seed", "3"}));
    EXPECT_NE(first, generate(arguments + QStringList{"--seed", "4"}));
}

TEST(CorpusGenerator, SingleAttachmentShareIsExactAndSuchNotesHoldOnlyTheMedia) {
    const auto notes = parseExport(
        generate({"--notes", "10", "--single-attachment-share", "0.3", "--enml-bytes", "1K"}));
    int single = 0;
    for (const ParsedNote& note : notes) {
        if (note.base64.isEmpty()) {
            EXPECT_TRUE(mediaHashes(note.content).isEmpty());
            continue;
        }
        ++single;
        EXPECT_EQ(note.base64.size(), 1);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^<en-media [^>]*/>$"))
                        .match(bodyOf(note.content))
                        .hasMatch())
            << bodyOf(note.content).toStdString();
    }
    EXPECT_EQ(single, 3);
}

TEST(CorpusGenerator, OnlySelectedConstructsAppearInEveryNote) {
    const QList<QPair<QString, QString>> markers = {{"styles", "<span style=\"font-size:"},
                                                    {"lists", "<li><div>[^<]*</div><[uo]l>"},
                                                    {"table", "<table "},
                                                    {"todos", "<en-todo checked=|--en-todo:true"},
                                                    {"links", "<a href=\"https://"},
                                                    {"code", "--en-codeblock:true"},
                                                    {"highlights", "--en-highlight:"}};
    const auto notes = parseExport(
        generate({"--notes", "8", "--constructs", "lists,todos,code", "--enml-bytes", "0"}));
    for (const ParsedNote& note : notes)
        for (const auto& [construct, marker] : markers) {
            const bool selected = QStringList{"lists", "todos", "code"}.contains(construct);
            EXPECT_EQ(QRegularExpression(marker).match(note.content).hasMatch(), selected)
                << construct.toStdString();
        }
}

TEST(CorpusGenerator, BodiesComeCloseToTheAskedSize) {
    for (const ParsedNote& note :
         parseExport(generate({"--notes", "10", "--constructs", "all", "--enml-bytes", "4K"}))) {
        const qsizetype size = bodyOf(note.content).toUtf8().size();
        EXPECT_GE(size, 4096);
        EXPECT_LE(size, 4096 + 1500);
    }
}

TEST(CorpusGenerator, ToDoLinesComeOnTopOfTheBodyEachAtALineStart) {
    const auto notes = parseExport(
        generate({"--notes", "3", "--enml-bytes", "1K", "--todos-per-note", "250", "--seed", "4"}));
    ASSERT_EQ(notes.size(), 3);
    static const QRegularExpression line(
        QStringLiteral("<div><en-todo checked=\"(true|false)\"></en-todo>[^<]+</div>|"
                       "<div><en-todo checked=\"(true|false)\"/>[^<]+</div>"));
    for (const ParsedNote& note : notes) {
        const QString body = bodyOf(note.content);
        EXPECT_EQ(body.count(QLatin1String("<en-todo")), 250);
        EXPECT_EQ(body.count(line), 250);
        EXPECT_GE(body.toUtf8().size(), 1024 + 250 * 40);
    }
}

TEST(CorpusGenerator, FailedWriteIsReportedAsFailure) {
    QFile full(QStringLiteral("/dev/full"));
    if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) GTEST_SKIP() << "no /dev/full";
    CorpusGenerator generator(optionsFor({"--notes", "3"}));
    Error error;
    EXPECT_FALSE(generator.write(full, &error));
    EXPECT_EQ(error.domain(), QStringLiteral("EnexGenerator"));
    EXPECT_EQ(generator.notesWritten(), 0);
}
