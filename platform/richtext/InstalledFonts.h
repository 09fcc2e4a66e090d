// InstalledFonts: what fontconfig knows of this system's fonts: whether a
// family is installed, and which family the system has configured for each
// generic family of CSS (monospace, serif, sans-serif, cursive, fantasy,
// system-ui), and whether a family is fixed-pitch. fontconfig is asked rather than QFontDatabase
// because imports run headless (the command line has only a QCoreApplication, and the font database
// needs a QGuiApplication) and on several threads at once; fontconfig needs neither a display nor
// the GUI thread.
//
// Answers are cached for the life of the process. Every function is
// thread-safe. When fontconfig cannot start or has no font at all, every
// answer is empty, so callers keep the names they were given.
#pragma once

#include <QString>

class InstalledFonts {
  public:
    // The installed family called `family`, compared as fontconfig compares
    // family names (ignoring case and spaces) and spelt as installed
    // ("dejavu sans mono" gives "DejaVu Sans Mono"). Empty when no installed
    // font has that family name; aliases that only stand for another family
    // (a metric-compatible substitute) do not count as installed.
    static QString installedFamily(const QString& family);

    // The fontconfig generic that a CSS family name stands for ("monospace"
    // and "ui-monospace" give "monospace"; "-apple-system" gives "system-ui"),
    // case ignored. Empty when `name` is not a generic family.
    static QString genericName(const QString& name);

    // The family the system has configured for a CSS generic family name
    // (fontconfig's best match for it). Empty when `name` is not a generic
    // family or fontconfig has no font.
    static QString familyForGeneric(const QString& name);

    // The first of `names` available here: an installed family, or the
    // configured family of a generic name. Empty when none is.
    static QString firstAvailableFamily(const QStringList& names);

    // Whether the installed family `family` is fixed-pitch: fontconfig marks
    // its regular face mono-spaced, or that face's glyphs for "i", "m", "W",
    // "0" and the space advance alike (within 1%). fontconfig's own mark is
    // not enough: it calls a font proportional when any glyph at all (a
    // combining mark, a ligature) differs, as in several code fonts. False
    // when the family is not installed or its face cannot be read.
    static bool isFixedPitch(const QString& family);
};
