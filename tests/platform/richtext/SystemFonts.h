// What fontconfig itself reports about the fonts of the machine running the
// tests, asked directly so that font resolution is checked against an
// independent reading. The tests expect some fonts, a fixed-pitch one among
// them (./run installs the DejaVu core fonts for this).
#pragma once

#include <QString>
#include <QStringList>

namespace SystemFonts {

// Every installed family name, sorted.
QStringList families();
// Whether a font of `family` is installed and fontconfig marks it fixed-pitch.
bool isFixedPitch(const QString& family);

}  // namespace SystemFonts
