#include "SystemFonts.h"

#include <fontconfig/fontconfig.h>

#include <functional>

namespace {

// Calls `visit` with each font fontconfig lists for `family` (every font
// when empty), with the FC_FAMILY and FC_SPACING properties.
void listFonts(const QString& family, const std::function<void(FcPattern*)>& visit) {
    FcPattern* pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    if (!family.isEmpty()) FcPatternAddString(pattern, FC_FAMILY, (const FcChar8*)name.constData());
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_SPACING, nullptr);
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
    bool fixed = false;
    listFonts(family, [&](FcPattern* font) {
        int spacing = FC_PROPORTIONAL;
        if (FcPatternGetInteger(font, FC_SPACING, 0, &spacing) == FcResultMatch &&
            spacing >= FC_DUAL)
            fixed = true;
    });
    return fixed;
}
