#include "app/NotebooksCommand.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "app/CommandLineImport.h"
#include "app/CommandLineSyntax.h"
#include "import/EvernoteExportOperation.h"
#include "platform/apps/EvernoteStandIn.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

CommandLineSyntax notebooksCommandSyntax() {
    CommandLineSyntax syntax(QStringLiteral("notebooks"),
                             QStringLiteral("ferrymark notebooks [--evernote-folder DIR]"),
                             QStringLiteral("Lists Evernote's notebooks with their note counts."));
    addEvernoteFolderOption(syntax);
    return syntax;
}

CommandLineSyntax importNotebooksCommandSyntax() {
    CommandLineSyntax syntax(
        QStringLiteral("import-notebooks"),
        QStringLiteral(
            "ferrymark import-notebooks [NAME...] [--library DIR] [--evernote-folder DIR] "
            "[--debug]\n"
            "                           [--reload-from-web] [--recover]\n"
            "                           [--passphrase-file FILE] [--ask-passphrase] [--report "
            "FILE]"),
        QStringLiteral(
            "Imports the named Evernote notebooks, or all of them, into the Pelmora\n"
            "library: Evernote exports each notebook, one after another, and its notes go\n"
            "into one folder named after the notebook. `ferrymark notebooks` lists the\n"
            "names."),
        QStringLiteral("Progress, the summary and the exit status are those of `ferrymark import`\n"
                       "(ferrymark import --help).\n"));
    addCommandLineImportOptions(syntax, true);
    return syntax;
}

namespace {

// The Evernote to read: the installed one, pointed at `folder` when one is
// given; without an installed one, `folder` alone stands in for it.
std::shared_ptr<EvernoteApplication> evernoteApplication(const QString& folder) {
    if (!folder.isEmpty())
        EvernoteStandIn::setNotebookFolderOverride(QFileInfo(folder).absoluteFilePath());
    auto app = EvernoteApplication::applicationWithBundleIdentifier();
    if (app || folder.isEmpty()) return app;
    PlistDictionary info;
    info.set(QStringLiteral("CFBundleIdentifier"),
             QString::fromLatin1(EvernoteApplication::kBundleIdentifier));
    return std::make_shared<EvernoteStandIn>(ApplicationRecord{QString(), info});
}

// Why Evernote's notebooks cannot be read, for the user; empty when they can.
QString evernoteProblem(const EvernoteApplication* app) {
    if (!app)
        return localizedString("Unable to find the Evernote application.") + u'\n' +
               localizedString(
                   "Install it, or name its folder of ENEX files with --evernote-folder DIR.");
    const auto* standIn = dynamic_cast<const EvernoteStandIn*>(app);
    if (!standIn) return QString();
    if (standIn->notebookFolder().isEmpty())
        return localizedString(
            "Evernote has no folder of ENEX files; name one with --evernote-folder DIR.");
    const QFileInfo folder(standIn->notebookFolder());
    if (!folder.isDir() || !folder.isReadable() || !folder.isExecutable())
        return stringWithFormat(localizedString("The folder “%@” cannot be read."),
                                {standIn->notebookFolder()});
    return QString();
}

// The notebooks as the window lists them: sorted by name without regard to
// case, a notebook without a name left out.
EvernoteNotebookList listedNotebooks(const EvernoteApplication& app) {
    EvernoteNotebookList result;
    for (const auto& notebook : app.notebooks())
        if (!notebook->name().isEmpty()) result << notebook;
    std::stable_sort(result.begin(), result.end(), [](const auto& a, const auto& b) {
        return QString::compare(a->name(), b->name(), Qt::CaseInsensitive) < 0;
    });
    return result;
}

// The notebooks named in `names`, in that order (each once); a name that no
// notebook has is reported and gives nullopt.
std::optional<EvernoteNotebookList> notebooksNamed(const QStringList& names,
                                                   const EvernoteNotebookList& all,
                                                   QTextStream& err) {
    EvernoteNotebookList result;
    for (const QString& name : names) {
        const auto found =
            std::find_if(all.begin(), all.end(), [&](const auto& n) { return n->name() == name; });
        if (found == all.end()) {
            err << stringWithFormat(
                       localizedString(
                           "There is no notebook named “%@”; `ferrymark notebooks` lists them."),
                       {name})
                << "\n";
            return std::nullopt;
        }
        if (!result.contains(*found)) result << *found;
    }
    return result;
}

}  // namespace

int runNotebooksCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    CommandLineSyntax syntax = notebooksCommandSyntax();
    if (!syntax.parse(args, err)) return 2;
    if (syntax.wantsHelp()) return out << syntax.helpText(), 0;
    if (!syntax.operands().isEmpty()) {
        err << "usage: " << syntax.helpText();
        return 2;
    }
    const auto app = evernoteApplication(syntax.value(QStringLiteral("evernote-folder")));
    if (const QString problem = evernoteProblem(app.get()); !problem.isEmpty()) {
        err << problem << "\n";
        return 1;
    }
    for (const auto& notebook : listedNotebooks(*app))
        out << QStringLiteral("%1  %2\n").arg(notebook->notes().size(), 6).arg(notebook->name());
    return 0;
}

int runImportNotebooksCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    CommandLineSyntax syntax = importNotebooksCommandSyntax();
    const auto options = parseCommandLineImportOptions(args, syntax, err);
    if (!options) return 2;
    if (options->help) return out << syntax.helpText(), 0;
    const auto app = evernoteApplication(options->evernoteFolder);
    if (const QString problem = evernoteProblem(app.get()); !problem.isEmpty()) {
        err << localizedString("An error occurred while exporting.") << "\n" << problem << "\n";
        return 1;
    }
    const EvernoteNotebookList all = listedNotebooks(*app);
    const auto notebooks = options->operands.isEmpty()
                               ? std::optional(all)
                               : notebooksNamed(options->operands, all, err);
    if (!notebooks) return 1;
    if (notebooks->isEmpty()) {
        const auto* standIn = dynamic_cast<const EvernoteStandIn*>(app.get());
        err << stringWithFormat(
                   localizedString("There are no notebooks to import: “%@” holds no ENEX files."),
                   {standIn ? standIn->notebookFolder() : QString()})
            << "\n";
        return 1;
    }
    const auto passphrases = commandLinePassphrases(*options, err);
    if (!passphrases) return 2;
    applyCommandLineImportOptions(*options);
    const auto operation = EvernoteExportOperation::exportOperationForApp(app, *notebooks, nullptr);
    operation->setPassphrases(*passphrases);
    return runCommandLineImport(operation, *options, out);
}
