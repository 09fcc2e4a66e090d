// WebSubresourceScanner: finds what a page or a style sheet refers to, the
// way a browser with scripting off would load it:
//  - in HTML: img src and srcset, picture source srcset, input type=image,
//    link rel=stylesheet (a style sheet) and rel=…icon… (an image), the
//    background attribute of body and table cells, url(...) in style
//    attributes, style elements (read as style sheets), and frame and iframe
//    src (subframes, with their names); <base href> is honoured. Scripts are
//    never listed.
//  - in CSS: @import (a style sheet) and url(...) (a resource); comments and
//    strings elsewhere are skipped.
// URLs come back resolved and without fragments, in document order, each once
// per call; only http, https and file URLs are kept (data:, javascript:,
// about: and the like are dropped).
//
// Pure functions; thread-safe.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

class WebSubresourceScanner {
  public:
    struct Reference {
        enum class Kind { Resource, StyleSheet };
        QUrl url;
        Kind kind = Kind::Resource;
        // True for what the markup itself names (element attributes, style
        // attributes, style elements); false for what a style sheet file names.
        bool fromDocument = true;
    };
    struct FrameReference {
        QUrl url;
        QString name;  // the name attribute, "" when absent
    };
    struct PageReferences {
        QList<Reference> subresources;
        QList<FrameReference> frames;
        // The charset a <meta> element declares, or "".
        QString declaredTextEncoding;
    };

    // Scans an HTML page loaded from `pageURL`.
    static PageReferences scanHTML(const QByteArray& html, const QUrl& pageURL);
    // Scans a style sheet whose URL (or, for a style element, whose page's base URL) is `baseURL`.
    static QList<Reference> scanStyleSheet(const QString& css, const QUrl& baseURL);
    // The URLs of a srcset attribute value, in order ("a.png 1x, b.png 2x" → a.png, b.png).
    static QStringList srcsetURLs(const QString& srcset);
    // True for the schemes the page loader fetches: http, https and file.
    static bool isLoadableURL(const QUrl& url);
};
