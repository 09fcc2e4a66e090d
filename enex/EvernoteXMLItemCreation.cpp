// Note packages and web archives made from a note element.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "enex/EvernoteWebConversionOperation.h"
#include "enex/EvernoteXMLItem.h"
#include "formats/PMChecklistExtensions.h"
#include "formats/PMNoteFile.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/HTMLImporter.h"
#include "util/FileNameRules.h"

namespace {

const QString kOpeningMarker = QStringLiteral("***PELMORAATTACHMENT ");
const QString kClosingMarker = QStringLiteral(" PELMORAATTACHMENT***");
constexpr long kRevertToNoteCode = 1002;

// The note font: "DefaultNoteFontName" at "DefaultNoteFontSize", else the
// user's font at 12 points (the user font always exists here, so the system
// font is never needed).
Font noteFont() {
    UserDefaults& defaults = UserDefaults::standard();
    const double size = defaults.doubleForKey(QStringLiteral("DefaultNoteFontSize"));
    if (auto font = FontRegistry::fontWithName(defaults.stringForKey(QStringLiteral("DefaultNoteFontName")), size))
        return *font;
    return FontRegistry::userFontOfSize(12.0);
}

WebPreferences webPreferencesForFont(const Font& font) {
    WebPreferences preferences{QString()};
    preferences.setStandardFontFamily(font.family());
    preferences.setDefaultFontSize(static_cast<int>(font.pointSize()));
    return preferences;
}

// Replaces each "***PELMORAATTACHMENT name PELMORAATTACHMENT***" by an
// attachment holding the file `name` of `folder`. A marker that names no
// single file name (a note's own text can hold marker-like text) is left as
// text, so a note can never pull in a file from elsewhere.
bool swapAttachmentMarkers(AttributedString& text, const QString& folder, Error* error) {
    qsizetype position = 0;
    while (position < text.length()) {
        const qsizetype open = text.string().indexOf(kOpeningMarker, position);
        if (open < 0) return true;
        const qsizetype nameStart = open + kOpeningMarker.size();
        const qsizetype close = text.string().indexOf(kClosingMarker, nameStart);
        if (close < 0) return true;
        const QString name = text.string().mid(nameStart, close - nameStart);
        if (name.isEmpty() || QVExtensions::safeFileName(name) != name) {
            position = nameStart;
            continue;
        }
        const auto wrapper = FileWrapper::readFromPath(folder + u'/' + name, error);
        if (!wrapper) return false;
        TextAttributes attributes;
        attributes.attachment = TextAttachment(*wrapper);
        const TextRange range{open, close + kClosingMarker.size() - open};
        text.replaceCharactersInRange(range, AttributedString(QString(QChar(TextAttachment::Character)), attributes));
        position = open + 1;
    }
    return true;
}

}  // namespace

QString EvernoteXMLItem::uniqueTargetPath(int type, const QString& extension) const {
    QString name = QVExtensions::stringSanitizedForFileName(title);
    if (QVExtensions::safeFileName(name).isEmpty()) name = localizedString("Untitled");
    // Sanitized with its extension, so that a long title is cut before the extension.
    const QString fileName = QVExtensions::safeFileName(name + u'.' + extension);
    const QString folder = targetFolderForType(type);
    return folder + u'/' + QVExtensions::makeFilenameUniqueInDirectoryAtURL(fileName, folder);
}

std::optional<QString> EvernoteXMLItem::writeScratchHTML(const QString& text, Error* error) const {
    const QString path = intermediateHTMLDirectoryURL.toLocalFile() + u'/' + identifier + QStringLiteral(".html");
    QFile file(path);
    const QByteArray bytes = text.toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        posixError(EIO, QStringLiteral("%1: %2").arg(path, file.errorString())).report(error);
        return std::nullopt;
    }
    return path;
}

std::optional<QString> EvernoteXMLItem::createNoteForElement(XMLNode element, Error* error) {
    const auto xhtml = noteXHTMLStringFromNoteElement(element, error);
    if (!xhtml) return std::nullopt;
    const auto htmlPath = writeScratchHTML(*xhtml, error);
    if (!htmlPath) return std::nullopt;

    auto imported = HTMLImporter::attributedStringFromHTMLFile(*htmlPath, webPreferencesForFont(noteFont()), error);
    if (!imported) return std::nullopt;
    auto text = std::make_shared<AttributedString>(std::move(*imported));
    if (!swapAttachmentMarkers(*text, intermediateHTMLDirectoryURL.toLocalFile(), error)) return std::nullopt;

    PMNoteFile note;
    note.setNoteText(text);
    const auto checklists =
        PMChecklistExtensions::restoreChecklists(*text, PMChecklistExtensions::recoverChecklists(*text));
    note.noteAttributes().setChecklistItems(checklists);
    note.setNoteText(text);

    const QString path = uniqueTargetPath(EvernoteItemTypeNote, PMNoteFile::fileExtension);
    if (!note.writeToFile(path, error)) return std::nullopt;
    return path;
}

std::optional<QString> EvernoteXMLItem::createWebArchiveForElement(XMLNode element, bool refreshingFromWeb,
                                                                   Error* error) {
    auto operation = std::make_shared<EvernoteWebConversionOperation>();
    operation->setOriginalWebURL(QUrl(noteAttributes.sourceURL));
    if (refreshingFromWeb) {
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
    const QString path = uniqueTargetPath(EvernoteItemTypeWebPage, QStringLiteral("webarchive"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(*data) != data->size()) {
        posixError(EIO, QStringLiteral("%1: %2").arg(path, file.errorString())).report(error);
        file.remove();
        return std::nullopt;
    }
    return path;
}
