// Completing a frame's own web archive with what the frame loaded but the
// archive left out.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include "platform/plist/PlistValue.h"
#include "platform/web/WebFrame.h"

namespace EvernoteWebFrameExtensions {

// Response URL text (absolute) → keyed archive of that response (under "root").
using CachedResponses = QHash<QString, QByteArray>;

// The archive dictionary `dictionary` of `frame`, completed:
//  - "WebSubresources": the existing entries unchanged and first, then one
//    dictionary for each subresource of the frame whose URL text is not among
//    the existing "WebResourceURL" values, in the frame's order, with
//    "WebResourceData", "WebResourceURL", "WebResourceMIMEType" (when not
//    empty) and "WebResourceResponse" (when `cachedResponses` has the URL: the
//    cached response archived under the top-level key "WebResourceResponse").
//    Resources without bytes or without a URL are not added.
//  - "WebSubframeArchives": rebuilt; each entry whose main resource's
//    "WebResourceFrameName" is not empty and names a frame that `frame` finds
//    is completed the same way with that frame; the others are dropped.
//    Always present, possibly empty.
// `dictionary` itself is not changed. Main thread (frames belong to it).
PlistDictionary webArchiveDictionaryWithDictionary(const WebFrame& frame,
                                                   const PlistDictionary& dictionary,
                                                   const CachedResponses& cachedResponses);

}  // namespace EvernoteWebFrameExtensions
