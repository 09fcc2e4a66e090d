#include "platform/richtext/HTMLImporter.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <deque>
#include <vector>

#include "platform/richtext/CSSStyle.h"
#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/HTMLImageSource.h"
#include "platform/richtext/HTMLNestingLimits.h"
#include "platform/richtext/HTMLTableLayout.h"
#include "platform/richtext/HTMLTextBuilder.h"
#include "platform/richtext/InstalledFonts.h"
#include "platform/xml/XMLDocument.h"

namespace {

using WhiteSpace = HTMLTextBuilder::WhiteSpace;

// What a horizontal rule becomes: a line of box-drawing strokes.
const QString kRuleLine = QString(24, QChar(0x2500));
const QColor kRuleColor(160, 160, 160);

bool isOneOf(const QString& name, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [&](const char* candidate) { return name == QLatin1String(candidate); });
}

// Elements whose content is not text of the document.
bool isSkipped(const QString& name) {
    return isOneOf(name, {"head", "script", "style", "title", "meta", "link", "base", "template",
                          "param", "colgroup", "col"});
}

bool isBlockElement(const QString& name) {
    static const QSet<QString> kBlocks = [] {
        QSet<QString> set;
        for (const char* block :
             {"address",    "article", "aside",   "blockquote", "caption", "center", "dd",
              "details",    "dialog",  "dir",     "div",        "dl",      "dt",     "fieldset",
              "figcaption", "figure",  "footer",  "form",       "h1",      "h2",     "h3",
              "h4",         "h5",      "h6",      "header",     "hgroup",  "hr",     "li",
              "listing",    "main",    "menu",    "nav",        "ol",      "p",      "plaintext",
              "pre",        "section", "summary", "table",      "tbody",   "td",     "tfoot",
              "th",         "thead",   "tr",      "ul",         "xmp"})
            set.insert(QLatin1String(block));
        return set;
    }();
    return kBlocks.contains(name);
}

// The style that reading an element gives its content.
struct Context {
    QString family;
    double fontSize = 12;
    bool bold = false;
    bool italic = false;
    std::optional<QColor> foreground;
    std::optional<QColor> background;
    bool underline = false;
    bool strikethrough = false;
    int superscript = 0;
    std::optional<QUrl> link;
    WhiteSpace whiteSpace = WhiteSpace::Normal;
    TextAttributes attributes;  // made from the fields above

    bool isBlock = false;
    ParagraphStyle block;
    int listDepth = 0;  // enclosing ul/ol elements
    int list = -1;      // the innermost list in Importer::lists_
    int table = -1;     // the innermost table in Importer::tables_
    std::optional<QColor> rowBackground;
    std::optional<TextTableBlock::VerticalAlignment> rowAlignment;
    bool isCell = false;
    qsizetype breaksAtCellStart = 0;
    bool ownsList = false;
    bool ownsTable = false;
};

struct ListState {
    TextList list;
    int nextNumber = 1;
    bool isChecklist = false;
    bool hasMarkers = true;
};

struct TableState {
    explicit TableState(XMLNode element) : layout(element), table(layout.numberOfColumns()) {}

    HTMLTableLayout layout;
    TextTable table;
    double borderWidth = 0;
    std::optional<QColor> borderColor;
    double padding = 1;
    std::optional<QColor> background;
};

class Importer {
  public:
    Importer(const QUrl& baseURL, const WebPreferences& preferences,
             HTMLImportDelegate* delegate = nullptr,
             const HTMLImporterExtension* extension = nullptr)
        : baseURL_(baseURL),
          images_(baseURL),
          preferences_(preferences),
          delegate_(delegate),
          extension_(extension),
          fixedFamily_(installedFixedFamily(preferences.fixedFontFamily())) {
        if (extension_) {
            checkBoxMarkers_ = extension_->checkBoxMarkers();
            builder_.setCheckBoxMarkers(checkBoxMarkers_.checked, checkBoxMarkers_.unchecked);
        }
        mediumSize_ = preferences.defaultFontSize() > 0 ? preferences.defaultFontSize() : 16;
        Context root;
        root.family = preferences.standardFontFamily().isEmpty() ? QStringLiteral("Times")
                                                                 : preferences.standardFontFamily();
        root.fontSize = mediumSize_;
        updateAttributes(root);
        contexts_.push_back(root);
    }

    AttributedString import(XMLNode root, QList<qsizetype>* checkBoxPositions = nullptr) {
        walk(root);
        if (checkBoxPositions) *checkBoxPositions = builder_.checkBoxPositions();
        return builder_.takeResult();
    }

  private:
    // Visits the tree in document order without recursion, so that deeply
    // nested documents cannot exhaust the stack.
    void walk(XMLNode start) {
        if (!start) return;
        XMLNode node = start;
        for (;;) {
            const bool entered = enter(node);
            if (entered && node.firstChild()) {
                node = node.firstChild();
                continue;
            }
            if (entered) leave(node);
            while (node != start && !node.nextSibling()) {
                node = node.parent();
                leave(node);
            }
            if (node == start) return;
            node = node.nextSibling();
        }
    }

