#include "app/CommandLineImport.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <atomic>
#include <csignal>

#include "app/ImportProgressPrinter.h"
#include "app/ImportSummary.h"
#include "app/LibraryFolderSetting.h"
#include "app/TerminalPassphrasePrompt.h"
#include "import/EvernoteExportOperation.h"
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
    for (const QString& line : summary.passageTexts()) out << line << "\n";
    for (const QString& line : summary.linkTexts()) out << line << "\n";
    for (const QString& line : summary.problemTexts()) out << line << "\n";
    for (const QString& reason : summary.reasonTexts()) out << "  " << reason << "\n";
    out.flush();
    return summary.exitStatus();
}

}  // namespace

std::optional<CommandLineImportOptions> parseCommandLineImportOptions(const QStringList& args,
                                                                      const QString& command,
                                                                      bool acceptsEvernoteFolder,
                                                                      const char* usage,
                                                                      QTextStream& err) {
    CommandLineImportOptions options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--library") && hasValue)
            options.library = args[++i];
        else if (a == QLatin1String("--evernote-folder") && hasValue && acceptsEvernoteFolder)
            options.evernoteFolder = args[++i];
        else if (a == QLatin1String("--debug"))
            options.debug = true;
        else if (a == QLatin1String("--reload-from-web"))
            options.reloadFromWeb = true;
        else if (a == QLatin1String("--recover"))
            options.recover = true;
        else if (a == QLatin1String("--passphrase-file") && hasValue)
            options.passphraseFile = args[++i];
        else if (a == QLatin1String("--ask-passphrase"))
            options.askPassphrase = true;
        else if (a.startsWith(QLatin1String("--"))) {
            err << "ferrymark " << command << ": unexpected argument " << a
                << "\n\nusage: " << usage;
            return std::nullopt;
        } else
            options.operands << a;
    }
    return options;
}

void applyCommandLineImportOptions(const CommandLineImportOptions& options) {
    LibraryFolderSetting::applyToNextImport(options.library);
    if (options.reloadFromWeb)
        UserDefaults::standard().setVolatileValue(true, QStringLiteral("ReloadFromWeb"));
    if (options.recover)
        UserDefaults::standard().setVolatileValue(true, QStringLiteral("RecoverDamagedNotes"));
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
        case ImportProgressPrinter::Outcome::Ended:
            return printSummary(*operation, printer, out);
        case ImportProgressPrinter::Outcome::Failed:
            return 1;
        // A cancellation that came before any notebook started leaves nothing to end the run.
        case ImportProgressPrinter::Outcome::Cancelled:
        case ImportProgressPrinter::Outcome::Running:
            return 130;
    }
    return 1;
}
