#include <gtest/gtest.h>

#include "formats/PMCoderExtensions.h"
#include "formats/PMNoteAttributes.h"
#include "platform/archive/ArchivedInstance.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/platform/archive/PythonPlist.h"
#include "tests/support/TestEnvironment.h"

namespace {

using Field = ArchivedInstance::Field;
using Kind = ArchivedInstance::FieldKind;

PMNoteAttributes filledAttributes() {
    PMNoteAttributes attributes = PMNoteAttributes::emptyAttributes();
    attributes.setFileVersion(1999);  // saving writes 3000 regardless
    attributes.setVisibleChars({12, 3});
    attributes.setSelectedChars({4, 0});
    attributes.setTypingAttributes(ArchiveValue::dictionary({{"NSKern", 1.5}}));
    attributes.setLayoutOrientation(1);
    attributes.setHyphenationFactor(0.1);
    attributes.setScaleFactor(0.1);
    attributes.setVisibleRect(QRectF(1, 2, 100.1, 50));
    attributes.setRulerVisible(true);
    attributes.setBackgroundColor(QColor::fromRgbF(1.0f, 0.5f, 0.25f, 1.0f));
    attributes.setChecklistItems(QList<PMNoteChecklistItem>{{true, {0, 3}}, {false, {10, 2}}});
    return attributes;
}

// An archive whose root is a PMNoteAttributes with exactly these fields.
QByteArray rawAttributesArchive(std::vector<Field> fields) {
    auto root = std::make_shared<ArchivedInstance>(
        "PMNoteAttributes", QStringList{"PMNoteAttributes", "NSObject"}, std::move(fields));
    return KeyedArchiver::archivedDataWithRootObject(root);
}

PMNoteAttributes read(const QByteArray& data) {
    Error error;
    auto attributes = PMNoteAttributes::fromArchivedData(data, &error);
    EXPECT_TRUE(attributes) << error.description().toStdString();
    return attributes.value_or(PMNoteAttributes::emptyAttributes());
}

}  // namespace

TEST(PMNoteAttributes, ArchiveHasThePlatformKeysAndPlistTypes) {
    SKIP_WITHOUT_PYTHON();
    PMNoteAttributes attributes = filledAttributes();
    const QString out = runPlistScript(attributes.archivedData(), R"(
o = p['$objects']
def obj(uid): return o[uid.data]
r = obj(p['$top']['root'])
print(obj(r['$class'])['$classname'], obj(r['$class'])['$classes'])
print(list(r.keys()))
for k in r:
    v = r[k]
    print(k, type(v).__name__, repr(obj(v) if type(v).__name__ == 'UID' and k != '$class' else v))
def dictionary(uid):
    d = obj(uid)
    return {obj(k): obj(v) for k, v in zip(d['NS.keys'], d['NS.objects'])}
print(dictionary(r['visibleCGRect']))
print({k: round(v, 4) for k, v in dictionary(r['backgroundColorComponents']).items()})
items = [obj(u) for u in obj(r['checklistItems'])['NS.objects']]
print([(obj(i['$class'])['$classname'], i['on'], obj(i['range'])) for i in items])
)");
    const QStringList lines = out.split('\n');
    ASSERT_EQ(lines.size(), 17) << out.toStdString();
    EXPECT_EQ(lines[0], "PMNoteAttributes ['PMNoteAttributes', 'NSObject']");
    EXPECT_EQ(lines[1],
              "['$class', 'fileVersion', 'visibleChars', 'selectedChars', 'typingAttributes', "
              "'layoutOrientation', 'hyphenationFactor', 'scaleFactor', 'visibleCGRect', "
              "'rulerVisible', 'backgroundColorComponents', 'checklistItems']");
    EXPECT_EQ(lines[3], "fileVersion int 3000");
    EXPECT_EQ(lines[4], "visibleChars UID '{12, 3}'");
    EXPECT_EQ(lines[5], "selectedChars UID '{4, 0}'");
    EXPECT_TRUE(lines[6].startsWith("typingAttributes UID {'$class'")) << lines[6].toStdString();
    EXPECT_TRUE(lines[6].contains("'NS.keys'"));
    EXPECT_EQ(lines[7], "layoutOrientation int 1");
    EXPECT_EQ(lines[8], "hyphenationFactor float 0.10000000149011612");  // narrowed to float
    EXPECT_EQ(lines[9], "scaleFactor float 0.1");                        // a full double
    EXPECT_TRUE(lines[10].startsWith("visibleCGRect UID {'$class'"));
    EXPECT_TRUE(lines[10].contains("'NS.objects'"));
    EXPECT_EQ(lines[11], "rulerVisible bool True");
    EXPECT_EQ(lines[14], "{'x': 1.0, 'y': 2.0, 'width': 100.0999984741211, 'height': 50.0}");
    EXPECT_EQ(lines[15], "{'red': 1.0, 'green': 0.5, 'blue': 0.25, 'alpha': 1.0}");
    EXPECT_EQ(lines[16],
              "[('PMNoteChecklistItem', True, '{0, 3}'), "
              "('PMNoteChecklistItem', False, '{10, 2}')]");
}

