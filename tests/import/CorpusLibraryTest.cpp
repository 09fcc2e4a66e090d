// What a user checks after importing a real export: for every note of every
// well-formed file of the shared corpus, the library holds one item of the
// right kind and name, with the note's dates, tags, attachments and checklist
// items. The expectations come from an independent reading of the ENEX
// (tests/support/ENEXReader), never from the importer's parser.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

#include "platform/uti/UniformTypes.h"
#include "tests/import/CorpusImport.h"
#include "tests/support/ENEXReader.h"
#include "tests/support/TestEnvironment.h"
#include "util/FileNameRules.h"

namespace {

// What the library should hold for one note.
struct ExpectedItem {
    LibraryItem::Kind kind = LibraryItem::Kind::NotePackage;
    QString stem;       // the file name without its extension
    QString extension;  // empty when the file has none
    QList<bool> checklist;
    QStringList taskTitles;
    ENMLOutline outline;
    QString fileName() const { return extension.isEmpty() ? stem : stem + u'.' + extension; }
};

// A title made into a file name: sanitized, "Untitled" when nothing is left.
QString safeName(const QString& title, const QString& extension) {
    QString name = QVExtensions::stringSanitizedForFileName(title);
    if (QVExtensions::safeFileName(name).isEmpty()) name = QStringLiteral("Untitled");
    return QVExtensions::safeFileName(extension.isEmpty() ? name : name + u'.' + extension);
}

void splitName(const QString& name, ExpectedItem& expected) {
    const QFileInfo info(name);
    expected.extension = info.suffix();
    expected.stem = expected.extension.isEmpty()
                        ? name
                        : name.left(name.size() - expected.extension.size() - 1);
}

// The attachment itself, named "<title>.<its extension>"; without an
// extension its own name; without a name "Untitled" with its type's extension.
// An image's own name ends in its type's extension, added where it lacks one.
void nameSingleAttachment(const ENEXNote& note, ExpectedItem& expected) {
    const ENEXResource& resource = note.resources.first();
    const QString type = UniformTypes::preferredIdentifierForMIMEType(resource.mime);
    const QString ownName =
        UniformTypes::conformsTo(type, QStringLiteral("public.image"))
            ? UniformTypes::fileNameWithExtensionForType(resource.fileName, type)
            : resource.fileName;
    const QString extension = QFileInfo(ownName).suffix();
    QString name;
    if (!extension.isEmpty() && !note.title.trimmed().isEmpty())
        name = safeName(note.title, extension);
    else
        name = QVExtensions::safeFileName(ownName);
    if (name.isEmpty()) {
        const QString typeExtension =
            resource.mime.isEmpty()
                ? QString()
                : UniformTypes::preferredExtension(
                      UniformTypes::preferredIdentifierForMIMEType(resource.mime));
        name = typeExtension.isEmpty() ? QStringLiteral("Untitled")
                                       : QStringLiteral("Untitled.") + typeExtension;
    }
    splitName(name, expected);
}

bool isWebClip(const ENEXNote& note) {
    static const QRegularExpression source(QStringLiteral("^web\\.clip[0-9]*$"));
    return source.match(note.source).hasMatch() && !note.sourceURL.isEmpty();
}

// An en-media in the body naming one of the note's attachments that is not an image.
bool holdsNonImageAttachment(const ENEXNote& note, const ENMLOutline& outline) {
    for (const ENMLMedia& media : outline.media) {
        for (const ENEXResource& resource : note.resources) {
            if (resource.digest != media.hash) continue;
            const QString type = media.type.isEmpty() ? resource.mime : media.type;
            if (!type.startsWith(QLatin1String("image/"))) return true;
        }
    }
    return false;
}

// Check boxes, checked list items and tasks in the order the note shows
// them: a task group's tasks at its block in sortWeight order, tasks whose
// group is missing at the end.
void expectChecklist(const ENEXNote& note, const ENMLOutline& outline, ExpectedItem& expected) {
    QList<ENEXTask> tasks = note.tasks;
    std::stable_sort(tasks.begin(), tasks.end(), [](const ENEXTask& a, const ENEXTask& b) {
        return a.sortWeight < b.sortWeight;
    });
    QList<bool> placed(tasks.size(), false);
    for (const ENMLCheckbox& box : outline.checkboxes) {
        if (box.kind != ENMLCheckbox::Kind::TaskGroup) {
            expected.checklist << box.checked;
            continue;
        }
        for (qsizetype i = 0; i < tasks.size(); ++i) {
            if (placed[i] || tasks[i].groupID != box.taskGroupID) continue;
            placed[i] = true;
            expected.checklist << tasks[i].completed;
        }
    }
    for (qsizetype i = 0; i < tasks.size(); ++i)
        if (!placed[i]) expected.checklist << tasks[i].completed;
    for (const ENEXTask& task : tasks) expected.taskTitles << task.title;
}

ExpectedItem expectedItem(const ENEXNote& note) {
    ExpectedItem expected;
    expected.outline = outlineOfENML(note.content);
    const ENMLOutline& outline = expected.outline;
    if (outline.holdsOnlyOneMedia && note.resources.size() == 1) {
        expected.kind = LibraryItem::Kind::File;
        nameSingleAttachment(note, expected);
        return expected;
    }
    if (isWebClip(note) && !holdsNonImageAttachment(note, outline)) {
        expected.kind = LibraryItem::Kind::WebArchive;
        splitName(safeName(note.title, QStringLiteral("webarchive")), expected);
        return expected;
    }
    splitName(safeName(note.title, QStringLiteral("pmnote")), expected);
    expectChecklist(note, outline, expected);
    return expected;
}

// The expected name, or the numbered form a clash of titles in one folder gives.
bool hasExpectedName(const LibraryItem& item, const ExpectedItem& expected) {
    const QString pattern = QStringLiteral("^%1( [0-9]+)?%2$")
                                .arg(QRegularExpression::escape(expected.stem),
                                     expected.extension.isEmpty()
                                         ? QString()
                                         : QRegularExpression::escape(u'.' + expected.extension));
    return QRegularExpression(pattern).match(item.fileName).hasMatch();
}

// Items follow the notes' order; a note without an item is skipped over.
// Returns, per note, the index of its item or -1. An item whose name is
// wrong but begins like the expected one is still taken, so that its other
// faults show too.
QList<qsizetype> matchItems(const QList<ExpectedItem>& expected, const QList<LibraryItem>& items) {
    QList<qsizetype> matches;
    qsizetype cursor = 0;
    for (const ExpectedItem& item : expected) {
        qsizetype found = -1;
        for (qsizetype k = cursor; k < items.size() && found < 0; ++k)
            if (hasExpectedName(items[k], item)) found = k;
        for (qsizetype k = cursor; k < items.size() && found < 0; ++k)
            if (!item.stem.isEmpty() && items[k].fileName.startsWith(item.stem)) found = k;
        matches << found;
        if (found >= 0) cursor = found + 1;
    }
    return matches;
}

QString dateText(const QDateTime& date) {
    return date.isValid() ? date.toUTC().toString(Qt::ISODate) : QStringLiteral("(none)");
}

bool sameSecond(const QDateTime& a, const QDateTime& b) {
    return a.isValid() && b.isValid() && a.toSecsSinceEpoch() == b.toSecsSinceEpoch();
}

QString statesText(const QList<bool>& states) {
    QString text;
    for (bool on : states) text += on ? u'x' : u'-';
    return QStringLiteral("[%1]").arg(text);
}

// Quoted, so that empty entries show.
QString listText(const QStringList& list) {
    return list.isEmpty() ? QStringLiteral("{}")
                          : QStringLiteral("{\"%1\"}").arg(list.join(QStringLiteral("\", \"")));
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

class CorpusNoteCheck {
  public:
    CorpusNoteCheck(const QString& file, qsizetype index, const ENEXNote& note,
                    const LibraryItem& item)
        : note_(note),
          item_(item),
          where_(QStringLiteral("%1, note %2 \"%3\", item \"%4\"")
                     .arg(file)
                     .arg(index + 1)
                     .arg(note.title.trimmed(), item.fileName)
                     .toStdString()) {}

    void kindAndName(const ExpectedItem& expected) const {
        ASSERT_TRUE(item_.exists) << where_ << ": the library index names a file that is not there";
        EXPECT_EQ(kindName(item_.kind), kindName(expected.kind)) << where_ << ": kind";
        EXPECT_EQ(QFileInfo(item_.fileName).suffix(), expected.extension)
            << where_ << ": extension";
        EXPECT_TRUE(hasExpectedName(item_, expected))
            << where_ << ": expected the name \"" << expected.fileName().toStdString()
            << "\" (or a numbered form)";
    }

    // One failure per note naming every date that differs.
    void dates() const {
        QStringList wrong;
        const auto compare = [&](const char* what, const QDateTime& actual,
                                 const QDateTime& expected) {
            if (expected.isValid() && !sameSecond(actual, expected))
                wrong << QStringLiteral("%1 %2, expected %3")
                             .arg(QLatin1String(what), dateText(actual), dateText(expected));
        };
        compare("creation date in the library index", item_.indexCreated, note_.created);
        compare("creation date on the file", item_.fileCreated, note_.created);
        compare("modification date in the library index", item_.indexModified, note_.updated);
        compare("modification time of the file", item_.fileModified, note_.updated);
        EXPECT_TRUE(wrong.isEmpty())
            << where_ << ": " << wrong.join(QStringLiteral("; ")).toStdString();
    }

    // Tags as a set, without empty ones, on the file and in the index.
    void tags() const {
        const QSet<QString> expected(note_.tags.begin(), note_.tags.end());
        QStringList wrong;
        const auto compare = [&](const char* where, const QStringList& actual) {
            if (actual.contains(QString()) ||
                QSet<QString>(actual.begin(), actual.end()) != expected)
                wrong << QStringLiteral("%1 %2").arg(QLatin1String(where), listText(actual));
        };
        compare("on the file", item_.fileTags.value_or(QStringList()));
        compare("in the library index", item_.indexTags);
        EXPECT_TRUE(wrong.isEmpty())
            << where_ << ": tags " << wrong.join(QStringLiteral(", ")).toStdString()
            << "; expected " << listText(sorted(note_.tags)).toStdString();
    }

    void attachments(const ENMLOutline& outline) const {
        EXPECT_EQ(item_.contentError, QString()) << where_;
        QSet<QString> named;
        for (const ENMLMedia& media : outline.media) named << media.hash;
        for (const ENEXResource& resource : note_.resources) {
            EXPECT_TRUE(item_.attachmentDigests.contains(resource.digest))
                << where_ << ": attachment \"" << resource.fileName.toStdString() << "\" ("
                << resource.mime.toStdString() << ", MD5 " << resource.digest.toStdString()
                << (named.contains(resource.digest) ? "" : ", named by no en-media")
                << ") is not in the " << kindName(item_.kind).toStdString();
        }
    }

    void checklist(const ExpectedItem& expected) const {
        if (item_.kind != LibraryItem::Kind::NotePackage) return;
        EXPECT_EQ(statesText(item_.checklistStates), statesText(expected.checklist))
            << where_
            << ": archived checklist items (x checked, - not checked), then those of the note's "
               "en-todo, "
               "--en-checked list items and tasks";
        for (const QString& title : expected.taskTitles)
            EXPECT_TRUE(item_.text.contains(title))
                << where_ << ": the task \"" << title.toStdString() << "\" is not in the text";
    }

  private:
    const ENEXNote& note_;
    const LibraryItem& item_;
    std::string where_;
};

class CorpusLibraryTest : public testing::TestWithParam<QString> {};

}  // namespace

TEST(CorpusFiles, AreThereOrTheCorpusChecksSkip) {
    if (corpusFolder().isEmpty()) GTEST_SKIP() << "no corpus beside the clone";
    EXPECT_GT(corpusFiles().size(), 60);
}

TEST_P(CorpusLibraryTest, EveryNoteIsAnItemWithItsMetadataAttachmentsAndChecklist) {
    const QString path = GetParam();
    const QString file = corpusName(path);
    QString error;
    const auto notes = readENEXNotes(path, &error);
    if (!notes) GTEST_SKIP() << error.toStdString() << "; a malformed export is reported elsewhere";

    const CorpusImport& import = importOfCorpusFile(path);
    ASSERT_EQ(import.outcome, QStringLiteral("end")) << file.toStdString();
    ASSERT_EQ(import.libraryError, QString()) << file.toStdString();

    QList<ExpectedItem> expected;
    for (const ENEXNote& note : *notes) expected << expectedItem(note);
    const QList<qsizetype> matches = matchItems(expected, import.items);
    QSet<qsizetype> matched;
    for (qsizetype i = 0; i < notes->size(); ++i) {
        const ENEXNote& note = notes->at(i);
        if (matches[i] < 0) {
            ADD_FAILURE() << file.toStdString() << ", note " << i + 1 << " \""
                          << note.title.trimmed().toStdString()
                          << "\": no item in the library (expected the "
                          << kindName(expected[i].kind).toStdString() << " \""
                          << expected[i].fileName().toStdString() << "\")";
            continue;
        }
        matched << matches[i];
        const LibraryItem& item = import.items[matches[i]];
        const CorpusNoteCheck check(file, i, note, item);
        check.kindAndName(expected[i]);
        check.dates();
        check.tags();
        check.attachments(expected[i].outline);
        check.checklist(expected[i]);
    }
    for (qsizetype k = 0; k < import.items.size(); ++k)
        EXPECT_TRUE(matched.contains(k))
            << file.toStdString() << ": the library item \""
            << import.items[k].fileName.toStdString() << "\" stands for no note";
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusLibraryTest);
INSTANTIATE_TEST_SUITE_P(Corpus, CorpusLibraryTest, testing::ValuesIn(corpusFiles()),
                         [](const auto& info) { return corpusTestName(info.param, info.index); });