    // Reads a node; true when it is an element whose content is to be read
    // (leave() is then called for it).
    bool enter(XMLNode node) {
        switch (node.type()) {
            case XMLNode::Type::Text:
            case XMLNode::Type::CDATA:
                appendText(node);
                return false;
            case XMLNode::Type::Element:
                break;
            default:
                return false;
        }
        const QString name = node.name().toLower();
        if (isSkipped(name)) return false;
        if (delegate_) {
            if (const auto replacement = delegate_->replacementForElement(node)) {
                appendReplacement(*replacement);
                return false;
            }
        }
        const CSSStyle style = CSSStyle::fromDeclarations(node.attribute(QStringLiteral("style")));
        Context context = contexts_.back();
        context.isBlock = isBlock(name, style);
        context.isCell = false;
        context.ownsList = false;
        context.ownsTable = false;
        if (context.isBlock) startBlock(name, context);
        applyElementDefaults(node, name, context);
        applyStyle(style, name, context);
        if (context.isBlock) finishBlockStyle(context);
        if (name == QLatin1String("table")) startTable(node, style, context);
        if (name == QLatin1String("tr")) startRow(node, style, context);
        if (name == QLatin1String("td") || name == QLatin1String("th"))
            startCell(node, style, context);
        updateAttributes(context);
        contexts_.push_back(std::move(context));
        if (contexts_.back().isBlock) builder_.setBlockStyle(contexts_.back().block);
        startContent(node, name, style);
        return true;
    }

    void leave(XMLNode node) {
        const Context& context = contexts_.back();
        const QString name = node.name().toLower();
        if (name == QLatin1String("li")) builder_.flushPendingMarker();
        if (context.isCell) {
            builder_.endParagraph();
            if (builder_.paragraphBreakCount() == context.breaksAtCellStart)
                builder_.appendEmptyParagraph(context.attributes);
        }
        if (context.ownsList) lists_.pop_back();
        if (context.ownsTable) tables_.pop_back();
        const bool wasBlock = context.isBlock;
        contexts_.pop_back();
        if (wasBlock) {
            builder_.endParagraph();
            builder_.setBlockStyle(contexts_.back().block);
        }
    }

    // --- text ---------------------------------------------------------------

    void appendText(XMLNode node) {
        QString text = node.textContent();
        const Context& context = contexts_.back();
        if (context.whiteSpace != WhiteSpace::Normal && !node.previousSibling()) {
            // A line end right after <pre> belongs to the markup, not the text.
            const QString parent = node.parent().name().toLower();
            if (isOneOf(parent, {"pre", "listing", "xmp", "textarea"})) {
                if (text.startsWith(QLatin1String("\r\n")))
                    text.remove(0, 2);
                else if (text.startsWith(QLatin1Char('\n')) || text.startsWith(QLatin1Char('\r')))
                    text.remove(0, 1);
            }
        }
        builder_.appendText(text, context.attributes, context.whiteSpace);
    }

    // Content that an element itself stands for: markers, breaks, images, rules.
    void startContent(XMLNode node, const QString& name, const CSSStyle& style) {
        const Context& context = contexts_.back();
        if (name == QLatin1String("li")) {
            startListItem(node, style);
        } else if (name == QLatin1String("br")) {
            builder_.appendLineBreak(context.attributes);
        } else if (name == QLatin1String("img")) {
            appendImage(node, style);
        } else if (name == QLatin1String("hr")) {
            TextAttributes rule = context.attributes;
            rule.foregroundColor = kRuleColor;
            builder_.appendContent(kRuleLine, rule);
        } else if (name == QLatin1String("input")) {
            if (node.attribute(QStringLiteral("type")).trimmed().toLower() ==
                QLatin1String("checkbox"))
                appendCheckBox(node.hasAttribute(QStringLiteral("checked")));
        } else if (extension_) {
            if (const auto checked = extension_->checkBoxStateForElement(node, name))
                appendCheckBox(*checked);
        }
    }

    // Check boxes have a text only through an extension.
    void appendCheckBox(bool checked) {
        if (!extension_) return;
        builder_.appendCheckBox(checkBoxMarker(checked), contexts_.back().attributes);
    }

    const QString& checkBoxMarker(bool checked) const {
        return checked ? checkBoxMarkers_.checked : checkBoxMarkers_.unchecked;
    }

    void appendReplacement(const HTMLReplacement& replacement) {
        if (!replacement.attachment) {
            builder_.appendContent(replacement.text, contexts_.back().attributes);
            return;
        }
        TextAttributes attributes = contexts_.back().attributes;
        attributes.attachment = *replacement.attachment;
        builder_.appendAttachment(attributes);
    }

