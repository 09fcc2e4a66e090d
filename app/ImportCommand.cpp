#include "app/ImportCommand.h"

#include <QFileInfo>

#include "app/CommandLineImport.h"
#include "app/CommandLineSyntax.h"
#include "import/EvernoteXMLFileExportOperation.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

CommandLineSyntax importCommandSyntax() {
    CommandLineSyntax syntax(
        QStringLiteral("import"),
        QStringLiteral(
            "ferrymark import FILE.enex... [--library DIR] [--debug] [--reload-from-web]\n"
            "                 [--recover] [--passphrase-file FILE] [--ask-passphrase]\n"
            "                 [--report FILE]"),
        QStringLiteral(
            "Imports every note of one or more ENEX files (as Evernote exports them) into\n"
            "the Pelmora library. Each note becomes a note package, a web archive, or the\n"
            "attachment itself when the note holds nothing else; the notes of each file go\n"
            "into one folder named after the file. After --, every word is a file."),
        QStringLiteral(
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
            "  1    the import failed, or the --report FILE could not be written\n"
            "  2    usage error\n"
            "  130  cancelled\n"));
    addCommandLineImportOptions(syntax, false);
    return syntax;
}

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
    CommandLineSyntax syntax = importCommandSyntax();
    const auto options = parseCommandLineImportOptions(args, syntax, err);
    if (!options) return 2;
    if (options->help) return out << syntax.helpText(), 0;
    if (options->operands.isEmpty()) {
        err << "usage: " << syntax.helpText();
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
