#include "platform/richtext/Font.h"

#include <utility>

Font::Font(QString family, QString postScriptName, double pointSize, bool bold, bool italic)
    : family_(std::move(family)),
      postScriptName_(std::move(postScriptName)),
      pointSize_(pointSize),
      bold_(bold),
      italic_(italic) {}

Font Font::withPointSize(double size) const {
    Font copy = *this;
    copy.pointSize_ = size;
    return copy;
}

QFont Font::toQFont() const {
    QFont font(family_);
    if (pointSize_ > 0) font.setPointSizeF(pointSize_);
    font.setBold(bold_);
    font.setItalic(italic_);
    return font;
}
