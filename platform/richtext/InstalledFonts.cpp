#include "platform/richtext/InstalledFonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <QHash>
#include <QMutex>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <utility>

namespace {

struct PatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
struct FontSetDeleter {
    void operator()(FcFontSet* fonts) const { FcFontSetDestroy(fonts); }
};
struct ObjectSetDeleter {
    void operator()(FcObjectSet* objects) const { FcObjectSetDestroy(objects); }
};
using Pattern = std::unique_ptr<FcPattern, PatternDeleter>;

// The CSS generic family names and the fontconfig generic each stands for.
constexpr std::pair<const char*, const char*> kGenerics[] = {
    {"monospace", "monospace"},
    {"ui-monospace", "monospace"},
    {"serif", "serif"},
    {"ui-serif", "serif"},
    {"sans-serif", "sans-serif"},
    {"ui-sans-serif", "sans-serif"},
    {"cursive", "cursive"},
    {"fantasy", "fantasy"},
    {"system-ui", "system-ui"},
    {"-apple-system", "system-ui"},
    {"blinkmacsystemfont", "system-ui"},
};

// Guards the cache and our fontconfig calls. fontconfig itself is
// thread-safe (since 2.10.91), which matters where Qt asks it too; answers
// are few and cached, so one lock for ours costs nothing.
QMutex& lock() {
    static QMutex mutex;
    return mutex;
}

QHash<QString, QString>& cache() {
    static QHash<QString, QString> answers;
    return answers;
}

bool fontconfigStarted() {
    static const bool started = FcInit() == FcTrue;
    return started;
}

// The family names as fontconfig compares them.
QString comparable(const QString& family) {
    return family.simplified().remove(QLatin1Char(' ')).toCaseFolded();
}

Pattern familyPattern(const QString& family) {
    Pattern pattern(FcPatternCreate());
    const QByteArray name = family.toUtf8();
    if (pattern) FcPatternAddString(pattern.get(), FC_FAMILY, (const FcChar8*)name.constData());
    return pattern;
}

// The family names of a font, in fontconfig's order.
QStringList familiesOf(FcPattern* font) {
    QStringList families;
    FcChar8* value = nullptr;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &value) == FcResultMatch; ++i)
        families.append(QString::fromUtf8((const char*)value));
    return families;
}

QString askInstalledFamily(const QString& family) {
    const Pattern pattern = familyPattern(family);
    const std::unique_ptr<FcObjectSet, ObjectSetDeleter> objects(
        FcObjectSetBuild(FC_FAMILY, nullptr));
    if (!pattern || !objects) return {};
    // Listing, unlike matching, applies no substitutions: only fonts that
    // carry the name are returned.
    const std::unique_ptr<FcFontSet, FontSetDeleter> fonts(
        FcFontList(nullptr, pattern.get(), objects.get()));
    if (!fonts) return {};
    const QString wanted = comparable(family);
    for (int i = 0; i < fonts->nfont; ++i)
        for (const QString& name : familiesOf(fonts->fonts[i]))
            if (comparable(name) == wanted) return name;
    return {};
}

QString askConfiguredFamily(const QString& generic) {
    const Pattern pattern = familyPattern(generic);
    if (!pattern) return {};
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const Pattern match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return {};
    return familiesOf(match.get()).value(0);
}

// The font fontconfig uses for the regular face of `family`, or none when
// its best match is another family (a substitute).
Pattern regularFaceOf(const QString& family) {
    Pattern pattern = familyPattern(family);
    if (!pattern) return {};
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    Pattern match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) return {};
    const QString wanted = comparable(family);
    for (const QString& name : familiesOf(match.get()))
        if (comparable(name) == wanted) return match;
    return {};
}

// The characters whose advances tell a fixed-pitch font: narrow, wide,
// capital, digit and space, which a proportional font never sets alike.
constexpr char32_t kPitchProbes[] = {U'i', U'm', U'W', U'0', U' '};
// How far the advances (in font units, unhinted) may differ, as a share of
// the widest: a font's own rounding only.
constexpr double kPitchTolerance = 0.01;

// Whether the probe characters have one advance in the face at `file`
// (face `index`); false when the file cannot be read or lacks one of them.
bool hasEqualAdvances(const QByteArray& file, int index) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) return false;
    bool equal = false;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.constData(), index, &face) == 0) {
        FT_Fixed narrowest = 0;
        FT_Fixed widest = 0;
        bool complete = true;
        for (char32_t probe : kPitchProbes) {
            const FT_UInt glyph = FT_Get_Char_Index(face, probe);
            FT_Fixed advance = 0;
            if (glyph == 0 || FT_Get_Advance(face, glyph, FT_LOAD_NO_SCALE, &advance) != 0 ||
                advance <= 0) {
                complete = false;
                break;
            }
            narrowest = narrowest == 0 ? advance : std::min(narrowest, advance);
            widest = std::max(widest, advance);
        }
        equal = complete && double(widest - narrowest) <= kPitchTolerance * double(widest);
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return equal;
}

bool askFixedPitch(const QString& family) {
    const Pattern face = regularFaceOf(family);
    if (!face) return false;
    int spacing = FC_PROPORTIONAL;
    if (FcPatternGetInteger(face.get(), FC_SPACING, 0, &spacing) == FcResultMatch &&
        spacing >= FC_MONO)
        return true;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(face.get(), FC_FILE, 0, &file) != FcResultMatch) return false;
    FcPatternGetInteger(face.get(), FC_INDEX, 0, &index);
    return hasEqualAdvances(QByteArray((const char*)file), index);
}

// The cached answer for `key`, asking `ask` once.
template <typename Ask>
QString cachedAnswer(const QString& key, Ask ask) {
    const QMutexLocker locker(&lock());
    const auto cached = cache().constFind(key);
    if (cached != cache().constEnd()) return *cached;
    const QString answer = fontconfigStarted() ? ask() : QString();
    cache().insert(key, answer);
    return answer;
}

}  // namespace

QString InstalledFonts::installedFamily(const QString& family) {
    const QString key = comparable(family);
    if (key.isEmpty()) return {};
    return cachedAnswer(QLatin1String("family:") + key,
                        [&] { return askInstalledFamily(family.simplified()); });
}

QString InstalledFonts::genericName(const QString& name) {
    const QString lower = name.trimmed().toLower();
    for (const auto& [css, generic] : kGenerics)
        if (lower == QLatin1String(css)) return QLatin1String(generic);
    return {};
}

QString InstalledFonts::familyForGeneric(const QString& name) {
    const QString generic = genericName(name);
    if (generic.isEmpty()) return {};
    return cachedAnswer(QLatin1String("generic:") + generic,
                        [&] { return askConfiguredFamily(generic); });
}

bool InstalledFonts::isFixedPitch(const QString& family) {
    const QString key = comparable(family);
    if (key.isEmpty()) return false;
    // Cached as text like the other answers: "fixed" or empty.
    return !cachedAnswer(QLatin1String("pitch:") + key, [&] {
                return askFixedPitch(family.simplified()) ? QStringLiteral("fixed") : QString();
            }).isEmpty();
}

QString InstalledFonts::firstAvailableFamily(const QStringList& names) {
    for (const QString& name : names) {
        const QString family =
            genericName(name).isEmpty() ? installedFamily(name) : familyForGeneric(name);
        if (!family.isEmpty()) return family;
    }
    return {};
}
