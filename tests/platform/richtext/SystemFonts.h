// What fontconfig itself reports about the fonts of the machine running the
// tests, and what Qt's own font engine reads in their glyphs, asked directly
// so that font resolution is checked against an independent reading. The
// tests expect some fonts, a fixed-pitch one among them (./run installs the
// DejaVu core fonts for this).
#pragma once

#include <QString>
#include <QStringList>

namespace SystemFonts {

// Every installed family name, sorted.
QStringList families();
// Whether a font of `family` is installed and its glyphs for "i", "m", "W",
// "0" and the space advance alike, as Qt's font engine reads the face Qt
// picks for the family. Not fontconfig's spacing mark: that calls some code
// fonts proportional.
bool isFixedPitch(const QString& family);

}  // namespace SystemFonts
