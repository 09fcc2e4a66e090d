// RTFFontTable: the fonts of an RTF's {\fonttbl} as the reader meets them,
// and the fonts and code pages its text asks for by number. An entry is
// \fN, \fcharsetN and the font's name up to ";"; entries may stand in
// groups of their own, and a name may hold \uN characters (the reader
// decodes the name's bytes and hands over text). The name is a PostScript or
// family name; the entry a number names last wins.
//
// Not thread-safe; one per reading.
#pragma once

#include <QHash>
#include <QString>
#include <map>

#include "platform/richtext/Font.h"

class RTFFontTable {
  public:
    // --- reading {\fonttbl} ---

    // A control word inside the table (\f, \fcharset; others are ignored).
    void tableWord(const QByteArray& word, int parameter);
    // Text of the font name being read.
    void appendName(const QString& text) { name_ += text; }
    // ";": records the entry read so far (its name trimmed) and starts the next one.
    void finishEntry();

    // --- using the table ---

    // \deffN: the font of text that names none.
    void setDefaultFont(int number) { defaultFont_ = number; }
    // The code page of font `number` (-1: the default font) by its character
    // set; 0 when the document's code page applies.
    int codePage(int number) const;
    // Font `number` (-1: the default font) with the traits the text asks
    // for; the user's default font when the table has no name for it.
    Font font(int number, double pointSize, bool bold, bool italic);

  private:
    struct Entry {
        QString name;
        int charset = 0;
    };

    const Entry* entry(int number) const;

    std::map<int, Entry> entries_;
    int defaultFont_ = 0;
    int number_ = 0;
    int charset_ = 0;
    QString name_;
    QHash<QString, Font> fonts_;  // made fonts by name, size and traits
};
