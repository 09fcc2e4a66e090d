#include "platform/richtext/RTFHeaderWriter.h"

#include <cmath>

#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/RTFEscaping.h"

using RTFEscaping::escapedAscii;
using RTFEscaping::escapedText;
using RTFEscaping::hexByte;
using RTFEscaping::number;
using RTFEscaping::twips;

namespace {

bool sameColor(const QColor& a, const QColor& b) {
    return a.toRgb().rgba64() == b.toRgb().rgba64();
}

int levelNumberFormat(const TextList& list) {
    const QString keyword = list.markerKeyword();
    if (!list.isOrdered()) return 23;
    if (keyword == QLatin1String("upper-roman")) return 1;
    if (keyword == QLatin1String("lower-roman")) return 2;
    if (keyword.startsWith(QLatin1String("upper-"))) return 3;
    if (keyword.startsWith(QLatin1String("lower-a")) || keyword == QLatin1String("lower-latin"))
        return 4;
    if (keyword == QLatin1String("decimal-leading-zero")) return 22;
    return 0;
}

// The page background as the drawing-object form that RTF readers know.
QByteArray backgroundShape(const QColor& color) {
    const QColor c = color.toRgb();
    const qint64 bgr = c.red() + (c.green() << 8) + (qint64(c.blue()) << 16);
    return "{\\*\\background "
           "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright0\\shpbottom0\\shpfhdr0"
           "\\shpbxmargin\\shpbymargin\\shpwr0\\shpwrk0\\shpfblwtxt1\\shpz0\\shplid1025"
           "{\\sp{\\sn shapeType}{\\sv 1}}{\\sp{\\sn fillColor}{\\sv " +
           number(bgr) + "}}{\\sp{\\sn fFilled}{\\sv 1}}{\\sp{\\sn fBackground}{\\sv 1}}}}}\n";
}

}  // namespace

RTFHeaderWriter::RTFHeaderWriter(const RTFDocumentAttributes& document) : document_(document) {
    fontIndex(defaultFont());
    colors_.append(QColor(Qt::white));
}

Font RTFHeaderWriter::defaultFont() { return FontRegistry::userFontOfSize(12); }

void RTFHeaderWriter::addCharacterAttributes(const TextAttributes& a) {
    fontIndex(a.font.value_or(defaultFont()));
    if (a.foregroundColor) colorIndex(*a.foregroundColor);
    if (a.backgroundColor) backgroundIndex(*a.backgroundColor);
    if (a.underline && a.underline->color.isValid()) colorIndex(a.underline->color);
    if (a.strikethrough && a.strikethrough->color.isValid()) colorIndex(a.strikethrough->color);
}

void RTFHeaderWriter::addParagraphStyle(const ParagraphStyle& style) {
    for (const TextTableBlock& block : style.textBlocks) {
        if (block.borderColor.isValid()) colorIndex(block.borderColor);
        if (block.backgroundColor.isValid()) colorIndex(block.backgroundColor);
    }
    if (!style.textLists.isEmpty()) listIndex(style.textLists);
}

int RTFHeaderWriter::fontIndex(const Font& font) {
    const QString name =
        font.postScriptName().isEmpty()
            ? FontRegistry::postScriptNameForFamily(font.family(), font.isBold(), font.isItalic())
            : font.postScriptName();
    const qsizetype found = fontNames_.indexOf(name);
    if (found >= 0) return int(found);
    fontNames_.append(name);
    fontFamilies_.append(font.family().isEmpty() ? FontRegistry::familyForPostScriptName(name)
                                                 : font.family());
    return int(fontNames_.size() - 1);
}

int RTFHeaderWriter::colorIndex(const QColor& color) {
    for (qsizetype i = 0; i < colors_.size(); ++i)
        if (sameColor(colors_[i], color)) return int(i + 1);
    colors_.append(color);
    return int(colors_.size());
}

int RTFHeaderWriter::backgroundIndex(const QColor& color) {
    for (qsizetype i = 1; i < colors_.size(); ++i)
        if (sameColor(colors_[i], color)) return int(i + 1);
    colors_.append(color);
    return int(colors_.size());
}

int RTFHeaderWriter::listIndex(const QList<TextList>& lists) {
    for (qsizetype i = 0; i < lists_.size(); ++i) {
        if (lists_[i].identifier != lists.first().identifier()) continue;
        for (qsizetype level = lists_[i].levels.size(); level < lists.size(); ++level)
            lists_[i].levels.append(lists[level]);
        return int(i + 1);
    }
    lists_.append({lists.first().identifier(), lists});
    return int(lists_.size());
}

QByteArray RTFHeaderWriter::header() const {
    QByteArray h = "{\\rtf1\\ansi\\ansicpg1252\\cocoartf" +
                   number(document_.cocoaVersion > 0 ? document_.cocoaVersion
                                                     : RTFDocumentAttributes().cocoaVersion);
    if (document_.cocoaSubversion > 0) h += "\\cocoasubrtf" + number(document_.cocoaSubversion);
    h += "\n\\cocoatextscaling" + number(document_.cocoaTextScaling) + "\\cocoaplatform" +
         number(document_.cocoaPlatform);
    h += fontTable() + "\n" + colorTables();
    if (!lists_.isEmpty()) h += listTables();
    h += documentWords();
    return h;
}

