// The application's About window: its icon, name and version, the scrolling
// credits (QVFCreditsView) and the copyright line, on a white background.
// The window is centred when it is made; Escape closes it. The credits scroll
// while the window is active and stop when it closes.
//
// The information shown comes from the application's Info.plist with its
// localised entries ("<lang>.lproj/InfoPlist.strings" beside it) laid over
// them. The version line follows versionStringForInfoDictionary.
//
// Main thread only. The shared panel is made on first use (a QApplication
// must exist) and lives until the process ends.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "Quorvel/QVFExport.h"

class Bundle;
class PlistDictionary;
class QLabel;
class QVFCreditsView;

class QUORVEL_EXPORT QVFAboutPanel : public QWidget {
    Q_OBJECT

  public:
    // The one About window of the application (the main bundle, resources
    // under ":").
    static QVFAboutPanel& sharedAboutPanel();

    // An About window for the application that `bundle` describes, whose
    // resources (credits, string tables) are in `resourceDirectory`.
    QVFAboutPanel(const Bundle& bundle, const QString& resourceDirectory,
                  QWidget* parent = nullptr);
    ~QVFAboutPanel() override;

    // Shows the window, brings it to the front and makes it active.
    void showWindow();

    // The application's information with the localised entries over it.
    PlistDictionary infoDictionary() const;
    QString versionString() const { return versionString_; }
    void setVersionString(const QString& versionString);
    // True when the application's information has a "QVBuildVersion" entry.
    bool isMacAppStoreVersion() const { return isMacAppStoreVersion_; }
    QVFCreditsView* creditsView() const { return creditsView_; }

    // The version line: with "QVBuildVersion" present, the localised
    // "%@ (%@) Mac App Store Version" with "CFBundleShortVersionString" and
    // that entry; otherwise "%@ (%@)" with "CFBundleShortVersionString" and
    // "CFBundleVersion".
    static QString versionStringForInfoDictionary(const PlistDictionary& info);

    // `info` with the entries of the string table "InfoPlist.strings" of the
    // user's language in `resourceDirectory` laid over it (a copy; `info` is
    // not changed). Without a table the copy equals `info`.
    static PlistDictionary localizedInfoDictionary(const PlistDictionary& info,
                                                   const QString& resourceDirectory);

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void windowDidLoad();

    std::unique_ptr<PlistDictionary> infoDictionary_;
    QString versionString_;
    bool isMacAppStoreVersion_ = false;
    QVFCreditsView* creditsView_ = nullptr;
    QLabel* versionLabel_ = nullptr;
};
