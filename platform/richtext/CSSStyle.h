// CSSStyle: the declarations of one inline `style` attribute ("color: red;
// font-size: 12px") and the value conversions the HTML importer needs:
// colours, lengths, font sizes, font-family lists, border shorthands and the
// sides of margin and padding shorthands. Custom properties ("--accent-color")
// are declarations like any other.
//
// Lengths come back in points, with one CSS pixel taken as one point (as the
// desktop text system lays out web pages), so "12px" is 12 and "12pt" is 16.
// A plain value; every function is reentrant and never fails: what cannot be
// read comes back as "no value".
#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>

class CSSStyle {
  public:
    CSSStyle() = default;

    // Parses "name: value; name: value". Names are compared case-insensitively;
    // a later declaration of a name wins; "!important" is dropped; semicolons
    // inside quotes or parentheses do not end a declaration.
    static CSSStyle fromDeclarations(const QString& text);

    bool isEmpty() const { return declarations_.isEmpty(); }
    bool contains(const QString& property) const { return !value(property).isNull(); }
    // The trimmed value of `property` (lower-case name); a null QString when absent.
    QString value(const QString& property) const;
    // The value lower-cased, for keyword comparisons.
    QString keyword(const QString& property) const { return value(property).toLower(); }

    // A CSS colour: "#rgb", "#rgba", "#rrggbb", "#rrggbbaa", "rgb()", "rgba()",
    // "hsl()", "hsla()" and the named colours. Partly transparent colours are
    // blended over white; none for "transparent", a fully transparent colour,
    // keywords such as "inherit", and text that is not a colour.
    static std::optional<QColor> color(const QString& text);

    // A length in points. `fontSize` is what "em" means (and half of it "ex"),
    // `rootFontSize` what "rem" means, `percentBase` what "100%" means (none
    // for percentages when it is not positive). A bare number is taken as
    // pixels, as browsers do in quirks mode.
    static std::optional<double> length(const QString& text, double fontSize, double rootFontSize,
                                        double percentBase = 0);

    // A font size in points for `font-size`: absolute keywords scale with
    // `mediumSize` (the default font size), "larger"/"smaller" and relative
    // units with `parentSize`.
    static std::optional<double> fontSize(const QString& text, double parentSize,
                                          double mediumSize);

    // The families of a `font-family` list, unquoted, in order.
    static QStringList fontFamilies(const QString& text);

    // The four sides (top, right, bottom, left) of a one-to-four value
    // shorthand such as `margin: 0 10px`; empty for an empty value.
    static QStringList sides(const QString& text);

    // A border shorthand ("1px solid #ccc") split into its width in points
    // (0 for "none" or "hidden"; "medium" when only a style is given) and its colour.
    struct Border {
        std::optional<double> width;
        std::optional<QColor> color;
    };
    static Border border(const QString& text, double fontSize, double rootFontSize);

  private:
    QList<std::pair<QString, QString>> declarations_;
};
