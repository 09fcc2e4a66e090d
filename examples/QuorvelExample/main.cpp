// An application that embeds the Quorvel framework the way a host should:
// it installs the exception handler first, checks for crash logs of earlier
// launches (offering to send them), checks for a newer version, and shows
// the framework's About panel.
//
//   quorvel-example [--crash-report-url URL] [--update-url URL]
//                   [--current-version N] [--quit-after-checks]
//
// --quit-after-checks ends the program once the update check has answered
// (printing the notification's name), instead of running until the user
// quits; the build checks use it. The About panel's version line is printed
// as "About: <version>".
#include <Quorvel/QVFAboutPanel.h>
#include <Quorvel/QVFCrashReportController.h>
#include <Quorvel/QVFExceptionHandler.h>
#include <Quorvel/QVFNotificationCenter.h>
#include <Quorvel/QVFSWUpdateChecker.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QVFExceptionHandler::sharedHandler();

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption crashURL("crash-report-url", "Where crash reports are posted.", "URL");
    const QCommandLineOption updateURL("update-url", "Where update information is read.", "URL");
    const QCommandLineOption version("current-version", "This build's version number.", "N", "100");
    const QCommandLineOption quitAfterChecks("quit-after-checks",
                                             "Quit once the update check has answered.");
    parser.addOptions({crashURL, updateURL, version, quitAfterChecks});
    parser.process(application);

    if (parser.isSet(crashURL)) QVFCrashReportController::setCrashReportURL(parser.value(crashURL));
    QVFCrashReportController::checkForCrash();

    // Reports each step of the update check; with --quit-after-checks the
    // first answer ends the program.
    QVFNotificationCenter::defaultCenter().addObserver({}, nullptr, [&](const QVFNotification& n) {
        QTextStream(stdout) << n.name << Qt::endl;
        if (parser.isSet(quitAfterChecks) && n.name != QVFUpdateCheckDidStartNotification)
            application.quit();
    });
    std::unique_ptr<QVFSWUpdateChecker> checker;
    if (parser.isSet(updateURL)) {
        checker = std::make_unique<QVFSWUpdateChecker>(
            parser.value(version).toLongLong(), QUrl::fromUserInput(parser.value(updateURL)));
    }

    // The About panel shows the Info.plist's name and version and the
    // credits compiled in as ":/Credits.rtf".
    QVFAboutPanel& about = QVFAboutPanel::sharedAboutPanel();
    about.showWindow();
    QTextStream(stdout) << "About: " << about.versionString() << Qt::endl;
    if (parser.isSet(quitAfterChecks) && !checker) return 0;
    return application.exec();
}
