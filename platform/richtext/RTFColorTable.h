// RTFColorTable: the colours of an RTF's {\colortbl} and of Cocoa's
// {\*\expandedcolortbl}, as the reader meets them, and the colour of an
// index. Each entry ends with ";". A \colortbl entry without components
// (the usual first one) is "no colour"; components are clamped to 0-255.
// An expanded entry (\csgenericrgb, \cssrgb, \csgray... with \cN
// components in 1/100000) overrides the plain entry of its index when it
// makes a colour. Indexes past the end, or 0 and below, have no colour.
//
// Not thread-safe; one per reading.
#pragma once

#include <QByteArray>
#include <QColor>
#include <vector>

class RTFColorTable {
  public:
    // --- reading {\colortbl} ---

    // \red, \green, \blue inside the table; other words are ignored.
    void tableWord(const QByteArray& word, int parameter);
    // ";" in the table: records the entry read so far.
    void finishEntry();

    // --- reading {\*\expandedcolortbl} ---

    // \cN is a component; any other word names the colour space.
    void expandedWord(const QByteArray& word, int parameter);
    // ";" in the expanded table: records the entry read so far.
    void finishExpandedEntry();

    // --- using the tables ---

    // The colour of `index`; invalid when there is none.
    QColor color(int index) const;
    // Whether `index` is Cocoa's "no background": \cb1 where entry 1 is the
    // plain white that Cocoa puts first and no expanded colour replaces it.
    bool isCocoaNoBackground(int index) const;

  private:
    QColor expandedColor() const;

    std::vector<QColor> colors_;
    std::vector<QColor> expandedColors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool componentsSet_ = false;
    std::vector<int> expandedComponents_;
    QByteArray expandedSpace_;
};