QByteArray RTFHeaderWriter::fontTable() const {
    QByteArray t = "{\\fonttbl";
    for (qsizetype i = 0; i < fontNames_.size(); ++i) {
        static const char* const kClasses[] = {"\\fnil", "\\fswiss", "\\froman", "\\fmodern"};
        t += "\\f" + number(i) + kClasses[int(FontRegistry::genericFamily(fontFamilies_[i]))] +
             "\\fcharset0 " + escapedAscii(fontNames_[i]) + ";";
    }
    return t + "}";
}

QByteArray RTFHeaderWriter::colorTables() const {
    QByteArray table = "{\\colortbl;";
    QByteArray expanded = "{\\*\\expandedcolortbl;";
    for (qsizetype i = 0; i < colors_.size(); ++i) {
        const QColor c = colors_[i].toRgb();
        table += "\\red" + number(c.red()) + "\\green" + number(c.green()) + "\\blue" +
                 number(c.blue()) + ";";
        if (i > 0 || c.alphaF() < 1.0) {
            expanded += "\\cssrgb\\c" + number(std::lround(c.redF() * 100000)) + "\\c" +
                        number(std::lround(c.greenF() * 100000)) + "\\c" +
                        number(std::lround(c.blueF() * 100000));
            if (c.alphaF() < 1.0) expanded += "\\c" + number(std::lround(c.alphaF() * 100000));
        }
        expanded += ";";
    }
    return table + "}\n" + expanded + "}\n";
}

QByteArray RTFHeaderWriter::listLevel(const TextList& list, int level, int templateId) const {
    const int format = levelNumberFormat(list);
    const int indent = 720 * (level + 1);
    QByteArray l =
        "{\\listlevel\\levelnfc" + number(format) + "\\levelnfcn" + number(format) +
        "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat" + number(list.startingItemNumber()) +
        "\\levelspace360\\levelindent0{\\*\\levelmarker " + escapedText(list.markerFormat(), true) +
        "}{\\leveltext\\leveltemplateid" + number(templateId);
    if (list.isOrdered()) {
        const QString prefix = list.markerPrefix();
        const QString suffix = list.markerSuffix();
        l += hexByte(int(prefix.size() + 1 + suffix.size())) + escapedText(prefix, true) +
             hexByte(level) + escapedText(suffix, true) + ";}{\\levelnumbers" +
             hexByte(int(prefix.size() + 1)) + ";}";
    } else {
        const QString marker = list.markerForItemNumber(1);
        l += hexByte(int(marker.size())) + escapedText(marker, true) + ";}{\\levelnumbers;}";
    }
    return l + "\\fi-360\\li" + number(indent) + "\\lin" + number(indent) + " }";
}

QByteArray RTFHeaderWriter::listTables() const {
    QByteArray table = "{\\*\\listtable";
    QByteArray overrides = "{\\*\\listoverridetable";
    for (qsizetype i = 0; i < lists_.size(); ++i) {
        const QByteArray id = number(i + 1);
        table += "{\\list\\listtemplateid" + id + "\\listhybrid";
        for (qsizetype level = 0; level < lists_[i].levels.size(); ++level)
            table += listLevel(lists_[i].levels[level], int(level), int((i + 1) * 100 + level + 1));
        table += "{\\listname ;}\\listid" + id + "}";
        overrides += "{\\listoverride\\listid" + id + "\\listoverridecount0\\ls" + id + "}";
    }
    return table + "}\n" + overrides + "}\n";
}

QByteArray RTFHeaderWriter::documentWords() const {
    const RTFDocumentAttributes& d = document_;
    QByteArray w = "\\paperw" + number(twips(d.paperSize.width())) + "\\paperh" +
                   number(twips(d.paperSize.height())) + "\\margl" +
                   number(twips(d.margins.left())) + "\\margr" + number(twips(d.margins.right()));
    if (d.margins.top() != 72 || d.margins.bottom() != 72)
        w += "\\margt" + number(twips(d.margins.top())) + "\\margb" +
             number(twips(d.margins.bottom()));
    w += "\\vieww" + number(twips(d.viewSize.width())) + "\\viewh" +
         number(twips(d.viewSize.height())) + "\\viewkind" + number(d.viewKind);
    if (d.viewScale != 100) w += "\\viewscale" + number(d.viewScale);
    if (d.readOnly) w += "\\readonlydoc1";
    if (d.defaultTabInterval > 0) w += "\\deftab" + number(twips(d.defaultTabInterval));
    w += "\n";
    if (d.backgroundColor.isValid()) w += backgroundShape(d.backgroundColor);
    return w;
}
