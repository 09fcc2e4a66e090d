#include "platform/richtext/RTFColorTable.h"

#include <algorithm>

void RTFColorTable::tableWord(const QByteArray& word, int parameter) {
    const int value = std::clamp(parameter, 0, 255);
    if (word == "red")
        red_ = value;
    else if (word == "green")
        green_ = value;
    else if (word == "blue")
        blue_ = value;
    else
        return;
    componentsSet_ = true;
}

void RTFColorTable::finishEntry() {
    colors_.push_back(componentsSet_ ? QColor(red_, green_, blue_) : QColor());
    red_ = green_ = blue_ = 0;
    componentsSet_ = false;
}

void RTFColorTable::expandedWord(const QByteArray& word, int parameter) {
    if (word == "c")
        expandedComponents_.push_back(parameter);
    else
        expandedSpace_ = word;
}

void RTFColorTable::finishExpandedEntry() {
    expandedColors_.push_back(expandedColor());
    expandedComponents_.clear();
    expandedSpace_.clear();
}

QColor RTFColorTable::expandedColor() const {
    const auto component = [&](std::size_t i, double fallback) {
        return i < expandedComponents_.size()
                   ? std::clamp(expandedComponents_[i] / 100000.0, 0.0, 1.0)
                   : fallback;
    };
    if (expandedSpace_ == "csgray") {
        const double gray = component(0, 0);
        return QColor::fromRgbF(float(gray), float(gray), float(gray), float(component(1, 1)));
    }
    if (expandedSpace_.isEmpty() || expandedComponents_.size() < 3) return QColor();
    return QColor::fromRgbF(float(component(0, 0)), float(component(1, 0)), float(component(2, 0)),
                            float(component(3, 1)));
}

QColor RTFColorTable::color(int index) const {
    if (index <= 0) return QColor();
    if (std::size_t(index) < expandedColors_.size() && expandedColors_[index].isValid())
        return expandedColors_[index];
    if (std::size_t(index) < colors_.size()) return colors_[index];
    return QColor();
}

bool RTFColorTable::isCocoaNoBackground(int index) const {
    if (index != 1 || colors_.size() < 2) return false;
    const bool expandedEmpty = expandedColors_.size() < 2 || !expandedColors_[1].isValid();
    return expandedEmpty && colors_[1] == QColor(Qt::white);
}
