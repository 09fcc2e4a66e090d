// White space between ENEX elements belongs to no element: every file of the
// shared corpus, imported as it is, reformatted by "xmllint --format" and
// written with no white space between its elements, gives three libraries
// with the same items, the same metadata and the same contents, apart from
// the fresh identifiers each run makes.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "tests/import/CorpusImport.h"
#include "tests/support/ENEXReader.h"
#include "tests/support/TestEnvironment.h"

namespace {

bool isWhiteSpace(const xmlChar* text) {
    for (const xmlChar* c = text; c && *c; ++c)
        if (*c != ' ' && *c != '\t' && *c != '\n' && *c != '\r') return false;
    return true;
}

// Drops the white-space text beside child elements and CDATA sections; the
// text of elements that hold only text (titles, escaped note content, data)
// stays as it is.
void removeWhiteSpaceBetweenElements(xmlNode* node) {
    bool structured = false;
    for (xmlNode* child = node->children; child; child = child->next)
        structured =
            structured || child->type == XML_ELEMENT_NODE || child->type == XML_CDATA_SECTION_NODE;
    for (xmlNode* child = node->children; child;) {
        xmlNode* next = child->next;
        if (structured && child->type == XML_TEXT_NODE && isWhiteSpace(child->content)) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        } else if (child->type == XML_ELEMENT_NODE) {
            removeWhiteSpaceBetweenElements(child);
        }
        child = next;
    }
}

// The export with no white space between its elements, or empty when it cannot be read.
QByteArray onOneLine(const QByteArray& enex) {
    xmlDoc* document =
        xmlReadMemory(enex.constData(), static_cast<int>(enex.size()), nullptr, nullptr,
                      XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!document) return QByteArray();
    removeWhiteSpaceBetweenElements(xmlDocGetRootElement(document));
    xmlChar* text = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(document, &text, &size, "UTF-8");
    const QByteArray result(reinterpret_cast<const char*>(text), size);
    xmlFree(text);
    xmlFreeDoc(document);
    return result;
}

// The export as "xmllint --format" indents it, or empty when that fails.
QByteArray formatted(const QString& path) {
    QProcess xmllint;
    xmllint.start(QStandardPaths::findExecutable(QStringLiteral("xmllint")),
                  {QStringLiteral("--format"), path});
    if (!xmllint.waitForFinished(60000) || xmllint.exitStatus() != QProcess::NormalExit ||
        xmllint.exitCode() != 0)
        return QByteArray();
    return xmllint.readAllStandardOutput();
}

// Where two texts part, with a little of each from there.
QString firstDifference(const QString& a, const QString& b) {
    qsizetype at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    return QStringLiteral("they differ at character %1: \"%2\" vs \"%3\"")
        .arg(at)
        .arg(a.mid(at, 40), b.mid(at, 40));
}

