#include "app/CommandLine.h"

#include <Quorvel/QVFCrashReportController.h>
#include <Quorvel/QVFExceptionHandler.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

#include "app/DefaultsCommand.h"
#include "app/ImportCommand.h"
#include "app/NotebooksCommand.h"
#include "app/WindowProgram.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"

namespace {

const char* const kUsage =
    "usage:\n"
    "  ferrymark [FILE.enex...]   open the window (needs a display) and import the files\n"
    "  ferrymark import FILE.enex... [--library DIR] [--debug] [--reload-from-web]\n"
    "  ferrymark notebooks [--evernote-folder DIR]\n"
    "  ferrymark import-notebooks [NAME...] [--library DIR] [--evernote-folder DIR] [--debug]\n"
    "                             [--reload-from-web]\n"
    "  ferrymark defaults read|write|delete DOMAIN KEY [VALUE]\n"
    "  ferrymark --version\n"
    "\n"
    "ferrymark import --help explains the import; ferrymark import-notebooks --help\n"
    "the notebook import. Options take their values as --option VALUE or\n"
    "--option=VALUE; after --, every word is an operand.\n";

// The crash reporter offers only crashes after its first check of all, which
// the window makes at its launch. Make that first check here when the window
// has never run, so that a crash of the command line is offered by the next
// window launch. (Later checks are the window's: they may show it.)
void startCrashReporterClock() {
    if (!UserDefaults::standard()
             .objectForKey(QStringLiteral("QVFCrashReporterLastCrashReportDate"))
             .isNull())
        return;
    QVFCrashReportController::checkForCrashAndReport(false);
}

// The commands; any other first word on a desktop is a file for the window.
bool isCommand(const QString& word) {
    static const QStringList commands{QStringLiteral("defaults"), QStringLiteral("import"),
                                      QStringLiteral("notebooks"),
                                      QStringLiteral("import-notebooks")};
    return commands.contains(word);
}

}  // namespace

std::optional<QStringList> filesToOpenInWindow(const QStringList& arguments) {
    QStringList files;
    bool operandsOnly = false;
    for (const QString& word : arguments.mid(1)) {
        if (!operandsOnly && word == QLatin1String("--")) {
            operandsOnly = true;
            continue;
        }
        if (!operandsOnly && word.startsWith(u'-')) return std::nullopt;
        if (files.isEmpty() && !operandsOnly && isCommand(word)) return std::nullopt;
        files << QFileInfo(word).absoluteFilePath();
    }
    return files;
}

int runCommandLine(int argc, char** argv) {
    // Both front ends leave a crash log that the window's next launch offers to send.
    QVFExceptionHandler::sharedHandler();
    if (hasDisplayForWindow()) {
        QStringList arguments;
        for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
        if (const auto files = filesToOpenInWindow(arguments))
            return runWindowProgram(argc, argv, *files);
    }
    QCoreApplication app(argc, argv);
    startCrashReporterClock();
    QTextStream out(stdout), err(stderr);
    // The program's own options stand before the command; from the command's
    // word on, every argument is the command's own (options included).
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({help, version});
    if (!parser.parse(QCoreApplication::arguments())) {
        err << kUsage;
        return 2;
    }
    const QStringList words = parser.positionalArguments();
    const QString command = parser.isSet(version) ? QStringLiteral("version")
                            : parser.isSet(help)  ? QStringLiteral("help")
                                                  : words.value(0);
    const QStringList args = words.mid(1);
    if (command == QLatin1String("defaults")) return runDefaultsCommand(args, out, err);
    if (command == QLatin1String("import")) return runImportCommand(args, out, err);
    if (command == QLatin1String("notebooks")) return runNotebooksCommand(args, out, err);
    if (command == QLatin1String("import-notebooks"))
        return runImportNotebooksCommand(args, out, err);
    if (command == QLatin1String("version")) {
        out << "ferrymark " << Bundle::main().shortVersionString() << " ("
            << Bundle::main().stringForKey(QStringLiteral("CFBundleVersion")) << ")\n";
        return 0;
    }
    if (command == QLatin1String("help")) {
        out << kUsage;
        return 0;
    }
    err << kUsage;
    return 2;
}
