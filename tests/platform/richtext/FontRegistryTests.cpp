#include <gtest/gtest.h>

#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/InstalledFonts.h"

TEST(FontRegistry, PostScriptNamesGiveFamilyAndTraits) {
    const std::optional<Font> font =
        FontRegistry::fontWithName(QStringLiteral("TimesNewRomanPS-BoldItalicMT"), 0);
    ASSERT_TRUE(font);
    EXPECT_EQ(font->family(), QStringLiteral("Times New Roman"));
    EXPECT_TRUE(font->isBold());
    EXPECT_TRUE(font->isItalic());
    EXPECT_EQ(font->pointSize(), 12.0);  // size 0 means the default size

    EXPECT_EQ(FontRegistry::postScriptNameForFamily(QStringLiteral("Helvetica"), false, true),
              QStringLiteral("Helvetica-Oblique"));
    EXPECT_EQ(FontRegistry::familyForPostScriptName(QStringLiteral("Menlo-Regular")),
              QStringLiteral("Menlo"));
}

TEST(FontRegistry, InstalledFamiliesAreFoundAndUnknownNamesAreNot) {
    ASSERT_TRUE(FontRegistry::hasFontDatabase());
    const std::optional<Font> installed =
        FontRegistry::fontWithName(QStringLiteral("DejaVu Sans"), 10);
    if (installed) {
        EXPECT_EQ(installed->family(), QStringLiteral("DejaVu Sans"));
    }
    EXPECT_FALSE(FontRegistry::fontWithName(QStringLiteral("NoSuchFontAnywhere-Bold"), 12));
    EXPECT_FALSE(FontRegistry::fontWithName(QString(), 12));
}

TEST(FontRegistry, UserFontIsHelveticaTwelveByDefault) {
    EXPECT_EQ(FontRegistry::userFontOfSize(0), Font("Helvetica", "Helvetica", 12));
    EXPECT_EQ(FontRegistry::userFontOfSize(14).pointSize(), 14.0);
    EXPECT_GT(FontRegistry::systemFontOfSize(0).pointSize(), 0.0);
}

TEST(FontRegistry, DocumentFontsFollowTheTraitsTheTextAsksFor) {
    // A face name that disagrees with \b is replaced by the family's bold face.
    EXPECT_EQ(FontRegistry::fontForPostScriptName(QStringLiteral("Helvetica"), 12, true, false)
                  .postScriptName(),
              QStringLiteral("Helvetica-Bold"));
    // A face that agrees is kept as named.
    EXPECT_EQ(
        FontRegistry::fontForPostScriptName(QStringLiteral("Helvetica-Light"), 12, false, false)
            .postScriptName(),
        QStringLiteral("Helvetica-Light"));
}

TEST(FontRegistry, FixedPitchFamiliesAreMonospaceByTheirGlyphs) {
    using FontRegistry::GenericFamily;
    const QString monospace = InstalledFonts::familyForGeneric(QStringLiteral("monospace"));
    EXPECT_TRUE(InstalledFonts::isFixedPitch(monospace)) << monospace.toStdString();
    const QString sans = InstalledFonts::familyForGeneric(QStringLiteral("sans-serif"));
    EXPECT_FALSE(InstalledFonts::isFixedPitch(sans)) << sans.toStdString();
    EXPECT_FALSE(InstalledFonts::isFixedPitch(QStringLiteral("No Such Font Anywhere")));
    EXPECT_FALSE(InstalledFonts::isFixedPitch(QString()));

    // The second font set of the tests has a fixed-pitch family that fontconfig
    // marks proportional and whose name says nothing of its pitch.
    const QString typewriter = QStringLiteral("Ferry Typewriter");
    if (InstalledFonts::installedFamily(typewriter).isEmpty())
        GTEST_SKIP() << "runs over the tests' second font set (SecondFontSet.conf.in)";
    EXPECT_TRUE(InstalledFonts::isFixedPitch(typewriter));
    EXPECT_EQ(FontRegistry::genericFamily(typewriter), GenericFamily::Monospace);
}
