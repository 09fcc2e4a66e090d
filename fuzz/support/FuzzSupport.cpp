#include "fuzz/support/FuzzSupport.h"

#include <QApplication>
#include <QTemporaryDir>

namespace {

// Removed with its contents when the process exits.
QTemporaryDir& scratch() {
    static QTemporaryDir folder;
    return folder;
}

}  // namespace

namespace FuzzSupport {

void startApplication(int* /*argc*/, char*** argv) {
    if (QCoreApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR"})
        qputenv(name, scratch().path().toUtf8());
    static int count = 1;
    static char* arguments[] = {(*argv)[0], nullptr};
    new QApplication(count, arguments);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

QString scratchFolder() { return scratch().path(); }

}  // namespace FuzzSupport
