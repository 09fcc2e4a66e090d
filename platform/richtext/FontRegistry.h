// FontRegistry: finds fonts by family or PostScript name and supplies the
// user's default font and the system font. With a QGuiApplication the
// installed fonts are asked through QFontDatabase; with only a
// QCoreApplication (the command line) names are taken as given, so a lookup
// never needs a display. Names of the common desktop fonts are known without
// the database so that text written here names the same faces elsewhere.
// All functions are thread-safe.
#pragma once

#include <QString>
#include <optional>

#include "platform/richtext/Font.h"

namespace FontRegistry {

// The generic family an RTF font table records (\fswiss, \froman, \fmodern, \fnil).
enum class GenericFamily { Unknown, SansSerif, Serif, Monospace };

// The font named `name` (a PostScript name such as "Helvetica-Bold" or a family
// name such as "Helvetica") at `pointSize` (0 or less means 12). None when the
// name is empty, or when the font database is available and neither knows it
// nor is it a well-known desktop font.
std::optional<Font> fontWithName(const QString& name, double pointSize);
// The face of `family` with the given traits; never fails (unknown families
// get a PostScript name made from the family name).
Font fontWithFamily(const QString& family, double pointSize, bool bold = false,
                    bool italic = false);
// The font a document names by PostScript name, with the traits its text
// asks for: keeps the name when its face has those traits, else names the
// family's face that has them. Never fails.
Font fontForPostScriptName(const QString& postScriptName, double pointSize, bool bold, bool italic);
// The user's default font for text (Helvetica; 12 points when size is 0 or less).
Font userFontOfSize(double pointSize);
// The platform's interface font at `pointSize` (systemFontSize() when 0 or less).
Font systemFontOfSize(double pointSize);
// The size of the interface font in points.
double systemFontSize();

// The family of a PostScript name ("TimesNewRomanPS-BoldMT" gives "Times New Roman").
QString familyForPostScriptName(const QString& postScriptName);
// The PostScript name of a family's face ("Helvetica", bold gives "Helvetica-Bold").
QString postScriptNameForFamily(const QString& family, bool bold, bool italic);
// The generic family of a family name, for font tables: known families by
// their table, others by the words in their name, and an installed family
// whose glyphs are fixed-pitch (InstalledFonts::isFixedPitch) as Monospace,
// with or without a font database.
GenericFamily genericFamily(const QString& family);
// Whether installed fonts can be asked (a QGuiApplication exists).
bool hasFontDatabase();

}  // namespace FontRegistry
