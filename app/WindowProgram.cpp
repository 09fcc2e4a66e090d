#include "app/WindowProgram.h"

#include <QApplication>
#include <QIcon>
#include <QTextStream>
#include <QTimer>

#include "app/AppDelegate.h"
#include "app/PrivateRuntimeFolder.h"
#include "platform/foundation/Bundle.h"

bool hasDisplayForWindow() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

int runWindowProgram(int& argc, char** argv, const QStringList& filesToOpen) {
    QTextStream err(stderr);
    const PrivateRuntimeFolder runtimeFolder(err);
    QApplication app(argc, argv);
    QApplication::setApplicationName(Bundle::main().stringForKey(QStringLiteral("CFBundleName")));
    QApplication::setApplicationVersion(Bundle::main().shortVersionString());
    // The desktop entry "com.quorvel.Ferrymark.desktop" names the program and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quorvel.Ferrymark"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ferrymark.svg")));
    AppDelegate delegate;
    delegate.setFilesToOpen(filesToOpen);
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
