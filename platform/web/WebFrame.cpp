#include "platform/web/WebFrame.h"

#include <deque>

WebFrame::WebFrame(QString name, QUrl requestedURL, WebFrame* parent)
    : name_(std::move(name)), requestedURL_(std::move(requestedURL)), parent_(parent) {}

QList<WebResource> WebFrame::subresources() const {
    QList<WebResource> resources;
    for (const Slot& slot : slots_)
        if (slot.loaded) resources.append(slot.resource);
    return resources;
}

QList<WebFrame*> WebFrame::childFrames() const {
    QList<WebFrame*> frames;
    for (const auto& child : children_)
        if (child->hasDocument()) frames.append(child.get());
    return frames;
}

WebFrame* WebFrame::findFrameNamed(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    std::deque<const WebFrame*> queue{this};
    while (!queue.empty()) {
        const WebFrame* frame = queue.front();
        queue.pop_front();
        for (WebFrame* child : frame->childFrames()) {
            if (child->name() == name) return child;
            queue.push_back(child);
        }
    }
    return nullptr;
}

WebArchive WebFrame::webArchive() const {
    QList<WebResource> resources;
    for (const Slot& slot : slots_)
        if (slot.loaded && slot.fromDocument) resources.append(slot.resource);
    std::vector<WebArchive> frames;
    for (WebFrame* child : childFrames()) frames.push_back(child->webArchive());
    return WebArchive(mainResource_, resources, std::move(frames));
}

int WebFrame::reserveSubresource(const QUrl& url, bool fromDocument) {
    const QString key = url.toString(QUrl::FullyEncoded);
    if (slotByURL_.contains(key)) return -1;
    const int index = static_cast<int>(slots_.size());
    slotByURL_.insert(key, index);
    slots_.push_back({url, fromDocument, false, {}});
    return index;
}

void WebFrame::setSubresource(int slot, const WebResource& resource) {
    slots_[slot].resource = resource;
    slots_[slot].loaded = true;
}

void WebFrame::setMainResource(const WebResource& resource) {
    mainResource_ = resource;
    mainResource_.setFrameName(name_);
    hasDocument_ = true;
}

WebFrame* WebFrame::addChildFrame(const QString& name, const QUrl& url) {
    children_.push_back(std::make_unique<WebFrame>(name, url, this));
    return children_.back().get();
}

void WebFrame::removeChildFrame(WebFrame* child) {
    std::erase_if(children_, [child](const auto& owned) { return owned.get() == child; });
}
