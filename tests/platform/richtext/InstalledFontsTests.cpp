#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "SystemFonts.h"
#include "platform/richtext/HTMLImporter.h"
#include "platform/richtext/InstalledFonts.h"
#include "tests/support/TestEnvironment.h"

namespace {

// An installed family, as fontconfig lists it.
QString someInstalledFamily() {
    const QStringList families = SystemFonts::families();
    EXPECT_FALSE(families.isEmpty()) << "the tests need some installed fonts";
    return families.value(0);
}

QString familyOfText(const QByteArray& html, const QString& needle) {
    WebPreferences preferences;
    preferences.setStandardFontFamily(QStringLiteral("Helvetica"));
    const std::optional<AttributedString> text =
        HTMLImporter::attributedStringFromHTML(html, QUrl(), preferences);
    if (!text) return QStringLiteral("(no text)");
    const qsizetype index = text->string().indexOf(needle);
    if (index < 0) return QStringLiteral("(no ") + needle + QLatin1Char(')');
    return text->attributesAtIndex(index).font->family();
}

}  // namespace

TEST(InstalledFonts, ListsResolveToTheFirstInstalledFamily) {
    const QString installed = someInstalledFamily();
    EXPECT_EQ(InstalledFonts::firstAvailableFamily({QStringLiteral("No Such Font Anywhere"),
                                                    QStringLiteral("NoSuchFontEither"), installed,
                                                    QStringLiteral("serif")}),
              installed);
    // Case and spaces do not matter; the answer is spelt as installed.
    EXPECT_EQ(InstalledFonts::installedFamily(installed.toUpper().remove(QLatin1Char(' '))),
              installed);
    EXPECT_EQ(InstalledFonts::installedFamily(QStringLiteral("No Such Font Anywhere")), QString());
    EXPECT_EQ(InstalledFonts::firstAvailableFamily({QStringLiteral("No Such Font Anywhere")}),
              QString());
    EXPECT_EQ(InstalledFonts::installedFamily(QString()), QString());
}

TEST(InstalledFonts, GenericFamiliesAreTheSystemsInstalledOnes) {
    const QString monospace = InstalledFonts::familyForGeneric(QStringLiteral("monospace"));
    EXPECT_TRUE(SystemFonts::isFixedPitch(monospace)) << monospace.toStdString();
    EXPECT_EQ(InstalledFonts::familyForGeneric(QStringLiteral("UI-Monospace")), monospace);
    for (const char* generic : {"serif", "sans-serif", "cursive", "fantasy", "system-ui"}) {
        const QString family = InstalledFonts::familyForGeneric(QLatin1String(generic));
        EXPECT_TRUE(SystemFonts::families().contains(family))
            << generic << ": " << family.toStdString();
    }
    EXPECT_EQ(InstalledFonts::familyForGeneric(QStringLiteral("Monaco")), QString());
    EXPECT_EQ(InstalledFonts::genericName(QStringLiteral("-apple-system")),
              QStringLiteral("system-ui"));
}

TEST(InstalledFonts, AnswersAgreeAcrossThreads) {
    // Names never asked before, so that the threads reach fontconfig together.
    const QString installed = someInstalledFamily();
    std::vector<QString> answers(32);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < answers.size(); ++i)
        threads.emplace_back([&answers, &installed, i] {
            answers[i] = InstalledFonts::installedFamily(
                i % 2 ? QStringLiteral("Thread Test Font %1").arg(i) : installed.toLower());
        });
    for (std::thread& thread : threads) thread.join();
    for (std::size_t i = 0; i < answers.size(); ++i)
        EXPECT_EQ(answers[i], i % 2 ? QString() : installed) << i;
}

TEST(InstalledFonts, CodeStaysFixedPitchWhereItsFontsAreMissing) {
    // The notes service's code block names fonts most Linux systems lack.
    const QString codeBlock = familyOfText(
        "<div style=\"--en-codeblock:true; font-family: 'Monaco', 'Menlo', 'No Such Mono',"
        " monospace\">int x;</div>",
        QStringLiteral("int x;"));
    EXPECT_TRUE(SystemFonts::isFixedPitch(codeBlock)) << codeBlock.toStdString();
    // The fixed font of the preferences (Courier) is replaced where it is missing.
    const QString code = familyOfText("<div><code>y = 2</code></div>", QStringLiteral("y = 2"));
    EXPECT_TRUE(SystemFonts::isFixedPitch(code)) << code.toStdString();

    const QString installed = someInstalledFamily();
    EXPECT_EQ(familyOfText(
                  "<font face=\"NoSuchFontA, " + installed.toUtf8() + ", sans-serif\">face</font>",
                  QStringLiteral("face")),
              installed);
}

TEST(InstalledFonts, ListsOfUnknownFamiliesKeepTheFallback) {
    // Nothing installed and nothing known: the enclosing family stays.
    EXPECT_EQ(familyOfText("<span style=\"font-family: NoSuchFontA, 'No Such B'\">x</span>",
                           QStringLiteral("x")),
              QStringLiteral("Helvetica"));
    // A well-known desktop family is still named when nothing in the list is installed.
    EXPECT_EQ(familyOfText("<span style=\"font-family: NoSuchFontA, Menlo\">m</span>",
                           QStringLiteral("m")),
              QStringLiteral("Menlo"));
}
