// Every attribute of a real note reaches the library: for the corpus files
// whose notes carry a location or a reminder, and for the export that holds
// every kind of note attribute, each field of "note-attributes" and of each
// attachment's "resource-attributes" is an extended attribute of the item's
// file and an entry of the library index. The expectations come from an
// independent reading of the ENEX (tests/support/ENEXReader).
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QTimeZone>

#include "tests/import/CorpusImport.h"
#include "tests/support/ENEXReader.h"

namespace {

bool isDateField(const QString& name) {
    return name == QLatin1String("subject-date") || name == QLatin1String("reminder-time") ||
           name == QLatin1String("reminder-done-time") || name == QLatin1String("timestamp");
}

// A compact ENEX date in ISO 8601; any other text as it is.
QString expectedValue(const QString& name, const QString& text) {
    if (!isDateField(name)) return text;
    QDateTime date = QDateTime::fromString(text, QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    if (!date.isValid()) return text;
    date.setTimeZone(QTimeZone::utc());
    return date.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

// Field name → value: the note's own, then each attachment's as "resource.N.<field>".
QMap<QString, QString> expectedAttributes(const ENEXNote& note) {
    QMap<QString, QString> expected;
    for (const auto& [name, value] : note.attributes) expected[name] = expectedValue(name, value);
    for (qsizetype i = 0; i < note.resources.size(); ++i)
        for (const auto& [name, value] : note.resources[i].attributes)
            expected[QStringLiteral("resource.%1.%2").arg(i + 1).arg(name)] =
                expectedValue(name, value);
    return expected;
}

QByteArray fileAttributeName(const QString& field) {
    if (field == QLatin1String("author")) return "user.xdg.creator";
    if (field == QLatin1String("source-url")) return "user.xdg.origin.url";
    return "user.ferrymark." + field.toUtf8();
}

// "name=value" lines, for messages that read.
std::string mapText(const QMap<QString, QString>& map) {
    QStringList lines;
    for (auto it = map.cbegin(); it != map.cend(); ++it) lines << it.key() + u'=' + it.value();
    return lines.join(u'\n').toStdString();
}

bool hasLocationOrReminder(const ENEXNote& note) {
    for (const auto& [name, value] : note.attributes)
        if (name == QLatin1String("latitude") || name.startsWith(QLatin1String("reminder-")))
            return true;
    return false;
}

// The corpus files this test reads: those with a note that has a location or a reminder,
// and the one that holds every kind of note attribute.
QStringList filesWithAttributes() {
    QStringList files;
    for (const QString& path : corpusFiles()) {
        const auto notes = readENEXNotes(path);
        if (!notes) continue;
        const bool chosen = path.endsWith(QLatin1String("/test-note-attributes.enex")) ||
                            std::any_of(notes->begin(), notes->end(), hasLocationOrReminder);
        if (chosen) files << path;
    }
    return files;
}

class CorpusAttributesTest : public testing::TestWithParam<QString> {};

TEST_P(CorpusAttributesTest, EveryFieldIsOnTheItemFileAndInTheLibraryIndex) {
    const QString path = GetParam();
    const auto notes = readENEXNotes(path);
    ASSERT_TRUE(notes.has_value());
    const CorpusImport& import = importOfCorpusFile(path);
    ASSERT_EQ(import.outcome, QStringLiteral("end")) << import.log.toStdString();
    ASSERT_EQ(import.items.size(), notes->size()) << "one item per note, in the file's order";
    for (qsizetype i = 0; i < notes->size(); ++i) {
        const LibraryItem& item = import.items[i];
        const std::string where = QStringLiteral("%1, note %2 \"%3\"")
                                      .arg(corpusName(path))
                                      .arg(i + 1)
                                      .arg(notes->at(i).title.trimmed())
                                      .toStdString();
        const QMap<QString, QString> expected = expectedAttributes(notes->at(i));
        EXPECT_EQ(mapText(item.indexAttributes), mapText(expected))
            << where << ": in the library index";
        for (auto field = expected.cbegin(); field != expected.cend(); ++field) {
            const QByteArray name = fileAttributeName(field.key());
            EXPECT_EQ(item.fileExtendedAttributes.value(name, "<absent>").toStdString(),
                      field.value().toStdString())
                << where << ": extended attribute " << name.constData();
        }
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusAttributesTest);
INSTANTIATE_TEST_SUITE_P(Corpus, CorpusAttributesTest, testing::ValuesIn(filesWithAttributes()),
                         [](const testing::TestParamInfo<QString>& info) {
                             return corpusTestName(info.param, info.index);
                         });

// The export that holds every kind of note attribute, read by eye: names,
// dates in ISO 8601, a date already in that form as written, application
// data by its key.
TEST(CorpusAttributes, NoteAttributesExportKeepsEachFieldAsWritten) {
    const QString folder = corpusFolder();
    if (folder.isEmpty()) GTEST_SKIP() << "no corpus beside the clone";
    const QString path = folder + QStringLiteral("/yarle/test-note-attributes.enex");
    if (!QFileInfo::exists(path)) GTEST_SKIP() << "no test-note-attributes.enex in the corpus";
    const CorpusImport& import = importOfCorpusFile(path);
    ASSERT_EQ(import.items.size(), 1);
    const QMap<QByteArray, QByteArray>& file = import.items[0].fileExtendedAttributes;
    EXPECT_EQ(file.value("user.xdg.creator"), "alexander.bockstaller@no.spam");
    EXPECT_EQ(file.value("user.xdg.origin.url"),
              "https://github.com/akosbalasko/yarle/tree/master/test/data/"
              "test-note-attributes.enex");
    EXPECT_EQ(file.value("user.ferrymark.subject-date"), "2024-12-21T12:51:00Z");
    EXPECT_EQ(file.value("user.ferrymark.reminder-time"), "2025-01-01T00:00:00+00:00");
    EXPECT_EQ(file.value("user.ferrymark.latitude"), "52.518654");
    EXPECT_EQ(file.value("user.ferrymark.place-name"), "Reichstag Building, Berlin");
    EXPECT_EQ(file.value("user.ferrymark.application-data.priority"), "high");
    EXPECT_EQ(import.items[0].indexAttributes.value(QStringLiteral("source-application")),
              QStringLiteral("Notepad++"));
    // The tags stay where they were, beside the attributes.
    EXPECT_EQ(file.value("user.xdg.tags"), "test,note-attributes");
}

}  // namespace
