// HTMLImageSource: turns the `src` of an HTML image into a text attachment
// for the HTML importer. Images come from two places only:
//  - files in the HTML document's folder or below it: a relative `src` is
//    looked up as a plain relative path first (file names written into the
//    HTML unescaped, such as "photo #1.png") and then as a URL relative to
//    the document; a path that leaves the folder (through "..", an absolute
//    path or a symbolic link) is refused;
//  - "data:" URLs, base64 or percent-encoded.
// Nothing is fetched from the network: "http:" and other remote sources are
// refused, as is every file source when the document has no local folder.
//
// Reentrant; reads files on the calling thread.
#pragma once

#include <QSizeF>
#include <QString>
#include <QUrl>
#include <optional>

#include "platform/richtext/TextAttachment.h"

class HTMLImageSource {
  public:
    // Images are read for a document at `documentURL` (the HTML file's URL, or
    // its folder's URL ending in "/"); an empty or remote URL allows only "data:" images.
    explicit HTMLImageSource(const QUrl& documentURL);

    // The attachment holding the image that `source` names, with
    // `displaySize` (in points, width or height 0 when not given: the other is
    // then taken from the image's own proportions). None when the source is
    // refused, names no readable file or holds no data.
    std::optional<TextAttachment> attachmentForSource(const QString& source,
                                                      const QSizeF& displaySize = QSizeF()) const;

    // The file made from a "data:" URL ("data:image/png;base64,..."), named
    // "image" with the MIME type's extension; none when the URL is malformed.
    static std::optional<FileWrapper> fileWrapperFromDataURL(const QString& url);

    // Whether `path` names a regular file inside the document's folder (after
    // resolving symbolic links).
    bool isAllowedPath(const QString& path) const;

    // `requested` (width or height 0 when not given) completed from the
    // proportions of `image` (encoded image bytes); empty when only one side
    // is given and the image cannot be read.
    static QSizeF scaledSize(const QSizeF& requested, const QByteArray& image);
    // The same for an image whose own size (in pixels) is `natural`; invalid
    // when one side is needed and `natural` is not.
    static QSizeF scaledSize(const QSizeF& requested, const QSize& natural);

  private:
    std::optional<FileWrapper> fileWrapperForSource(const QString& source) const;

    QUrl documentURL_;
    QString folder_;           // absolute, as given
    QString canonicalFolder_;  // empty when there is no local folder
};
