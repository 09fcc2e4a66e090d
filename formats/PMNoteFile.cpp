#include "formats/PMNoteFile.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QUndoCommand>

#include "formats/PMChecklistExtensions.h"
#include "formats/PMChecklistTextAttachment.h"
#include "formats/PMCoderExtensions.h"
#include "formats/PMWelcomeNote.h"
#include "platform/archive/KeyedUnarchiver.h"
#include "platform/foundation/FileResourceValues.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/RTFDPackage.h"

const QString PMNoteFile::fileExtension = QStringLiteral("pmnote");
const QString PMNoteFile::noteAttributesFileName = QStringLiteral("NoteAttributes");

// The undo action of setNoteText: undo sets back a copy of the text the note
// had before; redo sets back a copy of the text it had when undone. The first
// redo, which QUndoStack::push runs at once, does nothing: the note has
// already taken the new text.
class PMNoteTextUndoCommand : public QUndoCommand {
  public:
    PMNoteTextUndoCommand(std::shared_ptr<PMNoteFile*> target, AttributedString previousText)
        : target_(std::move(target)), otherText_(std::move(previousText)) {}

    void undo() override { swapText(); }
    void redo() override {
        if (pushed_) swapText();
        pushed_ = true;
    }

  private:
    void swapText() {
        PMNoteFile* note = *target_;
        if (!note) return;
        AttributedString current = *note->noteText();
        note->replaceNoteText(std::make_shared<AttributedString>(std::move(otherText_)));
        otherText_ = std::move(current);
    }

    std::shared_ptr<PMNoteFile*> target_;
    AttributedString otherText_;
    bool pushed_ = false;
};

namespace {

constexpr long kFileReadUnsupportedSchemeError = 262;
const QString kCocoaErrorDomain = QStringLiteral("NSCocoaErrorDomain");

// The name under which a directory wrapper would store `wrapper`.
QString entryNameOf(const FileWrapper& wrapper) {
    const QString preferred = wrapper.preferredFilename();
    return FileWrapper::safeChildName(preferred.isEmpty() ? wrapper.filename() : preferred);
}

// Attachments whose file would take the archive's entry name get another
// name, so that "NoteAttributes" never replaces an attachment's file.
void keepAttachmentsClearOfArchiveName(AttributedString& text) {
    QList<qsizetype> clashes;
    text.enumerateAttachments(
        {0, text.length()}, [&](const TextAttachment& attachment, const TextRange& range, bool&) {
            const FileWrapper& wrapper = attachment.fileWrapper();
            if (!wrapper.isNull() && entryNameOf(wrapper) == PMNoteFile::noteAttributesFileName)
                clashes.append(range.location);
        });
    for (const qsizetype index : clashes) {
        text.modifyAttributes({index, 1}, [](TextAttributes& attributes) {
            FileWrapper wrapper = attributes.attachment->fileWrapper();
            wrapper.setPreferredFilename(QStringLiteral("1__") +
                                         PMNoteFile::noteAttributesFileName);
            attributes.attachment->setFileWrapper(wrapper);
        });
    }
}

// The RTFD package of `noteText` with markers in place of checklist boxes,
// and the boxes' items. The text with markers lives only while the RTF is
// made, not while the note attributes are archived after it.
FileWrapper textPackage(const AttributedString& noteText,
                        const RTFDocumentAttributes& documentAttributes,
                        QList<PMNoteChecklistItem>* checklistItems) {
    AttributedString text = PMChecklistExtensions::attributedStringByReplacingChecklists(
        noteText, checklistItems, {0, noteText.length()});
    keepAttachmentsClearOfArchiveName(text);
    return RTFDPackage::fileWrapperFromAttributedString(text, documentAttributes);
}

// The creation date and extension visibility to give the package written at
// `path`: those of the item there now, or a hidden extension for a new one.
FileResourceValues resourceValuesToKeep(const QString& path) {
    FileResourceValues kept;
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
        kept.hasHiddenExtension = true;
        return kept;
    }
    const FileResourceValues current = resourceValues(path);
    kept.hasHiddenExtension = current.hasHiddenExtension;
    // Without a recorded creation date the file system's birth time is the
    // item's creation date; record it so that it survives the swap.
    kept.creationDate =
        current.creationDate.isValid() ? current.creationDate : QFileInfo(path).birthTime();
    return kept;
}

}  // namespace

