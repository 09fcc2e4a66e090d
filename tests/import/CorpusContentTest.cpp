// Every note package made from the real exports of the shared corpus holds
// the note's text, its attachments, its to-dos as checklists and its tables.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include "enex/EvernoteXMLParseOperation.h"
#include "formats/PMNoteFile.h"
#include "platform/xml/XMLDocument.h"
#include "platform/xml/XMLStreamParser.h"
#include "tests/support/TestEnvironment.h"
#include "util/Base64.h"

namespace {

// The ENML and the attachment digests of each note, in document order.
struct SourceNote {
    QByteArray enml;
    QSet<QString> digests;
    int tasks = 0;
};

class SourceReader : public XMLStreamParserDelegate {
  public:
    QList<SourceNote> notes;
    void didStartElement(const QString& name, const QList<XMLAttribute>&) override {
        if (name == QLatin1String("note")) notes.append(SourceNote());
        if (name == QLatin1String("task") && !notes.isEmpty()) ++notes.last().tasks;
        inContent_ = name == QLatin1String("content");
        inData_ = name == QLatin1String("data");
        if (inData_) data_.clear();
    }
    void foundCDATA(const QByteArray& bytes) override {
        if (inContent_ && !notes.isEmpty()) notes.last().enml += bytes;
    }
    void foundCharacters(const QString& text) override {
        if (inData_) data_ += text.toLatin1();
    }
    void didEndElement(const QString& name) override {
        if (name == QLatin1String("data") && !notes.isEmpty()) {
            if (auto bytes = decodeBase64IgnoringUnknownCharacters(data_))
                notes.last().digests << QString::fromLatin1(
                    QCryptographicHash::hash(*bytes, QCryptographicHash::Md5).toHex());
        }
        inContent_ = inData_ = false;
    }

  private:
    bool inContent_ = false, inData_ = false;
    QByteArray data_;
};

QStringList words(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

// The note's visible text (encrypted passages left out) and what it refers to.
struct Expected {
    QString text;  // inline text runs together, as a browser shows it
    int attachments = 0;
    int todos = 0;
    bool hasTable = false;
};

void collect(const XMLNode& node, const SourceNote& source, Expected& expected) {
    for (const XMLNode& child : node.children()) {
        if (!child.isElement()) {
            expected.text += child.textContent();
            continue;
        }
        const QString name = child.name();
        static const QSet<QString> blocks = {
            QStringLiteral("div"),      QStringLiteral("p"),       QStringLiteral("br"),
            QStringLiteral("li"),       QStringLiteral("td"),      QStringLiteral("th"),
            QStringLiteral("tr"),       QStringLiteral("h1"),      QStringLiteral("h2"),
            QStringLiteral("h3"),       QStringLiteral("ul"),      QStringLiteral("ol"),
            QStringLiteral("en-media"), QStringLiteral("en-todo"), QStringLiteral("hr")};
        if (blocks.contains(name)) expected.text += u' ';
        if (name == QLatin1String("en-crypt")) continue;
        // A task group's placeholder gives way to the note's tasks.
        if (child.attribute(QStringLiteral("style"))
                .contains(QLatin1String("--en-task-group:true")))
            continue;
        if (name == QLatin1String("en-todo") ||
            child.attribute(QStringLiteral("style")).contains(QLatin1String("--en-checked")))
            ++expected.todos;
        if (name == QLatin1String("img") &&
            child.attribute(QStringLiteral("src")).startsWith(QLatin1String("data:")))
            ++expected.attachments;
        if (name == QLatin1String("table")) expected.hasTable = true;
        if (name == QLatin1String("en-media") &&
            source.digests.contains(child.attribute(QStringLiteral("hash"))))
            ++expected.attachments;
        collect(child, source, expected);
    }
}

// The first word of `needle` missing from `haystack` in order; empty when none is.
QString firstMissingWord(const QStringList& needle, const QStringList& haystack) {
    qsizetype at = 0;
    for (const QString& word : needle) {
        while (at < haystack.size() && haystack[at] != word) ++at;
        if (at++ >= haystack.size()) return word;
    }
    return QString();
}

}  // namespace

TEST(CorpusContentTest, NotePackagesHoldTextAttachmentsChecklistsAndTables) {
    const QString corpus = QStringLiteral(FERRYMARK_SOURCE_DIR "/../shared/corpus");
    if (!QDir(corpus).exists()) GTEST_SKIP() << "no corpus beside the clone";
    int packages = 0;
    QDirIterator files(corpus, {QStringLiteral("*.enex")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        TestEnvironment env;
        QFile file(path);
        SourceReader reader;
        XMLStreamParser parser(&file);
        parser.setDelegate(&reader);
        if (!parser.parse()) continue;  // a malformed export is reported elsewhere

        QDir().mkpath(env.path(QStringLiteral("out")));
        PlistDictionary group;
        group.set(QStringLiteral("groupType"), 70);
        auto parse = EvernoteXMLParseOperation::evernoteParseOperationForFileAtURL(
            QUrl::fromLocalFile(path), QUrl::fromLocalFile(env.path(QStringLiteral("out"))), group);
        QList<std::optional<PlistDictionary>> items;
        parse->setParseOperationDidExportItemBlock(
            [&](const std::optional<PlistDictionary>& item, const Error&) { items << item; });
        OperationQueue queue;
        queue.addOperation(parse);
        ASSERT_TRUE(runEventLoopUntil([&] { return parse->isFinished(); }, 120000));
        ASSERT_EQ(items.size(), reader.notes.size()) << path.toStdString();

        for (qsizetype i = 0; i < items.size(); ++i) {
            ASSERT_TRUE(items[i].has_value()) << path.toStdString() << " note " << i;
            const QString written = items[i]->value(QStringLiteral("absoluteFilename")).toString();
            if (!written.endsWith(QLatin1String(".pmnote"))) continue;
            ++packages;
            const auto document = XMLDocument::parse(reader.notes[i].enml);
            ASSERT_TRUE(document);
            Expected expected;
            collect(document->rootElement(), reader.notes[i], expected);
            expected.todos += reader.notes[i].tasks;

            Error error;
            auto note = PMNoteFile::noteFileWithFileURL(QUrl::fromLocalFile(written), &error);
            ASSERT_NE(note, nullptr) << written.toStdString() << error.description().toStdString();
            const AttributedString& text = *note->noteText();
            const int checklists = static_cast<int>(note->noteAttributes()
                                                        .checklistItems()
                                                        .value_or(QList<PMNoteChecklistItem>())
                                                        .size());
            int attachments = 0;
            text.enumerateAttachments(
                TextRange{0, text.length()},
                [&](const TextAttachment&, const TextRange&, bool&) { ++attachments; });
            const QString where = written;
            EXPECT_EQ(firstMissingWord(words(expected.text), words(text.string())), QString())
                << where.toStdString();
            EXPECT_EQ(checklists, expected.todos) << where.toStdString();
            EXPECT_EQ(attachments - checklists, expected.attachments) << where.toStdString();
            QFile rtf(written + QStringLiteral("/TXT.rtf"));
            ASSERT_TRUE(rtf.open(QIODevice::ReadOnly));
            EXPECT_EQ(rtf.readAll().contains("\\trowd"), expected.hasTable) << where.toStdString();
        }
    }
    EXPECT_GT(packages, 40);
}
