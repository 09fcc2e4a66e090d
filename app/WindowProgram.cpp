#include "app/WindowProgram.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTimer>

#include "app/AppDelegate.h"
#include "platform/foundation/Bundle.h"

bool hasDisplayForWindow() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

namespace {

// Qt keeps per-session files in XDG_RUNTIME_DIR. A session without one (root
// under xvfb-run, a bare X server) makes Qt create a private folder in the
// temporary folder and warn about it on standard error; make that same
// folder here instead, so the user is not told of something there is nothing
// to do about.
void providePrivateRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const QString folder =
        QDir::tempPath() + QStringLiteral("/runtime-") + QString::number(::getuid());
    if (!QDir().mkpath(folder)) return;  // Qt will say why
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
}

}  // namespace

int runWindowProgram(int& argc, char** argv) {
    providePrivateRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setApplicationName(Bundle::main().stringForKey(QStringLiteral("CFBundleName")));
    QApplication::setApplicationVersion(Bundle::main().shortVersionString());
    // The desktop entry "ferrymark.desktop" names the program and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("ferrymark"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/ferrymark.svg")));
    AppDelegate delegate;
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