// ---- creation ----------------------------------------------------------------------

PMNoteFile::PMNoteFile() : PMNoteFile(UserDefaults::standard()) {}

PMNoteFile::PMNoteFile(const UserDefaults& defaults)
    : noteText_(std::make_shared<AttributedString>()),
      documentAttributes_(RTFDocumentAttributes()),
      noteAttributes_(defaults),
      undoTarget_(std::make_shared<PMNoteFile*>(this)) {}

PMNoteFile::~PMNoteFile() { *undoTarget_ = nullptr; }

std::unique_ptr<PMNoteFile> PMNoteFile::copy() const {
    auto note = std::make_unique<PMNoteFile>();
    note->noteText_ = std::make_shared<AttributedString>(*noteText_);
    note->noteAttributes_ = noteAttributes_;
    return note;
}

// ---- class operations -----------------------------------------------------------------

std::unique_ptr<PMNoteFile> PMNoteFile::noteFileWithFileURL(const QUrl& url, Error* error) {
    auto note = std::make_unique<PMNoteFile>();
    if (!note->readFromFileURL(url, error)) return nullptr;
    return note;
}

QString PMNoteFile::nameOfNewNote() { return localizedString("New Note"); }

bool PMNoteFile::noteFileAtURLIsEmpty(const QUrl& url) {
    const QFileInfo file(url.isLocalFile() ? url.toLocalFile() : url.path());
    if (file.suffix() != fileExtension) return false;
    if (!file.completeBaseName().startsWith(nameOfNewNote())) return false;
    const std::unique_ptr<PMNoteFile> note = noteFileWithFileURL(url);
    return !note || note->noteText()->length() == 0;
}

std::optional<QString> PMNoteFile::oldWelcomeNotePath() { return PMWelcomeNote::resourcePath(); }

TextAttributes PMNoteFile::defaultNoteAttributes() {
    return defaultNoteAttributes(UserDefaults::standard());
}

TextAttributes PMNoteFile::defaultNoteAttributes(const UserDefaults& defaults) {
    TextAttributes attributes;
    const QString fontName = defaults.stringForKey(QStringLiteral("DefaultNoteFontName"));
    const double fontSize =
        static_cast<float>(defaults.doubleForKey(QStringLiteral("DefaultNoteFontSize")));
    attributes.font =
        FontRegistry::fontWithName(fontName, fontSize).value_or(FontRegistry::userFontOfSize(14));
    if (const auto color = PMCoderExtensions::colorFromDefaultsValue(
            defaults.objectForKey(QStringLiteral("DefaultNoteTextColor"))))
        attributes.foregroundColor = *color;
    return attributes;
}

// ---- text ------------------------------------------------------------------------------

void PMNoteFile::setNoteText(std::shared_ptr<AttributedString> text) {
    if (undoManager_) undoManager_->push(new PMNoteTextUndoCommand(undoTarget_, *noteText_));
    replaceNoteText(std::move(text));
}

void PMNoteFile::replaceNoteText(std::shared_ptr<AttributedString> text) {
    noteText_ = text ? std::move(text) : std::make_shared<AttributedString>();
}

// ---- writing ---------------------------------------------------------------------------

std::optional<FileWrapper> PMNoteFile::fileWrapper(Error* error) {
    if (!documentAttributes_) documentAttributes_ = RTFDocumentAttributes();
    if (noteAttributes_.backgroundColor())
        documentAttributes_->backgroundColor = *noteAttributes_.backgroundColor();

    QList<PMNoteChecklistItem> checklistItems;
    FileWrapper package = textPackage(*noteText_, *documentAttributes_, &checklistItems);
    if (!package.isDirectory()) {
        Error(kCocoaErrorDomain, 512, QStringLiteral("The note’s text couldn’t be written."))
            .report(error);
        return std::nullopt;
    }
    noteAttributes_.setChecklistItems(checklistItems);
    package.addRegularFile(noteAttributes_.archivedData(), noteAttributesFileName);
    return package;
}

