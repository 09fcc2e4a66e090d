// What an import run came to, in the words both front ends use: the command
// line prints it after the progress, the window shows it in the alert that
// ends every run. One source, so that both say the same thing.
//
// A run that ended names how many notes the library took out of how many were
// announced, and where; how many were left out as duplicates (the library
// held them already: nothing is missing, so they keep a run complete); then, when some are missing,
// how many were skipped (their conversion failed) and how many the library refused; for each file
// in which damage was met, how its notes came out (imported + repaired + lost
// + skipped = found), or why it could not be read; with where the
// reasons are, and the first few reasons themselves ("“Title” was skipped:
// reason", then "and N more"); how many links between notes were resolved
// and left (a link left as it was is no failure: its target is simply not in
// the run, or not named clearly, and the note keeps the link the service
// gave it). A cancelled run took nothing (the description
// is discarded before the library sees it); a failed run has its error.
//
// A value type, made on the main thread once the run has ended.
#pragma once

#include <QString>
#include <QStringList>

class Error;
struct ENEXDamageReport;
class EvernoteExportOperation;

class ImportSummary {
  public:
    // How many reasons are named before "and N more".
    static constexpr int kReasonsShown = 3;

    // The summary of `operation`, which ended (exportOperationDidEnd), of
    // whose notes `total` were announced to the delegate.
    ImportSummary(const EvernoteExportOperation& operation, unsigned long total);

    unsigned long imported() const { return imported_; }
    unsigned long total() const { return total_; }
    unsigned long skipped() const { return static_cast<unsigned long>(skippedReasons_.size()); }
    unsigned long refused() const { return static_cast<unsigned long>(refusedReasons_.size()); }
    // The notes the library held already, left out of the import.
    unsigned long duplicates() const { return duplicates_; }
    // The encrypted passages the run's passphrases opened, and those they did
    // not (both 0 for a run without passphrases).
    unsigned long decryptedPassages() const { return decryptedPassages_; }
    unsigned long undecryptablePassages() const { return undecryptablePassages_; }
    // The links between notes that now lead to their notes, and those left as
    // they were (their target is not in the run, or not named clearly).
    unsigned long resolvedLinks() const { return resolvedLinks_; }
    unsigned long leftLinks() const { return leftLinks_; }
    // The library folder, or empty when the run found no Pelmora.
    QString libraryPath() const { return libraryPath_; }
    // The import log, or empty when the run opened none.
    QString logPath() const { return logPath_; }
    // Whether every announced note is in the library, every passage opened.
    bool isComplete() const;
    // 0 when complete, else 3 (see CommandLineImport.h).
    int exitStatus() const { return isComplete() ? 0 : 3; }

    // "Imported 3 of 4 notes into /path."
    QString importedText() const;
    // One line per file in which damage was met, accounting for its notes.
    QStringList damageTexts() const { return damageTexts_; }
    // "N encrypted passages were decrypted." and "N encrypted passages could
    // not be decrypted; …", those that apply.
    QStringList passageTexts() const;
    // "N links between notes resolved, M left as they were." when the run met
    // any, with where the left ones are named.
    QStringList linkTexts() const;
    // "N notes were already in the library and were not imported again; …"
    // when the run left any out.
    QStringList duplicateTexts() const;
    // The skipped line and the refused line, those that apply, then the damage lines.
    QStringList problemTexts() const;
    // The first kReasonsShown reasons, skipped notes first, then "and N more."
    // when there are others; empty for a complete run.
    QStringList reasonTexts() const;

    // The cancelled run's line, and what it means for the library.
    static QString cancelledText();
    static QString nothingImportedText();
    // The first line of a failed run; its error follows.
    static QString failedText();
    // The error's own text, or "An unknown error occurred." for an error that
    // carries none of its own (only its domain and code).
    static QString errorText(const Error& error);

  private:
    static QString damageText(const ENEXDamageReport& report);

    unsigned long imported_ = 0;
    unsigned long duplicates_ = 0;
    unsigned long total_ = 0;
    QString libraryPath_;
    QString logPath_;
    QString stagingPath_;
    QStringList skippedReasons_;  // "“Title” was skipped: reason"
    QStringList refusedReasons_;  // "“Name” was refused: reason"
    QStringList damageTexts_;
    unsigned long decryptedPassages_ = 0;
    unsigned long undecryptablePassages_ = 0;
    unsigned long resolvedLinks_ = 0;
    unsigned long leftLinks_ = 0;
};
