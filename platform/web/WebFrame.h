// WebFrame: one frame of a page the WebPageLoader loaded (the main frame or a
// frame/iframe inside it), with what its data source holds: the main
// resource (the document), every subresource the frame loaded, and its child
// frames.
//
// webArchive() is the frame's own archive of its document: the main resource,
// the subresources that the markup itself names (images, style sheets, icons,
// backgrounds in style attributes and style elements) and the archives of the
// child frames that loaded. What only a style sheet file names (its url(...)
// images and fonts, its @import sheets) is loaded and listed in
// subresources(), but left out of that archive.
//
// Frames are made, filled and owned by their WebPageLoader (a child by its
// parent) and live until the loader is destroyed or starts another load.
// Main thread only.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>
#include <memory>
#include <vector>

#include "platform/web/WebArchive.h"
#include "platform/web/WebResource.h"

class WebFrame {
  public:
    WebFrame(QString name, QUrl requestedURL, WebFrame* parent);
    WebFrame(const WebFrame&) = delete;
    WebFrame& operator=(const WebFrame&) = delete;

    // The frame's name ("" for the main frame and for frames without one).
    const QString& name() const { return name_; }
    WebFrame* parentFrame() const { return parent_; }
    // The URL asked for; after a load, url() is where redirects ended.
    const QUrl& requestedURL() const { return requestedURL_; }
    QUrl url() const { return hasDocument() ? mainResource_.url() : requestedURL_; }

    // Whether the document arrived (the load was committed).
    bool hasDocument() const { return hasDocument_; }
    const WebResource& mainResource() const { return mainResource_; }
    // Every subresource loaded, in the order the page referred to them.
    QList<WebResource> subresources() const;
    // The child frames whose documents arrived, in document order.
    QList<WebFrame*> childFrames() const;
    // The first frame named `name` among the descendants (breadth first), or
    // nullptr. An empty name finds nothing.
    WebFrame* findFrameNamed(const QString& name) const;

    // The frame's own archive (see above). REQUIRES: hasDocument().
    WebArchive webArchive() const;

  private:
    friend class WebPageLoader;
    struct Slot {
        QUrl url;
        bool fromDocument = true;
        bool loaded = false;
        WebResource resource;
    };

    // Reserves a place for a subresource in reference order; returns its
    // index, or -1 when the URL already has one.
    int reserveSubresource(const QUrl& url, bool fromDocument);
    void setSubresource(int slot, const WebResource& resource);
    void setMainResource(const WebResource& resource);
    WebFrame* addChildFrame(const QString& name, const QUrl& url);
    void removeChildFrame(WebFrame* child);
    qsizetype subresourceSlotCount() const { return slots_.size(); }

    QString name_;
    QUrl requestedURL_;
    WebFrame* parent_;
    bool hasDocument_ = false;
    WebResource mainResource_;
    std::vector<Slot> slots_;
    QHash<QString, int> slotByURL_;
    std::vector<std::unique_ptr<WebFrame>> children_;
};
