#include "enex/EvernoteENMLImportDelegate.h"

#include <QImageReader>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "platform/richtext/HTMLImageSource.h"
#include "platform/uti/UniformTypes.h"
#include "util/ConversionWarnings.h"
#include "util/FileNameRules.h"

namespace {

const QString kMedia = QStringLiteral("en-media");
const QString kHash = QStringLiteral("hash");
const QString kHiddenPassage = QStringLiteral("********");

bool isNamed(const XMLNode& node, const QString& name) {
    return node.isElement() && node.name().compare(name, Qt::CaseInsensitive) == 0;
}

double dimension(const XMLNode& media, const QString& name) {
    return std::max(0.0, media.attribute(name).trimmed().remove(QLatin1String("px")).toDouble());
}

}  // namespace

EvernoteENMLImportDelegate::EvernoteENMLImportDelegate(
    const std::vector<std::unique_ptr<EvernoteXMLResource>>& resources, const QString& noteTitle)
    : resources_(resources), noteTitle_(noteTitle) {}

void EvernoteENMLImportDelegate::indexResources() {
    if (indexed_) return;
    indexed_ = true;
    for (const auto& resource : resources_) {
        Error hashError;
        const auto digest = resource->md5Hash(&hashError);
        if (!digest) {
            ConversionWarnings::log(stringWithFormat(
                QStringLiteral(
                    "Attachment \"%@\" of note \"%@\" cannot be decoded and is left out: %@"),
                {resource->attributes.filename, noteTitle_, hashError}));
            continue;
        }
        byDigest_[*digest].resources.append(resource.get());
    }
}

void EvernoteENMLImportDelegate::appendUnreferencedResources(XMLDocument& document, XMLNode note) {
    if (resources_.empty()) return;
    indexResources();
    QHash<QString, qsizetype> references;
    for (const XMLNode& media : document.nodesForXPath(QStringLiteral(".//en-media"), note))
        ++references[media.attribute(kHash).trimmed().toLower()];
    QHash<QString, qsizetype> seen;
    for (const auto& resource : resources_) {
        const auto digest = resource->md5Hash();
        if (!digest || seen[*digest]++ < references.value(*digest)) continue;
        ConversionWarnings::log(
            stringWithFormat(QStringLiteral("Attachment \"%@\" of note \"%@\" is not shown "
                                            "in the note's text; it is added at the end."),
                             {resource->attributes.filename, noteTitle_}));
        XMLNode block = note.addChild(document.createElement(QStringLiteral("div")));
        XMLNode media = block.addChild(document.createElement(kMedia));
        media.setAttribute(kHash, *digest);
        if (!resource->mime.isEmpty()) media.setAttribute(QStringLiteral("type"), resource->mime);
    }
}

QString EvernoteENMLImportDelegate::fileNameForResource(const EvernoteXMLResource& resource,
                                                        const QString& type) {
    const QString own = QVExtensions::attachmentFileName(resource.attributes.filename);
    // An image must end in its type's extension for readers to show it as a
    // picture: "photo.png?size=large" gets ".png" appended (then fitted).
    if (!own.isEmpty() && UniformTypes::conformsTo(type, QStringLiteral("public.image")))
        return QVExtensions::attachmentFileName(
            UniformTypes::fileNameWithExtensionForType(own, type));
    if (!own.isEmpty()) return own;
    const QString extension = UniformTypes::preferredExtension(type);
    return extension.isEmpty() ? resource.identifier : resource.identifier + u'.' + extension;
}

EvernoteXMLResource* EvernoteENMLImportDelegate::resourceForMedia(const XMLNode& media) {
    indexResources();
    const auto found = byDigest_.find(media.attribute(kHash).trimmed().toLower());
    if (found == byDigest_.end() || found->resources.isEmpty()) return nullptr;
    Candidates& candidates = *found;
    return candidates.resources.at(std::min(candidates.used++, candidates.resources.size() - 1));
}

void EvernoteENMLImportDelegate::startOver() {
    for (Candidates& candidates : byDigest_) candidates.used = 0;
}

std::optional<HTMLReplacement> EvernoteENMLImportDelegate::replacementForElement(
    const XMLNode& element) {
    if (isNamed(element, QStringLiteral("en-crypt")))
        return HTMLReplacement{std::nullopt, kHiddenPassage};
    if (!isNamed(element, kMedia)) return std::nullopt;
    EvernoteXMLResource* resource = resourceForMedia(element);
    if (!resource) return HTMLReplacement{std::nullopt, localizedString("[Missing Attachment]")};
    return attachmentForMedia(element, *resource);
}

FileWrapper EvernoteENMLImportDelegate::fileWrapperForResource(EvernoteXMLResource& resource,
                                                               const QString& name) {
    const auto key = qMakePair(static_cast<const EvernoteXMLResource*>(&resource), name);
    if (const auto found = wrappers_.constFind(key); found != wrappers_.constEnd())
        return found.value();
    // A large attachment stays in its file: the package takes the file itself.
    const QString file = resource.contentsPath();
    const FileWrapper wrapper =
        file.isEmpty()
            ? FileWrapper::regularFile(resource.getContentData().value_or(QByteArray()), name)
            : FileWrapper::regularFileWithContentsOfPath(file, name);
    wrappers_.insert(key, wrapper);
    return wrapper;
}

HTMLReplacement EvernoteENMLImportDelegate::attachmentForMedia(const XMLNode& media,
                                                               EvernoteXMLResource& resource) {
    QString mime = media.attribute(QStringLiteral("type")).trimmed();
    if (mime.isEmpty()) mime = resource.mime;
    const QString type = UniformTypes::preferredIdentifierForMIMEType(mime);
    TextAttachment attachment(
        fileWrapperForResource(resource, fileNameForResource(resource, type)));
    if (UniformTypes::conformsTo(type, QStringLiteral("public.image"))) {
        const QSizeF requested(dimension(media, QStringLiteral("width")),
                               dimension(media, QStringLiteral("height")));
        const QString file = attachment.fileWrapper().contentsPath();
        if (requested.width() > 0 || requested.height() > 0)
            attachment.setDisplaySize(
                file.isEmpty() ? HTMLImageSource::scaledSize(
                                     requested, attachment.fileWrapper().regularFileContents())
                               : HTMLImageSource::scaledSize(requested, QImageReader(file).size()));
    }
    return HTMLReplacement{attachment, QString()};
}