// XML reads every line end as a line feed, though libxml2 keeps carriage
// returns in CDATA sections, which "xmllint --format" then drops.
QString withUnixLineEnds(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

// The facts of a note that a change of white space between elements must not
// touch; a variant that changes them is a fault of the test's transformation.
QString factsOf(const QList<ENEXNote>& notes) {
    QString facts;
    for (const ENEXNote& note : notes) {
        facts += note.title + u'|' + note.created.toString(Qt::ISODate) + u'|' +
                 note.updated.toString(Qt::ISODate) + u'|' + note.tags.join(u',') + u'|' +
                 note.source + u'|' + note.sourceURL + u'|' +
                 withUnixLineEnds(QString::fromUtf8(note.content.trimmed())) + u'|';
        for (const ENEXResource& r : note.resources)
            facts += r.digest + u'|' + r.mime + u'|' + r.fileName + u'|';
        for (const ENEXTask& t : note.tasks)
            facts += t.title + u'|' + QString::number(t.completed) + u'|' + t.sortWeight + u'|' +
                     t.groupID + u'|';
        facts += u'\n';
    }
    return facts;
}

QString withoutIdentifiers(QString text) {
    static const QRegularExpression uuid(QStringLiteral(
        "[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}"));
    return text.replace(uuid, QStringLiteral("<UUID>"));
}

QString dateText(const QDateTime& date) {
    return date.isValid() ? date.toUTC().toString(Qt::ISODate) : QStringLiteral("(none)");
}

// One item's metadata and contents as named values, in a form fit to compare.
QList<std::pair<QString, QString>> fieldsOf(const LibraryItem& item, bool withModificationTime) {
    QString states;
    for (bool on : item.checklistStates) states += on ? u'x' : u'-';
    QList<std::pair<QString, QString>> fields = {
        {QStringLiteral("folder"), item.folderName},
        {QStringLiteral("file name"), item.fileName},
        {QStringLiteral("kind"), kindName(item.kind)},
        {QStringLiteral("name in the index"), item.indexName},
        {QStringLiteral("creation date in the index"), dateText(item.indexCreated)},
        {QStringLiteral("modification date in the index"), dateText(item.indexModified)},
        {QStringLiteral("tags in the index"), item.indexTags.join(u',')},
        {QStringLiteral("creation date on the file"), dateText(item.fileCreated)},
        {QStringLiteral("tags on the file"),
         item.fileTags ? item.fileTags->join(u',') : QStringLiteral("(none)")},
        {QStringLiteral("attachment MD5s"), item.attachmentDigests.join(u' ')},
        {QStringLiteral("checklist states"), states},
        {QStringLiteral("contents error"), item.contentError},
    };
    // Without a date from the note the file keeps the time it was written.
    if (withModificationTime)
        fields.append(
            {QStringLiteral("modification time of the file"), dateText(item.fileModified)});
    return fields;
}

void expectSameLibraries(const QString& variant, const CorpusImport& original,
                         const CorpusImport& other, const std::string& file) {
    const std::string where = file + ", " + variant.toStdString();
    EXPECT_EQ(other.outcome, original.outcome) << where << ": how the run ended";
    EXPECT_EQ(other.exported, original.exported) << where << ": notes done";
    EXPECT_EQ(other.libraryError, original.libraryError) << where;
    EXPECT_EQ(other.items.size(), original.items.size()) << where << ": items in the library";
    for (qsizetype k = 0; k < std::min(original.items.size(), other.items.size()); ++k) {
        const LibraryItem& a = original.items[k];
        const LibraryItem& b = other.items[k];
        const bool dated = a.indexModified.isValid() || b.indexModified.isValid();
        const auto fieldsA = fieldsOf(a, dated);
        const auto fieldsB = fieldsOf(b, dated);
        QStringList differences;
        for (qsizetype f = 0; f < fieldsA.size(); ++f)
            if (fieldsB[f].second != fieldsA[f].second)
                differences << QStringLiteral("%1 \"%2\", as it is \"%3\"")
                                   .arg(fieldsA[f].first, fieldsB[f].second, fieldsA[f].second);
        const QString textA = withoutIdentifiers(a.text);
        const QString textB = withoutIdentifiers(b.text);
        if (textA != textB)
            differences << QStringLiteral("text: ") + firstDifference(textB, textA) +
                               QStringLiteral(" (variant first)");
        EXPECT_TRUE(differences.isEmpty())
            << where << ", item " << k + 1 << " \"" << a.fileName.toStdString()
            << "\": " << differences.join(QStringLiteral("; ")).toStdString();
    }
}

class CorpusReindentationTest : public testing::TestWithParam<QString> {};

}  // namespace

TEST_P(CorpusReindentationTest, IndentedAndOneLineExportsImportAlike) {
    const QString path = GetParam();
    const std::string file = corpusName(path).toStdString();
    QString error;
    const auto notes = readENEXNotes(path, &error);
    if (!notes) GTEST_SKIP() << error.toStdString() << "; a malformed export is reported elsewhere";
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty())
        << "xmllint is missing (package libxml2-utils, which ./run installs)";

    QFile source(path);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << file;
    const QList<std::pair<QString, QByteArray>> variants = {
        {QStringLiteral("reformatted by xmllint --format"), formatted(path)},
        {QStringLiteral("on one line"), onOneLine(source.readAll())},
    };
    const QString facts = factsOf(*notes);
    for (const auto& [variant, enex] : variants) {
        const auto variantNotes = readENEXNotes(enex, &error);
        ASSERT_TRUE(variantNotes) << file << ", " << variant.toStdString() << ": "
                                  << error.toStdString();
        const QString variantFacts = factsOf(*variantNotes);
        ASSERT_TRUE(variantFacts == facts)
            << file << ", " << variant.toStdString() << ": the transformation changed the notes; "
            << firstDifference(variantFacts, facts).toStdString();
    }

    const CorpusImport& original = importOfCorpusFile(path);
    for (const auto& [variant, enex] : variants)
        expectSameLibraries(variant, original, importENEX(QFileInfo(path).fileName(), enex), file);
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusReindentationTest);
INSTANTIATE_TEST_SUITE_P(Corpus, CorpusReindentationTest, testing::ValuesIn(corpusFiles()),
                         [](const auto& info) { return corpusTestName(info.param, info.index); });
