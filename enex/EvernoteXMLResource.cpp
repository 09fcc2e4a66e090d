#include "enex/EvernoteXMLResource.h"

#include <Quorvel/QVFExtensions.h>

#include <QFileInfo>

#include "platform/foundation/DateText.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Localization.h"
#include "platform/uti/UniformTypes.h"
#include "util/Base64.h"

EvernoteXMLResource::EvernoteXMLResource() : identifier(makeUUIDString()) {}

std::optional<QByteArray> EvernoteXMLResource::getContentData(Error* error) {
    if (contentData_) return contentData_;
    if (base64Data.isEmpty() && !decoder_.hasInput() && !decodeFailed_) {
        Error(kEvernoteXMLResourceErrorDomain, EvernoteXMLResourceNoContentData,
              localizedString("No content data for resource."))
            .report(error);
        return std::nullopt;
    }
    if (!decodeFailed_) {
        decoder_.append(base64Data);
        base64Data.clear();  // the decoded bytes replace their text: a large attachment is held once
        contentData_ = decoder_.finish();
        decodeFailed_ = !contentData_;
    }
    if (decodeFailed_) {
        Error(kEvernoteXMLResourceErrorDomain, EvernoteXMLResourceInvalidContentData,
              localizedString("Invalid content data for resource."))
            .report(error);
        return std::nullopt;
    }
    return contentData_;
}

std::optional<QString> EvernoteXMLResource::md5Hash(Error* error) {
    if (md5Hash_) return md5Hash_;
    const auto data = getContentData(error);
    if (!data) return std::nullopt;
    const auto digest = QVFExtensions::MD5Checksum(*data);
    if (!digest) return std::nullopt;
    md5Hash_ = QVFExtensions::hexadecimalString(*digest);
    return md5Hash_;
}

int EvernoteXMLResource::itemType() const {
    QString type;
    if (!mime.isEmpty()) {
        type = UniformTypes::preferredIdentifierForMIMEType(mime);
    } else {
        const QString extension = QFileInfo(attributes.filename).suffix();
        if (extension.isEmpty()) return EvernoteItemTypeDocument;
        type = UniformTypes::preferredIdentifierForExtension(extension);
    }
    const std::pair<const char*, int> order[] = {
        {"public.image", EvernoteItemTypeImage},
        {"public.movie", EvernoteItemTypeMovie},
        {"public.audio", EvernoteItemTypeSound},
        {"com.apple.webarchive", EvernoteItemTypeWebPage},
        {"public.html", EvernoteItemTypeWebPage},
        {"com.apple.web-internet-location", EvernoteItemTypeBookmark},
    };
    for (const auto& [parent, itemType] : order)
        if (UniformTypes::conformsTo(type, QString::fromLatin1(parent))) return itemType;
    return EvernoteItemTypeDocument;
}

bool EvernoteXMLResource::writeToURL(const QString& path, Error* error) {
    const auto data = getContentData(error);
    if (!data) return false;
    // The system's own reason (a full disk, a read-only folder) travels with the error.
    return FileOperations::writeFile(path, *data, FileOperations::WriteMode::Truncate, error);
}
