#include "platform/richtext/RTFDPackage.h"

#include <QHash>

#include "platform/richtext/RTFReader.h"
#include "platform/richtext/RTFWriter.h"

namespace RTFDPackage {
namespace {

constexpr long kFileReadCorruptFileError = 259;

Error missingTextError() {
    return Error(
        QStringLiteral("NSCocoaErrorDomain"), kFileReadCorruptFileError,
        QStringLiteral("The file couldn’t be opened because it isn’t in the correct format."));
}

}  // namespace

FileWrapper fileWrapperFromAttributedString(const AttributedString& text,
                                            const RTFDocumentAttributes& documentAttributes) {
    FileWrapper package = FileWrapper::directory();
    // The text file's name is reserved before any attachment can take it.
    package.addRegularFile(QByteArray(), QLatin1String(TextFileName));
    QHash<qsizetype, QString> names;
    // A file shown many times (copies of one wrapper) is stored once, every
    // showing naming it.
    QHash<const void*, QString> stored;
    text.enumerateAttachments(
        {0, text.length()}, [&](const TextAttachment& attachment, const TextRange& range, bool&) {
            const FileWrapper& wrapper = attachment.fileWrapper();
            if (wrapper.isNull()) return;
            auto name = stored.find(wrapper.identity());
            if (name == stored.end())
                name = stored.insert(wrapper.identity(), package.addFileWrapper(wrapper));
            names.insert(range.location, name.value());
        });
    RTFWriter writer(text, documentAttributes);
    writer.setAttachmentFileNames(names);
    package.removeFileWrapper(QLatin1String(TextFileName));
    package.addRegularFile(writer.data(), QLatin1String(TextFileName));
    return package;
}

std::optional<AttributedString> attributedStringFromFileWrapper(
    const FileWrapper& package, RTFDocumentAttributes* documentAttributes, Error* error) {
    const QMap<QString, FileWrapper> entries = package.fileWrappers();
    const FileWrapper textFile = entries.value(QLatin1String(TextFileName));
    if (!textFile.isRegularFile()) return missingTextError().report(error), std::nullopt;

    RTFReader reader(textFile.regularFileContents());
    if (!reader.read(error)) return std::nullopt;
    AttributedString text = reader.attributedString();
    for (const RTFAttachmentReference& reference : reader.attachments()) {
        // Only an entry of this package can be named; a name with path
        // components ("../x") simply names no entry.
        const auto entry = entries.constFind(reference.fileName);
        if (entry == entries.constEnd() || reference.fileName == QLatin1String(TextFileName))
            continue;
        text.modifyAttributes({reference.index, 1}, [&](TextAttributes& attributes) {
            if (attributes.attachment) attributes.attachment->setFileWrapper(entry.value());
        });
    }
    if (documentAttributes) *documentAttributes = reader.documentAttributes();
    return text;
}

bool writeToPath(const AttributedString& text, const QString& path,
                 const RTFDocumentAttributes& documentAttributes, Error* error) {
    return fileWrapperFromAttributedString(text, documentAttributes).writeToPath(path, true, error);
}

std::optional<AttributedString> readFromPath(const QString& path,
                                             RTFDocumentAttributes* documentAttributes,
                                             Error* error) {
    const std::optional<FileWrapper> package = FileWrapper::readFromPath(path, error);
    if (!package) return std::nullopt;
    if (!package->isDirectory()) return missingTextError().report(error), std::nullopt;
    return attributedStringFromFileWrapper(*package, documentAttributes, error);
}

}  // namespace RTFDPackage