    void appendImage(XMLNode node, const CSSStyle& style) {
        const Context& context = contexts_.back();
        const QSizeF size(imageDimension(node, style, QStringLiteral("width")),
                          imageDimension(node, style, QStringLiteral("height")));
        const std::optional<TextAttachment> attachment =
            images_.attachmentForSource(node.attribute(QStringLiteral("src")), size);
        if (!attachment) {
            // An image that cannot be shown leaves its description.
            builder_.appendText(node.attribute(QStringLiteral("alt")), context.attributes,
                                WhiteSpace::Normal);
            return;
        }
        TextAttributes attributes = context.attributes;
        attributes.attachment = *attachment;
        builder_.appendAttachment(attributes);
    }

    double imageDimension(XMLNode node, const CSSStyle& style, const QString& property) const {
        QString value = style.value(property);
        if (value.isNull()) value = node.attribute(property);
        const double size = contexts_.back().fontSize;
        return std::max(0.0, CSSStyle::length(value, size, mediumSize_).value_or(0));
    }

    // --- blocks ---------------------------------------------------------------

    bool isBlock(const QString& name, const CSSStyle& style) const {
        const QString display = style.keyword(QStringLiteral("display"));
        if (display == QLatin1String("block") || display == QLatin1String("list-item") ||
            display == QLatin1String("flex") || display == QLatin1String("grid"))
            return true;
        if (display.startsWith(QLatin1String("inline"))) return false;
        return isBlockElement(name) || (extension_ && extension_->isBlockElement(name));
    }

    // A block ends the paragraph before it; its paragraphs start from the
    // enclosing block's indents, without its spacing.
    void startBlock(const QString& name, Context& context) {
        if (isOneOf(name, {"ul", "ol", "table"})) builder_.flushPendingMarker();
        builder_.endParagraph();
        ParagraphStyle& block = context.block;
        block.paragraphSpacing = 0;
        block.paragraphSpacingBefore = 0;
        block.firstLineHeadIndent = block.headIndent;
        block.tabStops.clear();
        margins_ = {};
        if (isOneOf(name, {"ul", "ol", "dir", "menu"}))
            margins_.paddingLeft = HTMLTextBuilder::ListIndent;
        if (name == QLatin1String("blockquote")) margins_.left = margins_.right = 40;
        if (name == QLatin1String("dd")) margins_.left = 40;
    }

    void finishBlockStyle(Context& context) {
        ParagraphStyle& block = context.block;
        const double left = margins_.left + margins_.paddingLeft;
        const double right = margins_.right + margins_.paddingRight;
        block.headIndent = std::max(0.0, block.headIndent + left);
        block.firstLineHeadIndent = std::max(0.0, block.headIndent + margins_.textIndent);
        if (right != 0) block.tailIndent = std::min(0.0, block.tailIndent - right);
    }

    void applyElementDefaults(XMLNode node, const QString& name, Context& context) {
        static const std::pair<const char*, double> kHeadings[] = {
            {"h1", 2.0}, {"h2", 1.5}, {"h3", 1.17}, {"h4", 1.0}, {"h5", 0.83}, {"h6", 0.67}};
        for (const auto& [heading, factor] : kHeadings) {
            if (name != QLatin1String(heading)) continue;
            context.fontSize = context.fontSize * factor;
            context.bold = true;
            context.block.paragraphSpacing = context.fontSize / 2;
        }
        if (isOneOf(name, {"b", "strong", "th"})) context.bold = true;
        if (isOneOf(name, {"i", "em", "cite", "var", "dfn", "address"})) context.italic = true;
        if (isOneOf(name, {"u", "ins"})) context.underline = true;
        if (isOneOf(name, {"s", "strike", "del"})) context.strikethrough = true;
        if (name == QLatin1String("sup")) ++context.superscript;
        if (name == QLatin1String("sub")) --context.superscript;
        if (name == QLatin1String("small")) context.fontSize /= 1.2;
        if (name == QLatin1String("big")) context.fontSize *= 1.2;
        if (name == QLatin1String("mark")) context.background = QColor(255, 255, 0);
        if (isOneOf(name, {"code", "tt", "kbd", "samp", "pre", "xmp", "listing", "plaintext"}))
            context.family = fixedFamily_;
        if (isOneOf(name, {"pre", "xmp", "listing", "plaintext", "textarea"}))
            context.whiteSpace = WhiteSpace::Preserve;
        if (name == QLatin1String("p")) context.block.paragraphSpacing = context.fontSize;
        if (name == QLatin1String("center") || name == QLatin1String("th"))
            context.block.alignment = TextAlignment::Center;
        if (name == QLatin1String("hr")) context.block.alignment = TextAlignment::Center;
        if (name == QLatin1String("a")) applyLink(node, context);
        if (name == QLatin1String("font")) applyFontElement(node, context);
        if (context.isBlock && isOneOf(name, {"p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "td",
                                              "th", "caption", "center"}))
            applyAlignment(node.attribute(QStringLiteral("align")), context);
        if (name == QLatin1String("ul") || name == QLatin1String("ol"))
            startList(node, name, context);
    }

