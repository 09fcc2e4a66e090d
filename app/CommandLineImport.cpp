#include "app/CommandLineImport.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <atomic>
#include <csignal>

#include "app/CommandLineSyntax.h"
#include "app/ImportProgressPrinter.h"
#include "app/ImportSummary.h"
#include "app/LibraryFolderSetting.h"
#include "app/TerminalPassphrasePrompt.h"
#include "import/EvernoteExportOperation.h"
#include "import/NoteReport.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"

namespace {

std::atomic<bool> interrupted{false};

void onInterrupt(int) { interrupted = true; }

// Prints what the library took, what was skipped and what was refused, with
// the first reasons; returns the exit status: 0 when every note is in the
// library, else 3.
int printSummary(const EvernoteExportOperation& operation, const ImportProgressPrinter& printer,
                 QTextStream& out) {
    const ImportSummary summary(operation, printer.total());
    out << summary.importedText() << "\n";
    for (const QString& line : summary.duplicateTexts()) out << line << "\n";
    for (const QString& line : summary.passageTexts()) out << line << "\n";
    for (const QString& line : summary.linkTexts()) out << line << "\n";
    for (const QString& line : summary.problemTexts()) out << line << "\n";
    for (const QString& reason : summary.reasonTexts()) out << "  " << reason << "\n";
    out.flush();
    return summary.exitStatus();
}

// Writes the run's report to `path`; the exit status: `status`, or 1 when the
// report could not be written.
int writeReport(const NoteReport& report, const QString& path, int status, QTextStream& out,
                QTextStream& err) {
    Error error;
    if (!report.writeToFile(path, &error)) {
        err << "ferrymark: " << error.localizedDescription() << "\n";
        err.flush();
        return 1;
    }
    out << stringWithFormat(localizedString("The report of every note (%ld lines) is in %@."),
                            {static_cast<long long>(report.size()), path})
        << "\n";
    out.flush();
    return status;
}

}  // namespace

void addEvernoteFolderOption(CommandLineSyntax& syntax) {
    syntax.addValueOption({QStringLiteral("evernote-folder")}, QStringLiteral("DIR"),
                          QStringLiteral("the folder of ENEX files, one per notebook, that stands "
                                         "in for Evernote (default: the installed Evernote's "
                                         "\"EvernoteNotebookFolder\")"));
}

void addCommandLineImportOptions(CommandLineSyntax& syntax, bool acceptsEvernoteFolder) {
    if (acceptsEvernoteFolder) addEvernoteFolderOption(syntax);
    syntax.addValueOption(
        {QStringLiteral("library")}, QStringLiteral("DIR"),
        QStringLiteral("the Pelmora library to import into (default: the folder chosen in the "
                       "window's options, else the installed Pelmora's, else $XDG_DATA_HOME/"
                       "Pelmora 3/Library)"));
    syntax.addFlag({QStringLiteral("debug")},
                   QStringLiteral("write one log line per parser event and per item (the "
                                  "setting \"ExportDebug\")"));
    syntax.addFlag({QStringLiteral("reload-from-web")},
                   QStringLiteral("refresh web clips from their live pages (the setting "
                                  "\"ReloadFromWeb\")"));
    syntax.addFlag(
        {QStringLiteral("recover")},
        QStringLiteral("read on past damage instead of stopping at the first XML error: notes "
                       "with known damage are repaired, the others are logged with their place "
                       "and kept as raw XML in \"Damaged Notes\" beside the log, and a file "
                       "that is not ENEX or cannot be read is reported while the others are "
                       "imported (the setting \"RecoverDamagedNotes\")"));
    syntax.addFlag({QStringLiteral("allow-duplicates")},
                   QStringLiteral("import every note, also those the library already holds "
                                  "unchanged from an earlier import (the setting "
                                  "\"AllowDuplicates\"); without it they are left out and "
                                  "counted as duplicates"));
    syntax.addValueOption({QStringLiteral("passphrase-file")}, QStringLiteral("FILE"),
                          QStringLiteral("decrypt encrypted passages with the passphrases in "
                                         "FILE, one a line, tried in order (at most 64 KB)"));
    syntax.addFlag({QStringLiteral("ask-passphrase")},
                   QStringLiteral("ask for a passphrase on the terminal, without echo (after "
                                  "those of --passphrase-file)"));
    syntax.addValueOption(
        {QStringLiteral("report")}, QStringLiteral("FILE"),
        QStringLiteral("write a report of every note to FILE as JSON Lines, one object a line: "
                       "what it became and where it went in the library, or why it was left "
                       "out (not written for a cancelled or failed run)"));
}

