#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QMainWindow>

#include "app/EvernoteExportOptionsController.h"
#include "app/EvernoteExportPanel.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"

// The options sheet writes the settings that the import reads, and the next
// import goes into the library folder chosen there.
TEST(EvernoteExportOptionsControllerTest, WritesTheSettingsTheImportReads) {
    TestEnvironment env;
    QMainWindow window;
    window.show();
    EvernoteExportOptionsController options;
    const QString library = env.path(QStringLiteral("Chosen library"));
    options.setFolderChooser([&](QWidget*) { return library; });
    int returnCode = -1;
    options.showSheetOnParentWindow(&window, [&](int code) { returnCode = code; });
    EXPECT_TRUE(options.window()->isVisible());
    EXPECT_EQ(options.window()->windowModality(), Qt::WindowModal);
    for (const char* key :
         {"UseHTMLExport", "ExportDebug", "ReloadFromWeb", "RecoverDamagedNotes"}) {
        auto* box = options.window()->findChild<QCheckBox*>(QString::fromLatin1(key));
        ASSERT_NE(box, nullptr) << key;
        EXPECT_FALSE(box->isChecked());
        box->click();
        EXPECT_TRUE(UserDefaults::standard().boolForKey(QString::fromLatin1(key))) << key;
    }
    options.window()->findChild<QCheckBox*>(QStringLiteral("UseHTMLExport"))->click();
    EXPECT_FALSE(UserDefaults::standard().boolForKey(QStringLiteral("UseHTMLExport")));
    options.chooseLibraryFolder();
    options.closeWindow();
    EXPECT_EQ(returnCode, 1);
    EXPECT_FALSE(options.window()->isVisible());

    EvernoteExportPanel panel;
    bool ended = false;
    QObject::connect(&panel, &EvernoteExportPanel::sheetEnded, [&] { ended = true; });
    const QString file =
        env.writeFile(QStringLiteral("Inbox.enex"),
                      buildENEX({TestNote{QStringLiteral("One"), QStringLiteral("<div>1</div>")}}));
    panel.showSheetOnWindow(&window, QUrl::fromLocalFile(file));
    ASSERT_TRUE(runEventLoopUntil([&] { return ended; }, 60000));
    EXPECT_TRUE(QDir(library + QStringLiteral("/Inbox")).exists());

    // Back to Pelmora's own library.
    options.showSheetOnParentWindow(&window);
    options.useDefaultLibrary();
    ended = false;
    panel.showSheetOnWindow(&window, QUrl::fromLocalFile(file));
    ASSERT_TRUE(runEventLoopUntil([&] { return ended; }, 60000));
    EXPECT_TRUE(QDir(env.dataHome() + QStringLiteral("/Pelmora 3/Library/Inbox")).exists());
}
