#include <gtest/gtest.h>

#include "platform/archive/ArchivedInstance.h"
#include "platform/archive/ColorCoding.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"

namespace {

using Field = ArchivedInstance::Field;
using Kind = ArchivedInstance::FieldKind;

ArchiveValue instance(const QString& name, std::vector<Field> fields) {
    return ArchiveValue(
        std::make_shared<ArchivedInstance>(name, QStringList{name, "NSObject"}, std::move(fields)));
}

Field inlineField(const QString& key, const ArchiveValue& value) {
    return Field{key, Kind::Inline, value};
}

// The colour decoded from an archived colour instance with these fields.
QColor decodeColor(std::vector<Field> fields) {
    const QByteArray data = KeyedArchiver::archivedDataWithRootObject(instance("NSColor", fields));
    auto root = KeyedUnarchiver::unarchivedRootObject(data);
    return root ? root->toColor() : QColor();
}

void expectColor(const QColor& color, float r, float g, float b, float a) {
    ASSERT_TRUE(color.isValid());
    EXPECT_NEAR(color.redF(), r, 1e-4);
    EXPECT_NEAR(color.greenF(), g, 1e-4);
    EXPECT_NEAR(color.blueF(), b, 1e-4);
    EXPECT_NEAR(color.alphaF(), a, 1e-4);
}

}  // namespace

TEST(ColorCoding, ReadsRgbAndWhiteComponentTexts) {
    // Platform-written text ends with NUL and leaves out alpha 1.
    expectColor(decodeColor({inlineField("NSColorSpace", 2),
                             inlineField("NSRGB", QByteArray("0 0.5 1\0", 8))}),
                0, 0.5f, 1, 1);
    expectColor(decodeColor({inlineField("NSColorSpace", 1),
                             inlineField("NSRGB", QByteArray("1 0 0 0.25"))}),
                1, 0, 0, 0.25f);
    expectColor(decodeColor({inlineField("NSColorSpace", 3),
                             inlineField("NSWhite", QByteArray("0.5\0", 4))}),
                0.5f, 0.5f, 0.5f, 1);
    expectColor(
        decodeColor({inlineField("NSColorSpace", 4), inlineField("NSWhite", QByteArray("1 0.5"))}),
        1, 1, 1, 0.5f);
}

TEST(ColorCoding, PrefersComponentsWithTheirColourSpace) {
    // NSComponents wins over the older NSRGB text.
    expectColor(
        decodeColor({inlineField("NSColorSpace", 1), inlineField("NSRGB", QByteArray("1 1 1\0", 6)),
                     inlineField("NSComponents", QByteArray("0.2 0.4 0.6 1"))}),
        0.2f, 0.4f, 0.6f, 1);
    // Without a space number the custom colour-space object names the model.
    const ArchiveValue grey = instance("NSColorSpace", {inlineField("NSID", 9)});
    expectColor(decodeColor({inlineField("NSComponents", QByteArray("0.25 1")),
                             Field{"NSCustomColorSpace", Kind::Object, grey}}),
                0.25f, 0.25f, 0.25f, 1);
}

TEST(ColorCoding, ReadsCmykUnderEitherSpellingAndCatalogFallbacks) {
    expectColor(decodeColor({inlineField("NSColorSpace", 5),
                             inlineField("NSCYMK", QByteArray("0 0 0 1\0", 8))}),
                0, 0, 0, 1);
    expectColor(
        decodeColor({inlineField("NSColorSpace", 5), inlineField("NSCMYK", QByteArray("0 1 1 0"))}),
        1, 0, 0, 1);
    const ArchiveValue fallback = instance(
        "NSColor", {inlineField("NSColorSpace", 2), inlineField("NSRGB", QByteArray("0 1 0"))});
    expectColor(decodeColor({inlineField("NSColorSpace", 6), inlineField("NSCatalogName", "System"),
                             inlineField("NSColorName", "textColor"),
                             Field{"NSColor", Kind::Object, fallback}}),
                0, 1, 0, 1);
}

TEST(ColorCoding, LeavesUnknownFormsAsNoColour) {
    EXPECT_FALSE(decodeColor({inlineField("NSColorSpace", 10)}).isValid());
    EXPECT_FALSE(
        decodeColor({inlineField("NSColorSpace", 2), inlineField("NSRGB", QByteArray("x"))})
            .isValid());
}

TEST(ColorCoding, WritesDeviceRgbTextWithoutOpaqueAlpha) {
    EXPECT_EQ(ColorCoding::dataFromComponents({0, 0.5, 1}), QByteArray("0 0.5 1\0", 8));
    EXPECT_EQ(ColorCoding::componentsFromData(QByteArray("0 0.5  1\0junk", 13)),
              (QList<double>{0, 0.5, 1}));
}