std::optional<CommandLineImportOptions> parseCommandLineImportOptions(const QStringList& args,
                                                                      CommandLineSyntax& syntax,
                                                                      QTextStream& err) {
    if (!syntax.parse(args, err)) return std::nullopt;
    CommandLineImportOptions options;
    options.operands = syntax.operands();
    options.library = syntax.value(QStringLiteral("library"));
    if (syntax.hasOption(QStringLiteral("evernote-folder")))
        options.evernoteFolder = syntax.value(QStringLiteral("evernote-folder"));
    options.debug = syntax.isSet(QStringLiteral("debug"));
    options.reloadFromWeb = syntax.isSet(QStringLiteral("reload-from-web"));
    options.recover = syntax.isSet(QStringLiteral("recover"));
    options.allowDuplicates = syntax.isSet(QStringLiteral("allow-duplicates"));
    options.passphraseFile = syntax.value(QStringLiteral("passphrase-file"));
    options.askPassphrase = syntax.isSet(QStringLiteral("ask-passphrase"));
    options.report = syntax.value(QStringLiteral("report"));
    options.help = syntax.wantsHelp();
    return options;
}

void applyCommandLineImportOptions(const CommandLineImportOptions& options) {
    LibraryFolderSetting::applyToNextImport(options.library);
    if (options.reloadFromWeb)
        UserDefaults::standard().setVolatileValue(true, QStringLiteral("ReloadFromWeb"));
    if (options.recover)
        UserDefaults::standard().setVolatileValue(true, QStringLiteral("RecoverDamagedNotes"));
    if (options.allowDuplicates)
        UserDefaults::standard().setVolatileValue(true, QStringLiteral("AllowDuplicates"));
}

std::optional<std::shared_ptr<const PassphraseList>> commandLinePassphrases(
    const CommandLineImportOptions& options, QTextStream& err) {
    if (options.passphraseFile.isEmpty() && !options.askPassphrase)
        return std::shared_ptr<const PassphraseList>();
    auto passphrases = std::make_shared<PassphraseList>();
    Error error;
    if (!options.passphraseFile.isEmpty() &&
        !passphrases->addPassphrasesFromFileAtPath(options.passphraseFile, &error)) {
        err << "ferrymark: " << error.localizedDescription() << "\n";
        return std::nullopt;
    }
    if (options.askPassphrase &&
        !TerminalPassphrasePrompt::askOnTerminalInto(
            *passphrases, localizedString("Passphrase for encrypted passages: "), &error)) {
        err << "ferrymark: " << error.localizedDescription() << "\n";
        return std::nullopt;
    }
    return std::shared_ptr<const PassphraseList>(std::move(passphrases));
}

int runCommandLineImport(const std::shared_ptr<EvernoteExportOperation>& operation,
                         const CommandLineImportOptions& options, QTextStream& out) {
    // The run sends standard error into its import log; the user's messages
    // keep going to the terminal through a copy of the original descriptor.
    QFile terminal;
    terminal.open(::dup(STDERR_FILENO), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    QTextStream userErr(&terminal);
    ImportProgressPrinter printer(out, userErr, ::isatty(STDOUT_FILENO) != 0, [] {
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    });
    std::shared_ptr<NoteReport> report;
    if (!options.report.isEmpty()) {
        Error error;
        if (!NoteReport::checkWritablePath(options.report, &error)) {
            userErr << "ferrymark: " << error.localizedDescription() << "\n";
            return 1;
        }
        report = std::make_shared<NoteReport>();
        operation->setNoteReport(report);
    }
    operation->setDelegate(&printer);
    if (options.debug) operation->setDebugMode(true);

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
    operation->setDelegate(nullptr);

    switch (printer.outcome()) {
        case ImportProgressPrinter::Outcome::Ended: {
            const int status = printSummary(*operation, printer, out);
            return report ? writeReport(*report, options.report, status, out, userErr) : status;
        }
        case ImportProgressPrinter::Outcome::Failed:
            return 1;
        // A cancellation that came before any notebook started leaves nothing to end the run.
        case ImportProgressPrinter::Outcome::Cancelled:
        case ImportProgressPrinter::Outcome::Running:
            return 130;
    }
    return 1;
}