    void applyLink(XMLNode node, Context& context) const {
        const QString href = node.attribute(QStringLiteral("href")).trimmed();
        if (href.isEmpty() || href.startsWith(QLatin1String("javascript:"), Qt::CaseInsensitive))
            return;
        const QUrl url(href, QUrl::TolerantMode);
        const QUrl resolved =
            baseURL_.isValid() && !baseURL_.isEmpty() ? baseURL_.resolved(url) : url;
        if (resolved.isValid()) context.link = resolved;
    }

    void applyFontElement(XMLNode node, Context& context) {
        const QString face = node.attribute(QStringLiteral("face"));
        if (!face.isEmpty()) applyFontFamily(face, context);
        const QString size = node.attribute(QStringLiteral("size")).trimmed();
        if (!size.isEmpty()) {
            // Sizes 1 to 7, or relative to 3 with a sign.
            static const double kFactors[] = {10.0 / 16, 13.0 / 16, 1.0, 18.0 / 16,
                                              24.0 / 16, 2.0,       3.0};
            bool ok = false;
            int number = size.toInt(&ok);
            if (ok && (size.startsWith(QLatin1Char('+')) || size.startsWith(QLatin1Char('-'))))
                number += 3;
            if (ok) context.fontSize = mediumSize_ * kFactors[std::clamp(number, 1, 7) - 1];
        }
        if (const std::optional<QColor> color =
                CSSStyle::color(node.attribute(QStringLiteral("color"))))
            context.foreground = color;
    }

    static void applyAlignment(const QString& value, Context& context) {
        const QString align = value.trimmed().toLower();
        if (align == QLatin1String("left"))
            context.block.alignment = TextAlignment::Left;
        else if (align == QLatin1String("right") || align == QLatin1String("end"))
            context.block.alignment = TextAlignment::Right;
        else if (align == QLatin1String("center") || align == QLatin1String("-webkit-center"))
            context.block.alignment = TextAlignment::Center;
        else if (align == QLatin1String("justify"))
            context.block.alignment = TextAlignment::Justified;
        else if (align == QLatin1String("start"))
            context.block.alignment = TextAlignment::Natural;
    }

    // --- inline style ---------------------------------------------------------

    void applyStyle(const CSSStyle& style, const QString& name, Context& context) {
        if (style.isEmpty()) return;
        const QString families = style.value(QStringLiteral("font-family"));
        if (!families.isNull()) applyFontFamily(families, context);
        if (const auto size = CSSStyle::fontSize(style.value(QStringLiteral("font-size")),
                                                 context.fontSize, mediumSize_))
            context.fontSize = *size;
        applyFontWeightAndStyle(style, context);
        if (const auto color = CSSStyle::color(style.value(QStringLiteral("color"))))
            context.foreground = color;
        applyDecorations(style, context);
        applyVerticalAlignment(style, context);
        applyWhiteSpace(style.keyword(QStringLiteral("white-space")), context);
        applyExtensionStyle(style, context);
        applyBackground(style, name, context);
        if (context.isBlock) applyBlockStyle(style, context);
    }

    // The fixed font of the preferences when it is installed, else the
    // system's monospace family, so that code stays fixed-width where the
    // preferred font is missing; the preference as given when fontconfig
    // knows no font.
    static QString installedFixedFamily(const QString& preferred) {
        const QString family =
            InstalledFonts::firstAvailableFamily({preferred, QStringLiteral("monospace")});
        return family.isEmpty() ? preferred : family;
    }

    void applyFontFamily(const QString& list, Context& context) {
        const auto cached = familyCache_.constFind(list);
        if (cached != familyCache_.constEnd()) {
            if (!cached->isEmpty()) context.family = *cached;
            return;
        }
        const QString chosen = familyForCSSList(CSSStyle::fontFamilies(list));
        familyCache_.insert(list, chosen);
        if (!chosen.isEmpty()) context.family = chosen;
    }

    // The first family of the list that is installed, generic names standing
    // for the system's families (monospace for the fixed font). When none is,
    // the first that is known by name, as on a system without fontconfig.
    QString familyForCSSList(const QStringList& families) const {
        for (const QString& family : families) {
            const QString installed =
                InstalledFonts::genericName(family) == QLatin1String("monospace")
                    ? InstalledFonts::installedFamily(fixedFamily_)
                    : InstalledFonts::firstAvailableFamily({family});
            if (!installed.isEmpty()) return installed;
        }
        for (const QString& family : families) {
            const QString known = familyKnownByName(family);
            if (!known.isEmpty()) return known;
        }
        return QString();
    }

