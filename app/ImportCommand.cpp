#include "app/ImportCommand.h"

#include <QFileInfo>

#include "app/CommandLineImport.h"
#include "import/EvernoteXMLFileExportOperation.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

const char* const kImportUsage =
    "ferrymark import FILE.enex... [--library DIR] [--debug] [--reload-from-web]\n"
    "                 [--recover] [--passphrase-file FILE] [--ask-passphrase]\n"
    "\n"
    "Imports every note of one or more ENEX files (as Evernote exports them) into\n"
    "the Pelmora library. Each note becomes a note package, a web archive, or the\n"
    "attachment itself when the note holds nothing else; the notes of each file go\n"
    "into one folder named after the file.\n"
    "\n"
    "  --library DIR       the Pelmora library to import into (default: the folder\n"
    "                      chosen in the window's options, else the installed\n"
    "                      Pelmora's, else $XDG_DATA_HOME/Pelmora 3/Library)\n"
    "  --debug             write one log line per parser event and per item\n"
    "                      (the setting \"ExportDebug\")\n"
    "  --reload-from-web   refresh web clips from their live pages (the setting\n"
    "                      \"ReloadFromWeb\")\n"
    "  --recover           read on past damage instead of stopping at the first\n"
    "                      XML error: notes with known damage are repaired, the\n"
    "                      others are logged with their place and kept as raw XML\n"
    "                      in \"Damaged Notes\" beside the log, and a file that is\n"
    "                      not ENEX or cannot be read is reported while the others\n"
    "                      are imported (the setting \"RecoverDamagedNotes\")\n"
    "  --passphrase-file FILE  decrypt encrypted passages with the passphrases in\n"
    "                      FILE, one a line, tried in order (at most 64 KB)\n"
    "  --ask-passphrase    ask for a passphrase on the terminal, without echo\n"
    "                      (after those of --passphrase-file)\n"
    "\n"
    "Without a passphrase an encrypted passage reads \"********\"; one that no\n"
    "passphrase opens stays so, is named in the log and counted in the summary,\n"
    "and the exit status is 3.\n"
    "\n"
    "Progress shows on the terminal; the import log, with the reason for every\n"
    "note that was skipped or refused, is \"Evernote Export.log\" in Pelmora's\n"
    "\"Logs\" folder. The import does not start when the staging or library folder\n"
    "has less free space than half the files' size, and it stops at the first note\n"
    "that fails in a way every later note would (a full disk, a read-only folder).\n"
    "Ctrl-C cancels.\n"
    "\n"
    "Exit status:\n"
    "  0    every note was imported\n"
    "  3    the import finished, but some notes were skipped (they could not be\n"
    "       converted) or refused by the library, or damage was met (--recover);\n"
    "       the log says why\n"
    "  1    the import failed\n"
    "  2    usage error\n"
    "  130  cancelled\n";

namespace {

QString fileProblem(const QFileInfo& file) {
    if (!file.exists())
        return stringWithFormat(
            localizedString("The file “%@” couldn’t be opened because there is no such file."),
            {file.filePath()});
    if (file.isDir())
        return stringWithFormat(localizedString("“%@” is a folder, not an ENEX file."),
                                {file.filePath()});
    if (!file.isReadable())
        return stringWithFormat(
            localizedString(
                "The file “%@” couldn’t be opened because you don’t have permission to view it."),
            {file.filePath()});
    return QString();
}

}  // namespace

int runImportCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    const auto options =
        parseCommandLineImportOptions(args, QStringLiteral("import"), false, kImportUsage, err);
    if (!options) return 2;
    if (options->operands.isEmpty()) {
        err << "usage: " << kImportUsage;
        return 2;
    }
    QList<QUrl> files;
    for (const QString& operand : options->operands) {
        const QFileInfo file(operand);
        // With --recover the run reports such a file and imports the others.
        if (const QString problem = fileProblem(file); !problem.isEmpty() && !options->recover) {
            err << localizedString("An error occurred while exporting.") << "\n" << problem << "\n";
            return 1;
        }
        files << QUrl::fromLocalFile(file.absoluteFilePath());
    }
    const auto passphrases = commandLinePassphrases(*options, err);
    if (!passphrases) return 2;
    applyCommandLineImportOptions(*options);
    auto operation = std::make_shared<EvernoteXMLFileExportOperation>();
    operation->setExportFileURLs(files);
    operation->setPassphrases(*passphrases);
    return runCommandLineImport(operation, *options, out);
}