bool PMNoteFile::writeFileWrapper(const FileWrapper& wrapper, const QString& path, Error* error) {
    FileWrapper package = wrapper;
    if (package.isDirectory()) {
        package.removeFileWrapper(noteAttributesFileName);
        package.addRegularFile(noteAttributes_.archivedData(), noteAttributesFileName);
    }
    return writePackage(package, path, error);
}

bool PMNoteFile::writePackage(const FileWrapper& package, const QString& path, Error* error) {
    Error failure;
    if (!package.isDirectory())
        failure = Error(kCocoaErrorDomain, 512,
                        QStringLiteral("The note couldn’t be saved because it isn’t a package."));
    const FileResourceValues kept = resourceValuesToKeep(path);
    if (failure.isNull() && package.writeToPath(path, true, &failure)) {
        setResourceValues(path, kept);  // a failure here is not the note's
        return true;
    }
    systemLog(stringWithFormat(QStringLiteral("Error writing note to %@: %@"), {path, failure}));
    failure.report(error);
    return false;
}

bool PMNoteFile::writeToFile(const QString& path, Error* error) {
    // fileWrapper() has just archived the attributes: archiving them again (a
    // note of many check boxes makes a large archive) would only repeat it.
    const std::optional<FileWrapper> package = fileWrapper(error);
    return package && writePackage(*package, path, error);
}

// ---- reading ---------------------------------------------------------------------------

bool PMNoteFile::readFromFileURL(const QUrl& url, Error* error) {
    if (!url.isLocalFile()) {
        Error(kCocoaErrorDomain, kFileReadUnsupportedSchemeError,
              QStringLiteral("The file couldn’t be opened because the specified URL type isn’t "
                             "supported."))
            .report(error);
        return false;
    }
    const std::optional<FileWrapper> package = FileWrapper::readFromPath(url.toLocalFile(), error);
    if (!package) return false;
    RTFDocumentAttributes documentAttributes;
    std::optional<AttributedString> text =
        RTFDPackage::attributedStringFromFileWrapper(*package, &documentAttributes, error);
    if (!text) return false;

    const QString systemFamily =
        FontRegistry::systemFontOfSize(FontRegistry::systemFontSize()).family();
    const QString userFamily = FontRegistry::userFontOfSize(14).family();
    if (systemFamily != userFamily) text->substituteFontFamily(systemFamily, userFamily);
    documentAttributes_ = documentAttributes;

    noteText_ = std::make_shared<AttributedString>(std::move(*text));
    restoreChecklistsAfterReading(*package);
    setNoteText(noteText_);
    return true;
}

void PMNoteFile::restoreChecklistsAfterReading(const FileWrapper& package) {
    const FileWrapper entry = package.fileWrappers().value(noteAttributesFileName);
    bool trusted = false;
    if (entry.isRegularFile()) {
        Error archiveError;
        const std::optional<PMNoteAttributes> archived =
            PMNoteAttributes::fromArchivedData(entry.regularFileContents(), &archiveError);
        if (archived) {
            noteAttributes_ = *archived;
            trusted = archived->fileVersion() >= PMNoteAttributes::currentFileVersion;
        } else {
            // The text is intact; default attributes lose only view settings.
            systemLog(stringWithFormat(QStringLiteral("Couldn't read note attributes: %@"),
                                       {archiveError}));
        }
    }
    const QList<PMNoteChecklistItem> items =
        trusted ? noteAttributes_.checklistItems().value_or(QList<PMNoteChecklistItem>())
                : PMChecklistExtensions::recoverChecklists(*noteText_);
    noteAttributes_.setChecklistItems(PMChecklistExtensions::restoreChecklists(*noteText_, items));
}
