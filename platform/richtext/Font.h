// Font: the font of a text run as the rich-text model stores it: family name,
// PostScript name, point size and the bold and italic traits. A plain value;
// FontRegistry makes fonts whose names agree with each other.
#pragma once

#include <QFont>
#include <QString>

class Font {
  public:
    Font() = default;
    Font(QString family, QString postScriptName, double pointSize, bool bold = false,
         bool italic = false);

    // A font with neither a family nor a PostScript name.
    bool isNull() const { return family_.isEmpty() && postScriptName_.isEmpty(); }

    const QString& family() const { return family_; }
    void setFamily(const QString& family) { family_ = family; }
    const QString& postScriptName() const { return postScriptName_; }
    void setPostScriptName(const QString& name) { postScriptName_ = name; }
    double pointSize() const { return pointSize_; }
    void setPointSize(double size) { pointSize_ = size; }
    bool isBold() const { return bold_; }
    void setBold(bool bold) { bold_ = bold; }
    bool isItalic() const { return italic_; }
    void setItalic(bool italic) { italic_ = italic; }

    // The same font at another size.
    Font withPointSize(double size) const;
    // A QFont for measuring or drawing (family, point size, weight, style).
    QFont toQFont() const;

    friend bool operator==(const Font&, const Font&) = default;

  private:
    QString family_;
    QString postScriptName_;
    double pointSize_ = 0;
    bool bold_ = false;
    bool italic_ = false;
};