    // The family a CSS name stands for without asking what is installed:
    // generic names as the desktop's defaults, other names when the font
    // registry accepts them.
    QString familyKnownByName(const QString& name) const {
        const QString lower = name.toLower();
        if (lower == QLatin1String("monospace")) return fixedFamily_;
        if (lower == QLatin1String("serif")) return QStringLiteral("Times");
        if (lower == QLatin1String("sans-serif")) return QStringLiteral("Helvetica");
        if (isOneOf(lower, {"system-ui", "-apple-system", "blinkmacsystemfont", "ui-sans-serif"}))
            return FontRegistry::systemFontOfSize(0).family();
        if (isOneOf(lower, {"cursive", "fantasy", "inherit", "initial", "unset"})) return QString();
        if (const std::optional<Font> font = FontRegistry::fontWithName(name, mediumSize_))
            return font->family().isEmpty() ? name : font->family();
        return QString();
    }

    static void applyFontWeightAndStyle(const CSSStyle& style, Context& context) {
        const QString weight = style.keyword(QStringLiteral("font-weight"));
        if (weight == QLatin1String("bold") || weight == QLatin1String("bolder"))
            context.bold = true;
        else if (weight == QLatin1String("normal") || weight == QLatin1String("lighter"))
            context.bold = false;
        else if (!weight.isEmpty() && weight.at(0).isDigit())
            context.bold = weight.toInt() >= 600;
        const QString fontStyle = style.keyword(QStringLiteral("font-style"));
        if (fontStyle == QLatin1String("italic") || fontStyle.startsWith(QLatin1String("oblique")))
            context.italic = true;
        else if (fontStyle == QLatin1String("normal"))
            context.italic = false;
    }

    // Decorations add to the enclosing ones ("none" cannot take away what a
    // parent draws, as in a browser), but "none" drops the element's own.
    void applyDecorations(const CSSStyle& style, Context& context) const {
        QString value = style.keyword(QStringLiteral("text-decoration-line"));
        if (value.isNull()) value = style.keyword(QStringLiteral("text-decoration"));
        if (value.isNull()) return;
        if (value.contains(QLatin1String("underline"))) context.underline = true;
        if (value.contains(QLatin1String("line-through"))) context.strikethrough = true;
        if (value.trimmed() == QLatin1String("none")) {
            const Context& parent = contexts_.back();
            context.underline = parent.underline;
            context.strikethrough = parent.strikethrough;
        }
    }

    void applyVerticalAlignment(const CSSStyle& style, Context& context) const {
        const QString value = style.keyword(QStringLiteral("vertical-align"));
        if (value == QLatin1String("super"))
            context.superscript = std::max(1, context.superscript + 1);
        if (value == QLatin1String("sub"))
            context.superscript = std::min(-1, context.superscript - 1);
        if (value == QLatin1String("baseline")) context.superscript = contexts_.back().superscript;
    }

    static void applyWhiteSpace(const QString& value, Context& context) {
        if (value == QLatin1String("pre") || value.startsWith(QLatin1String("pre-wrap")) ||
            value == QLatin1String("break-spaces"))
            context.whiteSpace = WhiteSpace::Preserve;
        else if (value == QLatin1String("pre-line"))
            context.whiteSpace = WhiteSpace::PreserveLineBreaks;
        else if (value == QLatin1String("normal") || value == QLatin1String("nowrap"))
            context.whiteSpace = WhiteSpace::Normal;
    }

    // Before the CSS background, which wins over what the extension adds.
    void applyExtensionStyle(const CSSStyle& style, Context& context) const {
        if (!extension_) return;
        const HTMLStyleAdditions additions = extension_->styleAdditions(style);
        if (additions.fixedPitch) context.family = fixedFamily_;
        if (additions.background) context.background = additions.background;
    }

    // A background paints the text, except the page's own (html, body) and a
    // table's, which goes to its cells.
    static void applyBackground(const CSSStyle& style, const QString& name, Context& context) {
        std::optional<QColor> color =
            CSSStyle::color(style.value(QStringLiteral("background-color")));
        if (!color) {
            for (const QString& word :
                 style.value(QStringLiteral("background")).split(QLatin1Char(' ')))
                if ((color = CSSStyle::color(word))) break;
        }
        if (!color ||
            isOneOf(name, {"html", "body", "table", "thead", "tbody", "tfoot", "tr", "td", "th"}))
            return;
        context.background = color;
    }

