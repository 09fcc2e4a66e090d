#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QTest>
#include <cmath>

#include "Quorvel/QVFAboutPanel.h"
#include "Quorvel/QVFCreditsView.h"
#include "platform/foundation/Bundle.h"
#include "platform/plist/PlistValue.h"
#include "platform/richtext/AttributedString.h"
#include "tests/support/TestEnvironment.h"

namespace {

QByteArray infoPlist(const QByteArray& extraEntries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<plist version=\"1.0\"><dict>"
           "<key>CFBundleName</key><string>Notes</string>"
           "<key>CFBundleShortVersionString</key><string>2.4.1</string>"
           "<key>CFBundleVersion</key><string>318</string>" +
           extraEntries + "</dict></plist>\n";
}

// An RTF text of `lines` centred paragraphs.
QByteArray creditsRTF(int lines) {
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl\\f0\\fswiss Helvetica;}\\f0\\fs24\\qc ";
    for (int i = 0; i < lines; ++i) rtf += "Contributor " + QByteArray::number(i) + "\\par\n";
    return rtf + "}";
}

// Restores the default locale when the test ends.
class LocaleGuard {
  public:
    explicit LocaleGuard(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleGuard() { QLocale::setDefault(saved_); }

  private:
    QLocale saved_ = QLocale();
};

}  // namespace

TEST(QVFAboutPanelTest, VersionWithoutBuildVersionShowsShortVersionAndBuildNumber) {
    TestEnvironment env;
    const Bundle bundle(env.writeFile("Info.plist", infoPlist("")));
    QVFAboutPanel panel(bundle, env.root());
    EXPECT_EQ(panel.versionString(), "2.4.1 (318)");
    EXPECT_FALSE(panel.isMacAppStoreVersion());
}

TEST(QVFAboutPanelTest, BuildVersionEntryMarksTheStoreEditionAndReplacesTheBuildNumber) {
    TestEnvironment env;
    const Bundle bundle(
        env.writeFile("Info.plist", infoPlist("<key>QVBuildVersion</key><string>77</string>")));
    QVFAboutPanel panel(bundle, env.root());
    EXPECT_EQ(panel.versionString(), "2.4.1 (77) Mac App Store Version");
    EXPECT_TRUE(panel.isMacAppStoreVersion());
}

TEST(QVFAboutPanelTest, LocalisedEntriesOfTheUsersLanguageOverrideTheInformation) {
    TestEnvironment env;
    const LocaleGuard german(QLocale(QLocale::German, QLocale::Germany));
    env.writeFile("de.lproj/InfoPlist.strings",
                  "/* German */\n\"CFBundleName\" = \"Notizen\";\n"
                  "\"NSHumanReadableCopyright\" = \"\\U00a9 Beispiel\";\n");
    env.writeFile("fr.lproj/InfoPlist.strings", "\"CFBundleName\" = \"Notes FR\";\n");
    const Bundle bundle(env.writeFile("Info.plist", infoPlist("")));
    QVFAboutPanel panel(bundle, env.root());
    EXPECT_EQ(panel.infoDictionary().value("CFBundleName").toString(), "Notizen");
    EXPECT_EQ(panel.infoDictionary().value("NSHumanReadableCopyright").toString(),
              QString::fromUtf8("\u00a9 Beispiel"));
    EXPECT_EQ(panel.infoDictionary().value("CFBundleVersion").toString(), "318");
    EXPECT_EQ(bundle.infoDictionary().value("CFBundleName").toString(), "Notes");
}

TEST(QVFAboutPanelTest, OpensWithScrollingCreditsAndStopsThemWhenClosedWithEscape) {
    TestEnvironment env;
    env.writeFile("Credits.rtf", creditsRTF(3));
    const Bundle bundle(env.writeFile("Info.plist", infoPlist("")));
    QVFAboutPanel panel(bundle, env.root());
    EXPECT_FALSE(panel.creditsView()->isAnimating());

    panel.showWindow();
    ASSERT_TRUE(runEventLoopUntil([&] { return panel.creditsView()->isAnimating(); }, 5000));
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(panel.creditsView()->hasCreditsText());

    QTest::keyClick(&panel, Qt::Key_Escape);
    ASSERT_TRUE(runEventLoopUntil([&] { return !panel.isVisible(); }, 5000));
    EXPECT_FALSE(panel.creditsView()->isAnimating());

    // Shown again, the credits start over.
    panel.showWindow();
    EXPECT_TRUE(runEventLoopUntil([&] { return panel.creditsView()->isAnimating(); }, 5000));
    panel.close();
    EXPECT_FALSE(panel.creditsView()->isAnimating());
}

TEST(QVFCreditsViewTest, TallTextScrollsFullyThroughBeforeStartingAgainBelowTheView) {
    TestEnvironment env;
    env.writeFile("Credits.rtf", creditsRTF(40));
    QVFCreditsView view(nullptr, env.root());
    view.resize(200, 60);
    view.startAnimation();
    ASSERT_TRUE(view.hasCreditsText());
    const qreal height = view.textHeight();
    ASSERT_GT(height, 60);
    EXPECT_EQ(view.textLocation(), QPointF(0, 60));

    // The text restarts on the step at which its bottom reaches the top edge.
    const int stepsToRestart = static_cast<int>(std::ceil(60 + height));
    for (int step = 1; step < stepsToRestart; ++step) {
        view.incrementTextLocation();
        ASSERT_EQ(view.textLocation().y(), 60 - step) << "step " << step;
        ASSERT_GT(view.textLocation().y() + height, 0);
    }
    view.incrementTextLocation();
    EXPECT_EQ(view.textLocation(), QPointF(0, 60));
    view.stopAnimation();
    EXPECT_FALSE(view.isAnimating());
}

TEST(QVFCreditsViewTest, StoreCreditsServeWhenTheOrdinaryOnesAreMissing) {
    TestEnvironment env;
    env.writeFile("MAS-Credits.rtf", creditsRTF(2));
    EXPECT_TRUE(QVFCreditsView::creditsTextInDirectory(env.root()).has_value());
    env.writeFile("Credits.rtf", "{\\rtf1\\ansi Only these\\par}");
    const auto credits = QVFCreditsView::creditsTextInDirectory(env.root());
    ASSERT_TRUE(credits.has_value());
    EXPECT_TRUE(credits->string().startsWith("Only these"));
}

TEST(QVFCreditsViewTest, MissingOrUnreadableCreditsLeaveTheViewBlankButWorking) {
    TestEnvironment env;
    QVFCreditsView empty(nullptr, env.root());
    empty.resize(100, 40);
    empty.startAnimation();
    EXPECT_FALSE(empty.hasCreditsText());
    EXPECT_EQ(empty.textHeight(), 0);
    empty.incrementTextLocation();
    EXPECT_EQ(empty.textLocation().y(), 39);

    env.writeFile("Credits.rtf", "not rich text at all");
    EXPECT_FALSE(QVFCreditsView::creditsTextInDirectory(env.root()).has_value());
}
