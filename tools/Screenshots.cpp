// Takes the screenshots that the README shows, with the program's own
// widgets on Qt's offscreen platform: the main window listing a few
// notebooks, and the progress sheet in the middle of a real import. All
// files live in a temporary folder; nothing outside it is touched except the
// two PNG files written into the folder given as the first argument.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/EvernoteExportPanel.h"
#include "app/MainWindow.h"
#include "platform/apps/EvernoteStandIn.h"

namespace {

// An ENEX file of `count` short notes.
QByteArray notebookENEX(int count) {
    QByteArray enex =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE en-export SYSTEM \"http://xml.evernote.com/pub/evernote-export3.dtd\">\n"
        "<en-export export-date=\"20240301T090000Z\" application=\"Evernote\" version=\"10.0\">\n";
    for (int i = 0; i < count; ++i)
        enex += QStringLiteral(
                    "<note><title>Note %1</title><content><![CDATA[<?xml version=\"1.0\" "
                    "encoding=\"UTF-8\"?>"
                    "<!DOCTYPE en-note SYSTEM \"http://xml.evernote.com/pub/enml2.dtd\"><en-note>"
                    "<div>Paragraph %1 of a note, with <b>some</b> "
                    "text.</div><ul><li>one</li><li>two</li></ul>"
                    "</en-note>]]></content><created>20240301T090000Z</created>"
                    "<updated>20240302T090000Z</updated><tag>sample</tag></note>\n")
                    .arg(i)
                    .toUtf8();
    return enex + "</en-export>\n";
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

bool waitUntil(const std::function<bool()>& done, int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool save(QWidget* widget, const QString& path) {
    const bool saved = widget->grab().save(path, "PNG");
    std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "cannot write",
                 qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir scratch;
    for (const char* variable :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "TMPDIR", "FERRYMARK_APPLICATIONS"}) {
        const QString folder = scratch.filePath(QString::fromLatin1(variable));
        QDir().mkpath(folder);
        qputenv(variable, folder.toUtf8());
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferrymark"));
    const QString output =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".")).absolutePath();
    QDir().mkpath(output);

    const QString notebooks = scratch.filePath(QStringLiteral("Evernote exports"));
    QDir().mkpath(notebooks);
    const QList<QPair<QString, int>> contents = {
        {QStringLiteral("Recipes"), 4000}, {QStringLiteral("Travel plans"), 38},
        {QStringLiteral("work"), 57},      {QStringLiteral("Reading list"), 13},
        {QStringLiteral("Garden"), 21},    {QStringLiteral("Journal 2023"), 112}};
    for (const auto& [name, count] : contents)
        if (!writeFile(notebooks + u'/' + name + QStringLiteral(".enex"), notebookENEX(count)))
            return 1;
    if (!EvernoteStandIn::recordNotebookFolder(notebooks)) return 1;

    AppDelegate delegate;
    delegate.setQuitHandler([] {});
    delegate.applicationDidFinishLaunching();
    if (!waitUntil([&] { return !delegate.showProgressIndicator(); }, 60000)) return 1;
    for (qsizetype i = 0; i < delegate.countOfNotebooks(); ++i) {
        NotebookRecord record = delegate.objectInNotebooksAtIndex(i);
        record.import =
            record.name != QLatin1String("work") && record.name != QLatin1String("Garden");
        delegate.replaceObjectInNotebooksAtIndex(i, record);
    }
    if (!save(delegate.window(), output + QStringLiteral("/window.png"))) return 1;

    // The sheet, once the import has run long enough to estimate the time left.
    for (qsizetype i = 0; i < delegate.countOfNotebooks(); ++i) {
        NotebookRecord record = delegate.objectInNotebooksAtIndex(i);
        record.import = record.name == QLatin1String("Recipes");
        delegate.replaceObjectInNotebooksAtIndex(i, record);
    }
    EvernoteExportPanel* panel = delegate.exportPanel();
    bool taken = false, ended = false;
    QObject::connect(panel, &EvernoteExportPanel::sheetEnded, [&] { ended = true; });
    QObject::connect(panel, &EvernoteExportPanel::informationMessageChanged,
                     [&](const QString& text) {
                         if (taken || !text.contains(QStringLiteral("remaining"))) return;
                         taken = save(panel->window(), output + QStringLiteral("/progress.png"));
                         panel->cancel();
                     });
    delegate.startImport();
    waitUntil([&] { return ended; }, 300000);
    if (!taken) std::fprintf(stderr, "the import ended before the time left was known\n");
    return taken ? 0 : 1;
}
