// RTFDPackage: rich text with attachments as an RTFD package: a folder
// holding "TXT.rtf" and one file (or folder) per attachment, named as the
// RTF's NeXTGraphic groups refer to them. Equal preferred names are made
// unique ("1__name.png"); names are single safe path components, and a name
// read from an RTF only ever selects an entry of the package itself, so no
// name can reach outside the package.
//
// Errors: domain "NSCocoaErrorDomain"; 259 when the package has no readable
// "TXT.rtf" or it is not RTF; file errors as FileWrapper reports them.
// Reentrant.
#pragma once

#include <QString>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/richtext/AttributedString.h"
#include "platform/richtext/FileWrapper.h"
#include "platform/richtext/RTFDocumentAttributes.h"

namespace RTFDPackage {

// The name of the RTF text inside a package.
inline const char* const TextFileName = "TXT.rtf";

// The package of `text` as a directory wrapper. Attachments without a file
// are referred to by name only; attachments holding copies of one file
// wrapper (FileWrapper::identity) share one file in the package.
FileWrapper fileWrapperFromAttributedString(const AttributedString& text,
                                            const RTFDocumentAttributes& documentAttributes = {});

// The text of a package wrapper; each attachment holds its file's wrapper (a
// null wrapper carrying the name when the package lacks that file). Fills
// `documentAttributes` when given. None with the error on failure.
std::optional<AttributedString> attributedStringFromFileWrapper(
    const FileWrapper& package, RTFDocumentAttributes* documentAttributes = nullptr,
    Error* error = nullptr);

// Writes the package of `text` to the folder `path`, atomically replacing
// what is there. False with the error on failure.
bool writeToPath(const AttributedString& text, const QString& path,
                 const RTFDocumentAttributes& documentAttributes = {}, Error* error = nullptr);

// Reads the package folder at `path`.
std::optional<AttributedString> readFromPath(const QString& path,
                                             RTFDocumentAttributes* documentAttributes = nullptr,
                                             Error* error = nullptr);

}  // namespace RTFDPackage
