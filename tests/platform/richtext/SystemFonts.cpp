#include "SystemFonts.h"

#include <fontconfig/fontconfig.h>

#include <QFont>
#include <QRawFont>
#include <algorithm>
#include <functional>

namespace {

// Calls `visit` with each font fontconfig lists for `family` (every font
// when empty), with the FC_FAMILY property.
void listFonts(const QString& family, const std::function<void(FcPattern*)>& visit) {
    FcPattern* pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    if (!family.isEmpty()) FcPatternAddString(pattern, FC_FAMILY, (const FcChar8*)name.constData());
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    for (int i = 0; fonts && i < fonts->nfont; ++i) visit(fonts->fonts[i]);
    if (fonts) FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
}

}  // namespace

QStringList SystemFonts::families() {
    QStringList names;
    listFonts(QString(), [&](FcPattern* font) {
        FcChar8* value = nullptr;
        for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &value) == FcResultMatch; ++i)
            names.append(QString::fromUtf8((const char*)value));
    });
    names.removeDuplicates();
    names.sort();
    return names;
}

bool SystemFonts::isFixedPitch(const QString& family) {
    if (!families().contains(family)) return false;
    QFont font(family);
    font.setPixelSize(200);  // large and unhinted: advances as designed
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::NoFontMerging);
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid() || raw.familyName().compare(family, Qt::CaseInsensitive) != 0) return false;
    const QList<quint32> glyphs = raw.glyphIndexesForString(QStringLiteral("imW0 "));
    if (glyphs.size() != 5 || glyphs.contains(0)) return false;
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
    const auto [narrowest, widest] =
        std::minmax_element(advances.begin(), advances.end(),
                            [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    return narrowest->x() > 0 && widest->x() - narrowest->x() <= 0.01 * widest->x();
}