    void applyBlockStyle(const CSSStyle& style, Context& context) {
        applyAlignment(style.value(QStringLiteral("text-align")), context);
        const double size = context.fontSize;
        auto lengthOf = [&](const QString& text) {
            return CSSStyle::length(text, size, mediumSize_);
        };
        const QStringList margin = CSSStyle::sides(style.value(QStringLiteral("margin")));
        const QStringList padding = CSSStyle::sides(style.value(QStringLiteral("padding")));
        auto side = [&](const QStringList& shorthand, int index, const QString& property,
                        double current) {
            QString value = style.value(property);
            if (value.isNull() && !shorthand.isEmpty()) value = shorthand[index];
            return value.isNull() ? current : lengthOf(value).value_or(current);
        };
        margins_.left = side(margin, 3, QStringLiteral("margin-left"), margins_.left);
        margins_.right = side(margin, 1, QStringLiteral("margin-right"), margins_.right);
        margins_.paddingLeft =
            side(padding, 3, QStringLiteral("padding-left"), margins_.paddingLeft);
        margins_.paddingRight =
            side(padding, 1, QStringLiteral("padding-right"), margins_.paddingRight);
        if (const auto indent = lengthOf(style.value(QStringLiteral("text-indent"))))
            margins_.textIndent = *indent;
        const double top = side(margin, 0, QStringLiteral("margin-top"), -1);
        const double bottom = side(margin, 2, QStringLiteral("margin-bottom"), -1);
        if (top >= 0) context.block.paragraphSpacingBefore = top;
        if (bottom >= 0) context.block.paragraphSpacing = bottom;
    }

    // --- lists ------------------------------------------------------------------

    void startList(XMLNode node, const QString& name, Context& context) {
        const CSSStyle style = CSSStyle::fromDeclarations(node.attribute(QStringLiteral("style")));
        const bool ordered = name == QLatin1String("ol");
        QString keyword = listKeyword(node, style, ordered, context.listDepth);
        ListState state;
        state.isChecklist = extension_ && extension_->isChecklist(style);
        state.hasMarkers = keyword != QLatin1String("none");
        const bool numbered =
            ordered || TextList(QLatin1Char('{') + keyword + QLatin1Char('}')).isOrdered();
        int start = 1;
        if (ordered) {
            bool ok = false;
            const int given = node.attribute(QStringLiteral("start")).trimmed().toInt(&ok);
            if (ok) start = given;
        }
        if (!state.hasMarkers) keyword = QStringLiteral("disc");
        state.list = TextList(QLatin1Char('{') + keyword + QLatin1Char('}') +
                                  (numbered ? QStringLiteral(".") : QString()),
                              start);
        state.nextNumber = start;
        lists_.push_back(state);
        context.list = int(lists_.size()) - 1;
        context.ownsList = true;
        ++context.listDepth;
    }

    static bool isListKeyword(const QString& word) {
        return isOneOf(word, {"disc", "circle", "square", "decimal", "decimal-leading-zero",
                              "lower-roman", "upper-roman", "lower-alpha", "upper-alpha",
                              "lower-latin", "upper-latin", "none"});
    }

    static QString listKeyword(XMLNode node, const CSSStyle& style, bool ordered, int depth) {
        QString value = style.keyword(QStringLiteral("list-style-type"));
        if (value.isNull()) {
            for (const QString& word :
                 style.keyword(QStringLiteral("list-style")).split(QLatin1Char(' ')))
                if (isListKeyword(word)) value = word;
        }
        if (isListKeyword(value)) return value;
        const QString type = node.attribute(QStringLiteral("type")).trimmed();
        if (ordered) {
            if (type == QLatin1String("a")) return QStringLiteral("lower-alpha");
            if (type == QLatin1String("A")) return QStringLiteral("upper-alpha");
            if (type == QLatin1String("i")) return QStringLiteral("lower-roman");
            if (type == QLatin1String("I")) return QStringLiteral("upper-roman");
            return QStringLiteral("decimal");
        }
        const QString bullet = type.toLower();
        if (isOneOf(bullet, {"disc", "circle", "square"})) return bullet;
        return depth == 0   ? QStringLiteral("disc")
               : depth == 1 ? QStringLiteral("circle")
                            : QStringLiteral("square");
    }

    void startListItem(XMLNode node, const CSSStyle& style) {
        Context& context = contexts_.back();
        const std::optional<bool> checked =
            extension_ ? extension_->listItemCheckState(style) : std::nullopt;
        ListState* list = context.list >= 0 ? &lists_[context.list] : nullptr;
        if (checked || (list && list->isChecklist)) {
            builder_.setPendingMarker(checkBoxMarker(checked.value_or(false)), context.attributes,
                                      false);
            return;
        }
        if (!list || !list->hasMarkers) return;
        bool ok = false;
        const int value = node.attribute(QStringLiteral("value")).trimmed().toInt(&ok);
        if (ok) list->nextNumber = value;
        const int number = list->nextNumber++;
        context.block.textLists.append(list->list);
        builder_.setBlockStyle(context.block);
        builder_.setPendingMarker(
            QLatin1Char('\t') + list->list.markerForItemNumber(number) + QLatin1Char('\t'),
            context.attributes, true);
    }

