// TextList: one level of a bulleted or numbered list, as a paragraph style
// carries it. The marker format names the marker with a keyword in braces,
// optionally with literal text around it: "{disc}", "{decimal}.",
// "({lower-alpha})". Keywords: disc, circle, square, hyphen, check, diamond,
// box (bullets); decimal, decimal-leading-zero, lower-roman, upper-roman,
// lower-alpha, upper-alpha, lower-latin, upper-latin, octal, lower-hexadecimal,
// upper-hexadecimal (numbers).
//
// A list has identity: every new TextList gets its own identifier, kept by
// copies, so two separate lists with the same format stay two lists (their
// numbering does not run on). Equality compares identity and properties.
#pragma once

#include <QString>

class TextList {
  public:
    // A new list (a new identity) with the marker format and the first item number.
    explicit TextList(QString markerFormat = QStringLiteral("{disc}"), int startingItemNumber = 1);

    quint64 identifier() const { return identifier_; }
    const QString& markerFormat() const { return markerFormat_; }
    void setMarkerFormat(const QString& format) { markerFormat_ = format; }
    int startingItemNumber() const { return startingItemNumber_; }
    void setStartingItemNumber(int number) { startingItemNumber_ = number; }

    // The keyword between the braces ("disc", "decimal"); empty when there is none.
    QString markerKeyword() const;
    // The literal text before and after the braces ("" and "." for "{decimal}.").
    QString markerPrefix() const;
    QString markerSuffix() const;
    // Whether the marker counts (a number or letter keyword) rather than a bullet.
    bool isOrdered() const;
    // The marker of item `itemNumber` (an absolute number, not an offset):
    // "•" for {disc}, "3." for "{decimal}." and 3, "c" for {lower-alpha} and 3.
    QString markerForItemNumber(int itemNumber) const;
    // The marker symbol alone, without prefix and suffix.
    QString markerSymbolForItemNumber(int itemNumber) const;

    friend bool operator==(const TextList&, const TextList&) = default;

  private:
    quint64 identifier_;
    QString markerFormat_;
    int startingItemNumber_;
};
