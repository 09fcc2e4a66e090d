#include "platform/richtext/FontRegistry.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>
#include <array>

#include "platform/richtext/InstalledFonts.h"

namespace FontRegistry {
namespace {

// Well-known desktop faces: the PostScript names of regular, bold, italic and
// bold italic faces (empty when the face does not exist).
struct KnownFamily {
    const char* family;
    std::array<const char*, 4> faces;
    GenericFamily generic;
};

constexpr KnownFamily kKnownFamilies[] = {
    {"Helvetica",
     {"Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique"},
     GenericFamily::SansSerif},
    {"Helvetica Neue",
     {"HelveticaNeue", "HelveticaNeue-Bold", "HelveticaNeue-Italic", "HelveticaNeue-BoldItalic"},
     GenericFamily::SansSerif},
    {"Arial",
     {"ArialMT", "Arial-BoldMT", "Arial-ItalicMT", "Arial-BoldItalicMT"},
     GenericFamily::SansSerif},
    {"Verdana",
     {"Verdana", "Verdana-Bold", "Verdana-Italic", "Verdana-BoldItalic"},
     GenericFamily::SansSerif},
    {"Lucida Grande", {"LucidaGrande", "LucidaGrande-Bold", "", ""}, GenericFamily::SansSerif},
    {"Gill Sans",
     {"GillSans", "GillSans-Bold", "GillSans-Italic", "GillSans-BoldItalic"},
     GenericFamily::SansSerif},
    {"Times",
     {"Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic"},
     GenericFamily::Serif},
    {"Times New Roman",
     {"TimesNewRomanPSMT", "TimesNewRomanPS-BoldMT", "TimesNewRomanPS-ItalicMT",
      "TimesNewRomanPS-BoldItalicMT"},
     GenericFamily::Serif},
    {"Georgia",
     {"Georgia", "Georgia-Bold", "Georgia-Italic", "Georgia-BoldItalic"},
     GenericFamily::Serif},
    {"Palatino",
     {"Palatino-Roman", "Palatino-Bold", "Palatino-Italic", "Palatino-BoldItalic"},
     GenericFamily::Serif},
    {"Courier",
     {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"},
     GenericFamily::Monospace},
    {"Courier New",
     {"CourierNewPSMT", "CourierNewPS-BoldMT", "CourierNewPS-ItalicMT",
      "CourierNewPS-BoldItalicMT"},
     GenericFamily::Monospace},
    {"Menlo",
     {"Menlo-Regular", "Menlo-Bold", "Menlo-Italic", "Menlo-BoldItalic"},
     GenericFamily::Monospace},
    {"Monaco", {"Monaco", "", "", ""}, GenericFamily::Monospace},
};

constexpr double kDefaultPointSize = 12.0;
constexpr double kCocoaSystemFontSize = 13.0;
const char* const kUserFontFamily = "Helvetica";

int faceIndex(bool bold, bool italic) { return (bold ? 1 : 0) + (italic ? 2 : 0); }

const KnownFamily* knownFamilyNamed(const QString& family) {
    for (const KnownFamily& known : kKnownFamilies)
        if (family.compare(QLatin1String(known.family), Qt::CaseInsensitive) == 0) return &known;
    return nullptr;
}

// The known family and face index of a PostScript name, if it is one.
const KnownFamily* knownFamilyOfFace(const QString& postScriptName, int* face) {
    for (const KnownFamily& known : kKnownFamilies)
        for (int i = 0; i < 4; ++i)
            if (postScriptName == QLatin1String(known.faces[i])) {
                *face = i;
                return &known;
            }
    return nullptr;
}

// Style suffixes of PostScript names and the traits they carry.
struct StyleSuffix {
    const char* suffix;
    bool bold;
    bool italic;
};
constexpr StyleSuffix kStyleSuffixes[] = {
    {"BoldItalic", true, true}, {"BoldOblique", true, true}, {"Bold", true, false},
    {"Italic", false, true},    {"Oblique", false, true},    {"Regular", false, false},
    {"Roman", false, false},    {"Medium", false, false},    {"Light", false, false},
    {"Semibold", true, false},  {"Heavy", true, false},      {"Black", true, false},
};

const StyleSuffix* styleSuffixOf(const QString& postScriptName, qsizetype* dash) {
    *dash = postScriptName.lastIndexOf(QLatin1Char('-'));
    if (*dash <= 0) return nullptr;
    const QString suffix = postScriptName.mid(*dash + 1);
    for (const StyleSuffix& style : kStyleSuffixes)
        if (suffix.compare(QLatin1String(style.suffix), Qt::CaseInsensitive) == 0) return &style;
    return nullptr;
}

QString withoutSpaces(QString text) { return text.remove(QLatin1Char(' ')); }

// An installed family whose name without spaces is `compact`, or empty.
QString installedFamilyMatching(const QString& compact) {
    if (!hasFontDatabase()) return {};
    for (const QString& family : QFontDatabase::families())
        if (withoutSpaces(family).compare(compact, Qt::CaseInsensitive) == 0) return family;
    return {};
}

double effectiveSize(double pointSize) { return pointSize > 0 ? pointSize : kDefaultPointSize; }

}  // namespace

bool hasFontDatabase() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

QString familyForPostScriptName(const QString& postScriptName) {
    int face = 0;
    if (const KnownFamily* known = knownFamilyOfFace(postScriptName, &face))
        return QLatin1String(known->family);
    qsizetype dash = -1;
    QString base = postScriptName;
    if (styleSuffixOf(postScriptName, &dash)) base = postScriptName.left(dash);
    if (const KnownFamily* known = knownFamilyNamed(base)) return QLatin1String(known->family);
    const QString installed = installedFamilyMatching(withoutSpaces(base));
    return installed.isEmpty() ? base : installed;
}

QString postScriptNameForFamily(const QString& family, bool bold, bool italic) {
    if (const KnownFamily* known = knownFamilyNamed(family)) {
        const char* face = known->faces[faceIndex(bold, italic)];
        if (*face) return QLatin1String(face);
        if (*known->faces[faceIndex(bold, false)])
            return QLatin1String(known->faces[faceIndex(bold, false)]);
        return QLatin1String(known->faces[0]);
    }
    QString name = withoutSpaces(family);
    if (bold && italic) return name + QLatin1String("-BoldItalic");
    if (bold) return name + QLatin1String("-Bold");
    if (italic) return name + QLatin1String("-Italic");
    return name;
}

GenericFamily genericFamily(const QString& family) {
    if (const KnownFamily* known = knownFamilyNamed(family)) return known->generic;
    const QString lower = family.toLower();
    if (lower.contains(QLatin1String("mono")) || lower.contains(QLatin1String("courier")))
        return GenericFamily::Monospace;
    if (lower.contains(QLatin1String("sans"))) return GenericFamily::SansSerif;
    if (lower.contains(QLatin1String("serif")) || lower.contains(QLatin1String("times")))
        return GenericFamily::Serif;
    // By the glyphs, through fontconfig: the font database's answer is only
    // fontconfig's spacing mark, which several code fonts lack.
    if (InstalledFonts::isFixedPitch(family)) return GenericFamily::Monospace;
    return GenericFamily::Unknown;
}

Font fontWithFamily(const QString& family, double pointSize, bool bold, bool italic) {
    const KnownFamily* known = knownFamilyNamed(family);
    const QString canonical = known ? QString::fromLatin1(known->family) : family;
    return Font(canonical, postScriptNameForFamily(canonical, bold, italic),
                effectiveSize(pointSize), bold, italic);
}

std::optional<Font> fontWithName(const QString& name, double pointSize) {
    if (name.trimmed().isEmpty()) return std::nullopt;
    const double size = effectiveSize(pointSize);
    int face = 0;
    if (const KnownFamily* known = knownFamilyOfFace(name, &face))
        return Font(QLatin1String(known->family), name, size, face & 1, face & 2);
    if (knownFamilyNamed(name)) return fontWithFamily(name, size);
    if (hasFontDatabase() && QFontDatabase::hasFamily(name)) return fontWithFamily(name, size);

    qsizetype dash = -1;
    const StyleSuffix* style = styleSuffixOf(name, &dash);
    const QString family = familyForPostScriptName(name);
    if (hasFontDatabase() && !QFontDatabase::hasFamily(family) && !knownFamilyNamed(family))
        return std::nullopt;
    return Font(family, name, size, style && style->bold, style && style->italic);
}

Font fontForPostScriptName(const QString& postScriptName, double pointSize, bool bold,
                           bool italic) {
    const QString family = familyForPostScriptName(postScriptName);
    int face = 0;
    bool nameBold = false;
    bool nameItalic = false;
    if (knownFamilyOfFace(postScriptName, &face)) {
        nameBold = face & 1;
        nameItalic = face & 2;
    } else {
        qsizetype dash = -1;
        if (const StyleSuffix* style = styleSuffixOf(postScriptName, &dash)) {
            nameBold = style->bold;
            nameItalic = style->italic;
        }
    }
    const QString name = nameBold == bold && nameItalic == italic
                             ? postScriptName
                             : postScriptNameForFamily(family, bold, italic);
    return Font(family, name, effectiveSize(pointSize), bold, italic);
}

Font userFontOfSize(double pointSize) {
    return fontWithFamily(QLatin1String(kUserFontFamily), pointSize);
}

double systemFontSize() {
    if (hasFontDatabase()) {
        const double size = QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSizeF();
        if (size > 0) return size;
    }
    return kCocoaSystemFontSize;
}

Font systemFontOfSize(double pointSize) {
    const double size = pointSize > 0 ? pointSize : systemFontSize();
    if (hasFontDatabase()) {
        const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        if (!family.isEmpty()) return fontWithFamily(family, size);
    }
    return fontWithFamily(QLatin1String(kUserFontFamily), size);
}

}  // namespace FontRegistry