    // --- tables -----------------------------------------------------------------

    void startTable(XMLNode node, const CSSStyle& style, Context& context) {
        TableState state(node);
        bool ok = false;
        const int border = node.attribute(QStringLiteral("border")).trimmed().toInt(&ok);
        if (ok && border > 0) state.borderWidth = 1;
        if (node.hasAttribute(QStringLiteral("border")) && !ok) state.borderWidth = 1;
        state.borderColor = CSSStyle::color(node.attribute(QStringLiteral("bordercolor")));
        const int padding = node.attribute(QStringLiteral("cellpadding")).trimmed().toInt(&ok);
        if (ok) state.padding = std::max(0, padding);
        state.background = CSSStyle::color(style.value(QStringLiteral("background-color")));
        if (!state.background)
            state.background = CSSStyle::color(node.attribute(QStringLiteral("bgcolor")));
        tables_.push_back(state);
        context.table = int(tables_.size()) - 1;
        context.ownsTable = true;
        context.rowBackground.reset();
        context.rowAlignment.reset();
    }

    static void startRow(XMLNode node, const CSSStyle& style, Context& context) {
        context.rowBackground = CSSStyle::color(style.value(QStringLiteral("background-color")));
        if (!context.rowBackground)
            context.rowBackground = CSSStyle::color(node.attribute(QStringLiteral("bgcolor")));
        context.rowAlignment.reset();
        QString value = style.keyword(QStringLiteral("vertical-align"));
        if (value.isNull()) value = node.attribute(QStringLiteral("valign")).trimmed().toLower();
        if (value == QLatin1String("top"))
            context.rowAlignment = TextTableBlock::VerticalAlignment::Top;
        if (value == QLatin1String("bottom"))
            context.rowAlignment = TextTableBlock::VerticalAlignment::Bottom;
        if (value == QLatin1String("middle"))
            context.rowAlignment = TextTableBlock::VerticalAlignment::Middle;
    }

    void startCell(XMLNode node, const CSSStyle& style, Context& context) {
        if (context.table < 0) return;
        const TableState& table = tables_[context.table];
        const HTMLTableLayout::Cell* place = table.layout.cellFor(node);
        if (!place) return;
        TextTableBlock block;
        block.table = table.table;
        block.startingRow = place->row;
        block.startingColumn = place->column;
        block.rowSpan = place->rowSpan;
        block.columnSpan = place->columnSpan;
        const double size = context.fontSize;
        const QStringList padding = CSSStyle::sides(style.value(QStringLiteral("padding")));
        QString paddingLeft = style.value(QStringLiteral("padding-left"));
        if (paddingLeft.isNull() && !padding.isEmpty()) paddingLeft = padding[3];
        block.padding =
            std::max(0.0, CSSStyle::length(paddingLeft, size, mediumSize_).value_or(table.padding));
        applyCellBorder(style, table, block, size);
        if (auto background = CSSStyle::color(style.value(QStringLiteral("background-color"))))
            block.backgroundColor = *background;
        else if (auto attribute = CSSStyle::color(node.attribute(QStringLiteral("bgcolor"))))
            block.backgroundColor = *attribute;
        else if (context.rowBackground)
            block.backgroundColor = *context.rowBackground;
        else if (table.background)
            block.backgroundColor = *table.background;
        block.contentWidth = cellWidth(node, style, table, *place, size);
        block.verticalAlignment = cellAlignment(node, style, context);

        // A cell is laid out on its own: no list or indent from outside it.
        const Context& tableContext = contexts_.back();
        ParagraphStyle paragraph;
        paragraph.alignment = context.block.alignment;
        paragraph.textBlocks = tableContext.block.textBlocks;
        paragraph.textBlocks.append(block);
        context.block = paragraph;
        context.isCell = true;
        context.breaksAtCellStart = builder_.paragraphBreakCount();
    }

    void applyCellBorder(const CSSStyle& style, const TableState& table, TextTableBlock& block,
                         double size) const {
        block.borderWidth = table.borderWidth;
        if (table.borderColor) block.borderColor = *table.borderColor;
        const CSSStyle::Border border =
            CSSStyle::border(style.value(QStringLiteral("border")), size, mediumSize_);
        if (border.width) block.borderWidth = *border.width;
        if (border.color) block.borderColor = *border.color;
        if (const auto width =
                CSSStyle::length(style.value(QStringLiteral("border-width")), size, mediumSize_))
            block.borderWidth = std::max(0.0, *width);
        if (const auto color = CSSStyle::color(style.value(QStringLiteral("border-color"))))
            block.borderColor = *color;
        if (style.keyword(QStringLiteral("border-style")) == QLatin1String("none"))
            block.borderWidth = 0;
    }

