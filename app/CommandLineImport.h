// What the import commands of the command line share: their options, and
// running one import operation headless on the main event loop with a
// progress bar on a terminal, Ctrl-C cancelling cleanly, and a summary of
// where the items went. Main thread only.
//
// Exit status of a run: 0 when every note was imported or was in the library
// already (a duplicate); 3 when the run
// finished but notes were skipped (conversion failed) or refused by the
// library, or damage was met (--recover: a note repaired or lost, a file cut
// short, not ENEX or unreadable); 1 when it failed; 130 when it was cancelled. (2, a usage error,
// is the callers'.)
#pragma once

#include <QStringList>
#include <QTextStream>
#include <memory>
#include <optional>

class CommandLineSyntax;
class EvernoteExportOperation;
class PassphraseList;

struct CommandLineImportOptions {
    QStringList operands;          // the files or notebook names, in order
    QString library;               // --library DIR
    QString evernoteFolder;        // --evernote-folder DIR (only where accepted)
    bool debug = false;            // --debug
    bool reloadFromWeb = false;    // --reload-from-web
    bool recover = false;          // --recover
    bool allowDuplicates = false;  // --allow-duplicates
    QString passphraseFile;        // --passphrase-file FILE
    bool askPassphrase = false;    // --ask-passphrase
    QString report;                // --report FILE
    bool help = false;             // -h or --help: show the help, import nothing
};

// Adds the import options to `syntax`: --library, --debug, --reload-from-web,
// --recover, --allow-duplicates, --passphrase-file, --ask-passphrase and
// --report, and --evernote-folder when `acceptsEvernoteFolder`.
void addCommandLineImportOptions(CommandLineSyntax& syntax, bool acceptsEvernoteFolder);
// Adds --evernote-folder DIR alone (for the commands that read Evernote's notebooks).
void addEvernoteFolderOption(CommandLineSyntax& syntax);

// Parses `args` with `syntax` (which has the import options); an unknown
// option, or an option without its value, prints "ferrymark COMMAND:
// unexpected argument" and the usage to `err` and gives nullopt.
std::optional<CommandLineImportOptions> parseCommandLineImportOptions(const QStringList& args,
                                                                      CommandLineSyntax& syntax,
                                                                      QTextStream& err);

// Applies the options that act through process-wide settings: the library
// folder (--library, else the "LibraryFolder" setting), "ReloadFromWeb",
// "RecoverDamagedNotes" and "AllowDuplicates".
void applyCommandLineImportOptions(const CommandLineImportOptions& options);

// The passphrases the options name, in order: the lines of --passphrase-file,
// then the one --ask-passphrase asks for on the terminal; null when neither
// is given. A file that cannot be read or is too large, or no answer, prints
// "ferrymark: " and the reason to `err` and gives nullopt (a usage error).
std::optional<std::shared_ptr<const PassphraseList>> commandLinePassphrases(
    const CommandLineImportOptions& options, QTextStream& err);

// Runs `operation` (unstarted, its import set up) to its end: shows progress
// on `out`, errors on the terminal's standard error (the run sends standard
// error into its log), and the summary. Returns the exit status (above).
//
// With --report FILE, the run keeps a line per note (NoteReport) and, once it
// has ended, writes them to FILE whole (a temporary file renamed over it). A
// FILE whose folder is missing or not writable fails the run (1) before it
// starts; a report that cannot be written at the end fails it too (1), the
// import itself being done. A cancelled or failed run writes no report (an
// earlier FILE stays as it was).
int runCommandLineImport(const std::shared_ptr<EvernoteExportOperation>& operation,
                         const CommandLineImportOptions& options, QTextStream& out);
