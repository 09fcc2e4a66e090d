#include "app/ImportSummary.h"

#include <algorithm>

#include "import/EvernoteExportOperation.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

ImportSummary::ImportSummary(const EvernoteExportOperation& operation, unsigned long total)
    : total_(total) {
    const PelmoraImportResult result = operation.importResult();
    imported_ = static_cast<unsigned long>(result.taken);
    duplicates_ = static_cast<unsigned long>(operation.duplicateNotes().size());
    // A count fooled by damage (a CDATA section left open hides the notes it
    // swallows from the scan) cannot be less than what the library holds of it.
    total_ = std::max(total_, imported_ + duplicates_);
    if (const auto pelmora = operation.pelmoraApp()) libraryPath_ = pelmora->libraryPath();
    if (const OutputStream* log = operation.logStream()) logPath_ = log->path();
    stagingPath_ = operation.filesPath();
    if (const auto passages = operation.encryptedPassages()) {
        decryptedPassages_ = passages->decryptedCount();
        undecryptablePassages_ = passages->undecryptableCount();
    }
    if (const auto links = operation.noteLinks()) {
        resolvedLinks_ = links->resolvedCount();
        leftLinks_ = links->leftCount();
    }
    for (const EvernoteExportOperation::SkippedNote& note : operation.skippedNotes())
        skippedReasons_ << stringWithFormat(localizedString("“%@” was skipped: %@"),
                                            {note.title, note.reason});
    for (const PelmoraImportResult::Refusal& refusal : result.refused)
        refusedReasons_ << stringWithFormat(localizedString("“%@” was refused: %@"),
                                            {refusal.name, refusal.reason});
    for (const ENEXDamageReport& report : operation.damageReports())
        damageTexts_ << damageText(report);
}

QString ImportSummary::damageText(const ENEXDamageReport& report) {
    if (!report.fileError.isNull()) return report.fileError.localizedDescription();
    QString text = stringWithFormat(
        localizedString("%@: %lu notes found: %lu imported, %lu repaired, %lu lost to damage, "
                        "%lu skipped."),
        {report.filePath, report.found, report.imported, report.repaired, report.lost,
         report.skipped});
    if (report.endsInsideNote) text += u' ' + localizedString("The file ends inside a note.");
    return text;
}

bool ImportSummary::isComplete() const {
    return imported_ + duplicates_ >= total_ && skippedReasons_.isEmpty() &&
           refusedReasons_.isEmpty() && damageTexts_.isEmpty() && undecryptablePassages_ == 0;
}

QStringList ImportSummary::passageTexts() const {
    QStringList texts;
    if (decryptedPassages_ > 0)
        texts << stringWithFormat(localizedString("%lu encrypted passages were decrypted."),
                                  {decryptedPassages_});
    if (undecryptablePassages_ > 0)
        texts << stringWithFormat(
            localizedString("%lu encrypted passages could not be decrypted and stay hidden; the "
                            "import log %@ names their notes."),
            {undecryptablePassages_, logPath_});
    return texts;
}

QStringList ImportSummary::linkTexts() const {
    if (resolvedLinks_ == 0 && leftLinks_ == 0) return {};
    QString text = stringWithFormat(
        localizedString("%lu links between notes resolved, %lu left as they were."),
        {resolvedLinks_, leftLinks_});
    if (leftLinks_ > 0 && !logPath_.isEmpty())
        text += u' ' + stringWithFormat(localizedString("The import log %@ names each one left."),
                                        {logPath_});
    return {text};
}

QString ImportSummary::importedText() const {
    return stringWithFormat(
        localizedString("Imported %lu of %lu notes into %@."),
        {imported_, total_, libraryPath_.isEmpty() ? QStringLiteral("Pelmora") : libraryPath_});
}

QStringList ImportSummary::duplicateTexts() const {
    if (duplicates_ == 0) return {};
    return {stringWithFormat(
        localizedString("%lu notes were already in the library and were not imported again; the "
                        "import log %@ names the items that hold them."),
        {duplicates_, logPath_})};
}

QStringList ImportSummary::problemTexts() const {
    QStringList texts;
    if (skipped() > 0)
        texts << stringWithFormat(
            localizedString("%lu notes were skipped; the reasons are in the import log %@."),
            {skipped(), logPath_});
    if (refused() > 0)
        texts << stringWithFormat(
            localizedString("%lu notes were refused by the library and are still in %@; the "
                            "reasons are in the import log %@."),
            {refused(), stagingPath_, logPath_});
    if (!damageTexts_.isEmpty())
        texts << damageTexts_
              << stringWithFormat(
                     localizedString("Where the damage is, and where the damaged notes’ XML is "
                                     "kept, is in the import log %@."),
                     {logPath_});
    return texts;
}

QStringList ImportSummary::reasonTexts() const {
    const QStringList all = skippedReasons_ + refusedReasons_;
    QStringList texts = all.mid(0, kReasonsShown);
    if (all.size() > kReasonsShown)
        texts << stringWithFormat(localizedString("and %lu more."),
                                  {static_cast<unsigned long>(all.size() - kReasonsShown)});
    return texts;
}

QString ImportSummary::cancelledText() { return localizedString("The import was cancelled."); }

QString ImportSummary::nothingImportedText() { return localizedString("Nothing was imported."); }

QString ImportSummary::failedText() {
    return localizedString("An error occurred while exporting.");
}

QString ImportSummary::errorText(const Error& error) {
    // An error made without a description reads as the generic text of its domain and code.
    const bool hasOwnText =
        !error.isNull() && !error.localizedDescription().trimmed().isEmpty() &&
        error.localizedDescription() != Error(error.domain(), error.code()).localizedDescription();
    return hasOwnText ? error.localizedDescription()
                      : localizedString("An unknown error occurred.");
}