TEST(PMNoteAttributes, RoundTripsEveryFieldAtTheStoredPrecision) {
    PMNoteAttributes original = filledAttributes();
    const PMNoteAttributes copy = read(original.archivedData());
    EXPECT_EQ(copy.fileVersion(), 3000);
    EXPECT_EQ(copy.visibleChars(), (IndexRange{12, 3}));
    EXPECT_EQ(copy.selectedChars(), (IndexRange{4, 0}));
    EXPECT_EQ(copy.typingAttributes(), ArchiveValue::dictionary({{"NSKern", 1.5}}));
    EXPECT_EQ(copy.layoutOrientation(), 1);
    EXPECT_EQ(copy.hyphenationFactor(), static_cast<double>(0.1f));
    EXPECT_EQ(copy.scaleFactor(), 0.1);
    EXPECT_EQ(copy.visibleRect(), QRectF(1, 2, static_cast<double>(100.1f), 50));
    EXPECT_TRUE(copy.rulerVisible());
    ASSERT_TRUE(copy.backgroundColor());
    EXPECT_EQ(copy.backgroundColor()->rgba64(), QColor::fromRgbF(1.0f, 0.5f, 0.25f).rgba64());
    EXPECT_EQ(copy.checklistItems(),
              (QList<PMNoteChecklistItem>{{true, {0, 3}}, {false, {10, 2}}}));
}

TEST(PMNoteAttributes, ReadsOldArchivesThroughTheirOwnKeys) {
    const ArchiveValue color(QColor::fromRgbF(0, 0, 1.0f));
    const PMNoteAttributes old = read(rawAttributesArchive({
        {"fileVersion", Kind::Inline, 1999},
        {"visibleRect", Kind::Inline, "{{5, 6}, {70.5, 80}}"},
        {"backgroundColor", Kind::Object, color},
        {"visibleCGRect", Kind::Object, ArchiveValue::dictionary({{"x", 9.0f}})},
    }));
    EXPECT_EQ(old.fileVersion(), 1999);
    EXPECT_EQ(old.visibleRect(), QRectF(5, 6, 70.5, 80));
    ASSERT_TRUE(old.backgroundColor());
    EXPECT_EQ(old.backgroundColor()->rgba64(), QColor::fromRgbF(0, 0, 1.0f).rgba64());

    // From version 2000 on the old keys are ignored; a missing component reads as 0.
    const PMNoteAttributes newer = read(rawAttributesArchive({
        {"fileVersion", Kind::Inline, 2000},
        {"visibleRect", Kind::Inline, "{{5, 6}, {70.5, 80}}"},
        {"backgroundColor", Kind::Object, color},
        {"backgroundColorComponents", Kind::Object,
         ArchiveValue::dictionary({{"red", 1.0f}, {"alpha", 1.0f}})},
    }));
    EXPECT_EQ(newer.visibleRect(), QRectF());
    ASSERT_TRUE(newer.backgroundColor());
    EXPECT_EQ(newer.backgroundColor()->rgba64(), QColor::fromRgbF(1.0f, 0, 0).rgba64());
}

TEST(PMNoteAttributes, DecodesFromAnEmptyObjectNotFromDefaults) {
    TestEnvironment environment;
    UserDefaults defaults("com.quorvel.Pelmora3");
    defaults.setObject(1.25, "DefaultNoteScaleFactor");
    defaults.setObject(true, "NewNotesShowRuler");
    defaults.setObject(KeyedArchiver::archivedDataWithRootObject(QColor(Qt::yellow)),
                       "DefaultNoteBackgroundColor");
    const PMNoteAttributes fresh(defaults);
    EXPECT_EQ(fresh.fileVersion(), 3000);
    EXPECT_EQ(fresh.scaleFactor(), 1.25);
    EXPECT_TRUE(fresh.rulerVisible());
    ASSERT_TRUE(fresh.backgroundColor());
    EXPECT_EQ(fresh.backgroundColor()->rgb(), QColor(Qt::yellow).rgb());
    EXPECT_FALSE(fresh.checklistItems());

    const PMNoteAttributes decoded =
        read(rawAttributesArchive({{"fileVersion", Kind::Inline, 2999}}));
    EXPECT_EQ(decoded.fileVersion(), 2999);
    EXPECT_EQ(decoded.scaleFactor(), 0.0);
    EXPECT_FALSE(decoded.rulerVisible());
    EXPECT_FALSE(decoded.backgroundColor());
    EXPECT_FALSE(decoded.checklistItems());
    EXPECT_TRUE(decoded.typingAttributes().isNull());

    // Absent defaults give zero values; an unreadable colour archive gives none.
    UserDefaults bare("com.example.none");
    bare.setObject(QByteArray("not an archive"), "DefaultNoteBackgroundColor");
    const PMNoteAttributes plain(bare);
    EXPECT_EQ(plain.scaleFactor(), 0.0);
    EXPECT_FALSE(plain.rulerVisible());
    EXPECT_FALSE(plain.backgroundColor());
}

TEST(PMNoteAttributes, ColourWithoutRgbFormIsWrittenAsZerosAndDropped) {
    PMNoteAttributes attributes = PMNoteAttributes::emptyAttributes();
    attributes.setBackgroundColor(QColor());
    const PMNoteAttributes copy = read(attributes.archivedData());
    EXPECT_FALSE(attributes.backgroundColor());
    ASSERT_TRUE(copy.backgroundColor());
    EXPECT_EQ(copy.backgroundColor()->rgba64(), QColor::fromRgbF(0, 0, 0, 0).rgba64());

    // A colour in another model is stored, and kept, as its RGB form.
    attributes.setBackgroundColor(QColor::fromCmykF(0, 1, 1, 0));
    attributes.archivedData();
    EXPECT_EQ(attributes.backgroundColor()->spec(), QColor::Rgb);
}

TEST(PMNoteAttributes, RejectsArchivesOfOtherRoots) {
    Error error;
    EXPECT_FALSE(PMNoteAttributes::fromArchivedData(
        KeyedArchiver::archivedDataWithRootObject("just a string"), &error));
    EXPECT_EQ(error.code(), KeyedUnarchiver::CorruptArchive);
    EXPECT_FALSE(PMNoteAttributes::fromArchivedData(QByteArray(), &error));
    EXPECT_EQ(error.code(), KeyedUnarchiver::NotAnArchive);
}