    double cellWidth(XMLNode node, const CSSStyle& style, const TableState& table,
                     const HTMLTableLayout::Cell& place, double size) const {
        QString width = style.value(QStringLiteral("width"));
        if (width.isNull()) width = node.attribute(QStringLiteral("width"));
        if (const auto points = CSSStyle::length(width, size, mediumSize_); points && *points > 0)
            return *points;
        return place.columnSpan == 1 ? table.layout.columnWidth(place.column) : 0;
    }

    static TextTableBlock::VerticalAlignment cellAlignment(XMLNode node, const CSSStyle& style,
                                                           const Context& context) {
        QString value = style.keyword(QStringLiteral("vertical-align"));
        if (value.isNull()) value = node.attribute(QStringLiteral("valign")).trimmed().toLower();
        if (value == QLatin1String("top")) return TextTableBlock::VerticalAlignment::Top;
        if (value == QLatin1String("bottom")) return TextTableBlock::VerticalAlignment::Bottom;
        if (value == QLatin1String("baseline")) return TextTableBlock::VerticalAlignment::Baseline;
        if (value == QLatin1String("middle")) return TextTableBlock::VerticalAlignment::Middle;
        return context.rowAlignment.value_or(TextTableBlock::VerticalAlignment::Middle);
    }

    // --- attributes ---------------------------------------------------------------

    void updateAttributes(Context& context) {
        TextAttributes& attributes = context.attributes;
        attributes = TextAttributes();
        attributes.font = font(context);
        attributes.foregroundColor = context.foreground;
        attributes.backgroundColor = context.background;
        if (context.underline) attributes.underline = TextDecoration();
        if (context.strikethrough) attributes.strikethrough = TextDecoration();
        if (context.superscript != 0) attributes.superscript = context.superscript;
        attributes.link = context.link;
    }

    Font font(const Context& context) {
        const QString key = context.family + QLatin1Char('\n') + QString::number(context.fontSize) +
                            QLatin1Char(context.bold ? 'b' : '-') +
                            QLatin1Char(context.italic ? 'i' : '-');
        const auto cached = fontCache_.constFind(key);
        if (cached != fontCache_.constEnd()) return *cached;
        const Font made = FontRegistry::fontWithFamily(context.family, context.fontSize,
                                                       context.bold, context.italic);
        fontCache_.insert(key, made);
        return made;
    }

    struct Margins {
        double left = 0;
        double right = 0;
        double paddingLeft = 0;
        double paddingRight = 0;
        double textIndent = 0;
    };

    QUrl baseURL_;
    HTMLImageSource images_;
    WebPreferences preferences_;
    HTMLImportDelegate* delegate_ = nullptr;
    const HTMLImporterExtension* extension_ = nullptr;
    HTMLCheckBoxMarkers checkBoxMarkers_;
    QString fixedFamily_;  // the fixed font family as installed
    double mediumSize_ = 16;
    HTMLTextBuilder builder_;
    std::deque<Context> contexts_;  // a deque: deep documents never move the contexts
    std::vector<ListState> lists_;
    std::vector<TableState> tables_;
    Margins margins_;  // of the block element being entered
    QHash<QString, QString> familyCache_;
    QHash<QString, Font> fontCache_;
};

}  // namespace

std::optional<AttributedString> HTMLImporter::attributedStringFromHTMLFile(
    const QString& path, const WebPreferences& preferences, Error* error,
    const HTMLImporterExtension* extension) {
    const QFileInfo info(path);
    if (info.isDir())
        return Error(QStringLiteral("NSCocoaErrorDomain"), 256,
                     QStringLiteral("The file “%1” couldn’t be opened.").arg(info.fileName()))
                   .report(error),
               std::nullopt;
    const std::optional<FileWrapper> file = FileWrapper::readFromPath(path, error);
    if (!file) return std::nullopt;
    return attributedStringFromHTML(file->regularFileContents(),
                                    QUrl::fromLocalFile(info.absoluteFilePath()), preferences,
                                    error, extension);
}

std::optional<AttributedString> HTMLImporter::attributedStringFromHTML(
    const QByteArray& html, const QUrl& baseURL, const WebPreferences& preferences, Error* error,
    const HTMLImporterExtension* extension) {
    if (html.trimmed().isEmpty()) return AttributedString();
    const std::unique_ptr<XMLDocument> document = XMLDocument::parseHTML(html, error);
    if (!document) return std::nullopt;
    if (!HTMLNestingLimits::check(document->rootElement(), error)) return std::nullopt;
    return Importer(baseURL, preferences, nullptr, extension).import(document->rootElement());
}

AttributedString HTMLImporter::attributedStringFromElement(XMLNode root, const QUrl& baseURL,
                                                           const WebPreferences& preferences,
                                                           HTMLImportDelegate* delegate,
                                                           const HTMLImporterExtension* extension,
                                                           QList<qsizetype>* checkBoxPositions) {
    return Importer(baseURL, preferences, delegate, extension).import(root, checkBoxPositions);
}
