#include "app/ImportCommand.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <csignal>

#include "app/ImportProgressPrinter.h"
#include "import/EvernoteXMLFileExportOperation.h"
#include "platform/apps/PelmoraStandIn.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"

const char* const kImportUsage =
    "ferrymark import FILE.enex [--library DIR] [--debug] [--reload-from-web]\n"
    "\n"
    "Imports every note of an ENEX file (as Evernote exports it) into the Pelmora\n"
    "library. Each note becomes a note package, a web archive, or the attachment\n"
    "itself when the note holds nothing else; the notes go into one folder named\n"
    "after the file.\n"
    "\n"
    "  --library DIR       the Pelmora library to import into (default: the installed\n"
    "                      Pelmora's, else $XDG_DATA_HOME/Pelmora 3/Library)\n"
    "  --debug             write one log line per parser event and per item\n"
    "                      (the setting \"ExportDebug\")\n"
    "  --reload-from-web   refresh web clips from their live pages (the setting\n"
    "                      \"ReloadFromWeb\")\n"
    "\n"
    "Progress shows on the terminal; the import log, with the reason for every\n"
    "note that was skipped or refused, is \"Evernote Export.log\" in Pelmora's\n"
    "\"Logs\" folder. The import does not start when the staging or library folder\n"
    "has less free space than half the file's size, and it stops at the first note\n"
    "that fails in a way every later note would (a full disk, a read-only folder).\n"
    "Ctrl-C cancels.\n"
    "\n"
    "Exit status:\n"
    "  0    every note was imported\n"
    "  3    the import finished, but some notes were skipped (they could not be\n"
    "       converted) or refused by the library; the log says why\n"
    "  1    the import failed\n"
    "  2    usage error\n"
    "  130  cancelled\n";

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int) { interrupted = true; }

struct Options {
    QString file;
    QString library;
    bool debug = false;
    bool reloadFromWeb = false;
};

std::optional<Options> parseOptions(const QStringList& args, QTextStream& err) {
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--library") && i + 1 < args.size()) options.library = args[++i];
        else if (a == QLatin1String("--debug")) options.debug = true;
        else if (a == QLatin1String("--reload-from-web")) options.reloadFromWeb = true;
        else if (a.startsWith(QLatin1String("--")) || !options.file.isEmpty()) {
            err << "ferrymark import: unexpected argument " << a << "\n\nusage: " << kImportUsage;
            return std::nullopt;
        } else options.file = a;
    }
    if (options.file.isEmpty()) {
        err << "usage: " << kImportUsage;
        return std::nullopt;
    }
    return options;
}

QString fileProblem(const QFileInfo& file) {
    if (!file.exists())
        return stringWithFormat(localizedString("The file “%@” couldn’t be opened because there is no such file."),
                                {file.filePath()});
    if (file.isDir()) return stringWithFormat(localizedString("“%@” is a folder, not an ENEX file."), {file.filePath()});
    if (!file.isReadable())
        return stringWithFormat(localizedString("The file “%@” couldn’t be opened because you don’t have permission to view it."),
                                {file.filePath()});
    return QString();
}

// Prints what the library took, what was skipped and what was refused;
// returns the exit status: 0 when every note is in the library, else 3.
int printSummary(EvernoteXMLFileExportOperation& operation, const ImportProgressPrinter& printer,
                 QTextStream& out) {
    const PelmoraImportResult result = operation.importResult();
    const unsigned long imported = static_cast<unsigned long>(result.taken);
    const unsigned long handedOver = static_cast<unsigned long>(operation.itemCount());
    const unsigned long skipped = printer.done() > handedOver ? printer.done() - handedOver : 0;
    const unsigned long refused = static_cast<unsigned long>(result.refused.size());
    const QString where = operation.pelmoraApp() ? operation.pelmoraApp()->libraryPath() : QString();
    const QString log = operation.logStream() ? operation.logStream()->path() : QString();
    out << stringWithFormat(localizedString("Imported %lu of %lu notes into %@."),
                            {imported, printer.total(), where.isEmpty() ? QStringLiteral("Pelmora") : where})
        << "\n";
    if (skipped > 0)
        out << stringWithFormat(localizedString("%lu notes were skipped; the reasons are in the import log %@."),
                                {skipped, log})
            << "\n";
    if (refused > 0)
        out << stringWithFormat(localizedString("%lu notes were refused by the library and are still in %@; the reasons are in the import log %@."),
                                {refused, operation.filesPath(), log})
            << "\n";
    out.flush();
    return imported >= printer.total() && skipped == 0 && refused == 0 ? 0 : 3;
}

}  // namespace

int runImportCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    const auto options = parseOptions(args, err);
    if (!options) return 2;
    const QFileInfo file(options->file);
    if (const QString problem = fileProblem(file); !problem.isEmpty()) {
        err << localizedString("An error occurred while exporting.") << "\n" << problem << "\n";
        return 1;
    }
    if (!options->library.isEmpty()) PelmoraStandIn::setLibraryPathOverride(QFileInfo(options->library).absoluteFilePath());
    if (options->reloadFromWeb) UserDefaults::standard().setVolatileValue(true, QStringLiteral("ReloadFromWeb"));

    // The run sends standard error into its import log; the user's messages
    // keep going to the terminal through a copy of the original descriptor.
    QFile terminal;
    terminal.open(::dup(STDERR_FILENO), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    QTextStream userErr(&terminal);
    ImportProgressPrinter printer(out, userErr, ::isatty(STDOUT_FILENO) != 0,
                                  [] { QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit); });
    auto operation = std::make_shared<EvernoteXMLFileExportOperation>();
    operation->setExportFileURL(QUrl::fromLocalFile(file.absoluteFilePath()));
    operation->setDelegate(&printer);
    if (options->debug) operation->setDebugMode(true);

    OperationQueue queue(QStringLiteral("import"));
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    QTimer interruptWatch;
    QObject::connect(&interruptWatch, &QTimer::timeout, [&] {
        if (!interrupted.exchange(false)) return;
        operation->cancel();
        queue.cancelAllOperations();
    });
    interruptWatch.start(100);
    queue.addOperation(operation);
    QCoreApplication::exec();
    interruptWatch.stop();
    queue.waitUntilAllOperationsAreFinished();
    // A cancellation that came before any notebook started leaves nothing to end the run.
    if (printer.outcome() == ImportProgressPrinter::Outcome::Running) return 130;

    switch (printer.outcome()) {
        case ImportProgressPrinter::Outcome::Ended: return printSummary(*operation, printer, out);
        case ImportProgressPrinter::Outcome::Cancelled: return 130;
        default: return 1;
    }
}
