// Note packages and web archives made from a note element.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "enex/EvernoteHTMLImportHook.h"
#include "enex/EvernoteWebConversionOperation.h"
#include "enex/EvernoteXMLItem.h"
#include "formats/PMChecklistExtensions.h"
#include "formats/PMChecklistTextAttachment.h"
#include "formats/PMNoteFile.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/HTMLImporter.h"
#include "platform/richtext/HTMLNestingLimits.h"
#include "util/FileNameRules.h"

namespace {

const QString kOpeningMarker = QStringLiteral("***PELMORAATTACHMENT ");
constexpr long kRevertToNoteCode = 1002;
constexpr long kUnrefreshableURLCode = 1003;

// The note font: "DefaultNoteFontName" at "DefaultNoteFontSize", else the
// user's font at 12 points (the user font always exists here, so the system
// font is never needed).
Font noteFont() {
    UserDefaults& defaults = UserDefaults::standard();
    const double size = defaults.doubleForKey(QStringLiteral("DefaultNoteFontSize"));
    if (auto font = FontRegistry::fontWithName(
            defaults.stringForKey(QStringLiteral("DefaultNoteFontName")), size))
        return *font;
    return FontRegistry::userFontOfSize(12.0);
}

WebPreferences webPreferencesForFont(const Font& font) {
    WebPreferences preferences{QString()};
    preferences.setStandardFontFamily(font.family());
    preferences.setDefaultFontSize(static_cast<int>(font.pointSize()));
    return preferences;
}

// The check boxes the import made, as checklist items over their markers.
QList<PMNoteChecklistItem> checklistItemsAt(const AttributedString& text,
                                            const QList<qsizetype>& positions) {
    const QString checked = PMChecklistTextAttachment::checkedReplacementString;
    const QString unchecked = PMChecklistTextAttachment::uncheckedReplacementString;
    QList<PMNoteChecklistItem> items;
    for (const qsizetype position : positions) {
        const bool on = QStringView(text.string()).mid(position).startsWith(checked);
        items.append(PMNoteChecklistItem(
            on, {quint64(position), quint64((on ? checked : unchecked).size())}));
    }
    return items;
}

}  // namespace

QString EvernoteXMLItem::targetFileName(const QString& extension) const {
    QString name = QVExtensions::stringSanitizedForFileName(record_.title);
    if (QVExtensions::safeFileName(name).isEmpty()) name = localizedString("Untitled");
    // Sanitized with its extension, so that a long title is cut before the extension.
    return QVExtensions::safeFileName(name + u'.' + extension);
}

std::unique_ptr<EvernoteReservedFileName> EvernoteXMLItem::reserveTargetName(
    const QString& name, const QString& folder) {
    if (namingOrder_) namingOrder_->waitForTurn(namingTurn_);
    auto reserved = std::make_unique<EvernoteReservedFileName>(name, folder);
    if (namingOrder_)
        namingOrder_->pass(namingTurn_);  // the next note may choose: it sees this name as taken
    return reserved;
}

std::optional<QString> EvernoteXMLItem::writeScratchHTML(const QString& text, Error* error) const {
    const QString path = intermediateHTMLDirectoryURL.toLocalFile() + u'/' + record_.identifier +
                         QStringLiteral(".html");
    if (!FileOperations::writeFile(path, text.toUtf8(), FileOperations::WriteMode::Truncate, error))
        return std::nullopt;
    return path;
}

AttributedString EvernoteXMLItem::importedText(XMLNode element, QList<qsizetype>* checkBoxes) {
    const EvernoteHTMLImportHook noteHook;
    return HTMLImporter::attributedStringFromElement(element, QUrl(),
                                                     webPreferencesForFont(noteFont()),
                                                     &mediaDelegate(), &noteHook, checkBoxes);
}

void EvernoteXMLItem::restoreCheckBoxes(AttributedString& text,
                                        const QList<qsizetype>& checkBoxes) {
    // Every check box the note holds becomes a checklist item, wherever it
    // stands (list items, table cells, after other text).
    PMChecklistExtensions::restoreChecklists(text, checklistItemsAt(text, checkBoxes));
}

AttributedString EvernoteXMLItem::noteTextForElement(XMLNode element) {
    QList<qsizetype> checkBoxes;
    AttributedString text = importedText(element, &checkBoxes);
    restoreCheckBoxes(text, checkBoxes);
    return text;
}

std::optional<QString> EvernoteXMLItem::createNoteForElement(XMLNode element, Error* error) {
    if (!HTMLNestingLimits::check(element, error)) return std::nullopt;
    QList<qsizetype> checkBoxes;
    auto text = std::make_shared<AttributedString>(importedText(element, &checkBoxes));
    // The text holds everything the package needs; the ENML tree, as large
    // as the text several times over, need not stay while the check boxes
    // are restored (a copy of the text) and the package is written.
    document_.reset();
    restoreCheckBoxes(*text, checkBoxes);
    PMNoteFile note;
    note.setNoteText(std::move(text));
    const auto target = reserveTargetName(targetFileName(PMNoteFile::fileExtension),
                                          targetFolderForType(EvernoteItemTypeNote));
    if (!note.writeToFile(target->path(), error)) return std::nullopt;
    return target->path();
}

std::optional<QString> EvernoteXMLItem::createWebArchiveForElement(XMLNode element,
                                                                   bool refreshingFromWeb,
                                                                   Error* error) {
    auto operation = std::make_shared<EvernoteWebConversionOperation>();
    operation->setOriginalWebURL(QUrl(record_.noteAttributes.sourceURL));
    if (refreshingFromWeb) {
        if (!isRefreshableWebURL(operation->originalWebURL())) {
            Error(kEvernoteXMLItemErrorDomain, kUnrefreshableURLCode,
                  localizedString("Only http and https pages are loaded to refresh a web clip."))
                .report(error);
            return std::nullopt;
        }
        operation->setOriginalURL(operation->originalWebURL());
    } else {
        const auto body = XHTMLStringFromNoteElement(element, error);
        if (!body) return std::nullopt;
        const auto page = pageFromTemplate(*body, error);
        if (!page) return std::nullopt;
        if (page->contains(kOpeningMarker)) {
            Error(kEvernoteXMLItemErrorDomain, kRevertToNoteCode).report(error);
            return std::nullopt;
        }
        const auto htmlPath = writeScratchHTML(*page, error);
        if (!htmlPath) return std::nullopt;
        operation->setOriginalURL(QUrl::fromLocalFile(*htmlPath));
    }
    operation->start();
    operation->waitUntilFinished();
    const auto data = operation->webArchiveData();
    if (!data) {
        operation->operationError().report(error);
        return std::nullopt;
    }
    const auto target = reserveTargetName(targetFileName(QStringLiteral("webarchive")),
                                          targetFolderForType(EvernoteItemTypeWebPage));
    if (!FileOperations::writeFile(target->path(), *data, FileOperations::WriteMode::NewOnly,
                                   error))
        return std::nullopt;
    return target->path();
}
