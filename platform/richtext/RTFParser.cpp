#include "platform/richtext/RTFParser.h"

#include <QHash>
#include <QStringDecoder>
#include <algorithm>
#include <cctype>

#include "platform/richtext/RTFCodePage.h"

namespace {

constexpr double kTwipsPerPoint = 20.0;
constexpr long kFileReadCorruptFileError = 259;

// \ulN, \strikeN: a parameter of 0 turns the decoration off.
TextDecoration::Style toggled(bool hasParameter, int n, TextDecoration::Style on) {
    return hasParameter && n == 0 ? TextDecoration::Style::None : on;
}

}  // namespace

// --- tokens and groups -------------------------------------------------------

qsizetype RTFParser::contentStart(const QByteArray& data) {
    qsizetype start = 0;
    if (data.startsWith("\xEF\xBB\xBF")) start = 3;
    while (start < data.size() && std::isspace(static_cast<unsigned char>(data[start]))) ++start;
    return start;
}

bool RTFParser::parse(Error* error) {
    if (!data_.mid(start_, 5).startsWith("{\\rtf")) {
        Error(QStringLiteral("NSCocoaErrorDomain"), kFileReadCorruptFileError,
              QStringLiteral("The file couldn’t be opened because it isn’t in the correct format."))
            .report(error);
        return false;
    }
    document_ = RTFDocumentAttributes();
    document_.cocoaVersion = 0;
    run();
    if (failure_) {
        failure_->report(error);
        return false;
    }
    while (!stack_.empty()) closeGroup();
    flush();
    finishParagraph(false);
    tables_.applyCorrections(text_);
    return true;
}

void RTFParser::run() {
    for (;;) {
        const RTFTokenizer::Token token = tokenizer_.next();
        switch (token.kind) {
            case RTFTokenizer::Token::Kind::End:
                return;
            case RTFTokenizer::Token::Kind::GroupStart:
                openGroup();
                break;
            case RTFTokenizer::Token::Kind::GroupEnd:
                if (stack_.empty()) return;  // the end of the document
                closeGroup();
                if (stack_.empty()) return;
                break;
            case RTFTokenizer::Token::Kind::Word:
            case RTFTokenizer::Token::Kind::Binary:  // its data is no text: pictures, objects
                controlWord(token.word, token.hasParameter, token.parameter);
                break;
            case RTFTokenizer::Token::Kind::Symbol:
                controlSymbol(token.symbol);
                break;
            case RTFTokenizer::Token::Kind::Text:
                textBytes(token.text);
                break;
            case RTFTokenizer::Token::Kind::Byte:
                textByte(token.parameter);
                break;
            case RTFTokenizer::Token::Kind::Unicode:
                unicodeCharacter(token.parameter);
                break;
        }
    }
}

// Stops the reading: the document asks for more than the reader keeps.
void RTFParser::fail(const QString& reason) {
    if (!failure_)
        failure_ = Error(QStringLiteral("NSCocoaErrorDomain"), kFileReadCorruptFileError, reason);
    tokenizer_.stop();
}

void RTFParser::openGroup() {
    if (stack_.size() >= kMaxGroupDepth) {
        fail(QStringLiteral("The RTF nests groups more than %1 levels deep.").arg(kMaxGroupDepth));
        return;
    }
    flush();
    stack_.push_back(stack_.empty() ? GroupState() : stack_.back());
    state().ignorable = false;
    state().pendingAttachment = -1;
}

void RTFParser::closeGroup() {
    flush();
    GroupState closing = stack_.back();
    if (closing.pendingAttachment >= 0) emitAttachment(closing.pendingAttachment);
    stack_.pop_back();
    switch (closing.destination) {
        case Destination::NeXTGraphic:
            if (!stack_.empty() && closing.attachment >= 0) {
                finishAttachmentName(closing.attachment);
                state().pendingAttachment = closing.attachment;
            }
            break;
        case Destination::ShapeValue:
            finishBackgroundShape();
            break;
        default:
            break;
    }
}

// The page background: the fill colour (as BGR) of the background shape.
void RTFParser::finishBackgroundShape() {
    if (shapeName_.trimmed() != QLatin1String("fillColor")) return;
    bool ok = false;
    const qint64 bgr = shapeValue_.trimmed().toLongLong(&ok);
    if (ok)
        document_.backgroundColor =
            QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

// --- text --------------------------------------------------------------------

int RTFParser::currentCodePage() const {
    if (const int codePage = fonts_.codePage(stack_.back().character.font)) return codePage;
    return codePage_;
}

void RTFParser::textBytes(QByteArrayView bytes) {
    if (stack_.empty()) return;
    const GroupState& s = state();
    if (s.destination == Destination::Text && s.pendingAttachment < 0) {
        pendingBytes_.append(bytes);  // the common case: body text, taken whole
        return;
    }
    for (const char byte : bytes) textByte(static_cast<unsigned char>(byte));
}

void RTFParser::textByte(int byte) {
    if (stack_.empty()) return;
    GroupState& s = state();
    if (s.destination == Destination::Text && s.pendingAttachment >= 0) {
        const int attachment = s.pendingAttachment;
        s.pendingAttachment = -1;
        emitAttachment(attachment);
        if (byte == 0xAC) return;
    }
    switch (s.destination) {
        case Destination::FontTable:
            if (byte == ';') {
                flush();
                return fonts_.finishEntry();
            }
            break;
        case Destination::ColorTable:
            if (byte == ';') colors_.finishEntry();
            return;
        case Destination::ExpandedColorTable:
            if (byte == ';') colors_.finishExpandedEntry();
            return;
        case Destination::NeXTGraphic:
            if (!attachmentBuilders_[s.attachment].nameEnded)
                attachmentBuilders_[s.attachment].nameBytes += char(byte);
            return;
        case Destination::Skip:
        case Destination::ListTable:
        case Destination::List:
        case Destination::ListLevel:
        case Destination::ListOverrideTable:
        case Destination::Background:
            return;
        default:
            break;
    }
    pendingBytes_ += char(byte);
}

// Decodes the bytes gathered so far and hands the text to the destination.
void RTFParser::flush() {
    if (pendingBytes_.isEmpty() || stack_.empty()) {
        pendingBytes_.clear();
        return;
    }
    const QString text = RTFCodePage::decode(pendingBytes_, currentCodePage());
    pendingBytes_.clear();
    appendText(text);
}

void RTFParser::appendText(const QString& text) {
    GroupState& s = state();
    switch (s.destination) {
        case Destination::Text:
            text_.append(text, characterAttributes());
            break;
        case Destination::FontTable:
            fonts_.appendName(text);
            break;
        case Destination::FieldInstruction:
            if (s.field >= 0) fields_[s.field].instruction += text;
            break;
        case Destination::LevelMarker:
            lists_.appendMarker(text);
            break;
        case Destination::LevelText:
            lists_.appendLevelText(text);
            break;
        case Destination::ShapeName:
            shapeName_ += text;
            break;
        case Destination::ShapeValue:
            shapeValue_ += text;
            break;
        default:
            break;
    }
}

void RTFParser::appendCharacter(char16_t character) {
    flush();
    GroupState& s = state();
    if (s.destination == Destination::Text && s.pendingAttachment >= 0) {
        const int attachment = s.pendingAttachment;
        s.pendingAttachment = -1;
        emitAttachment(attachment);
    }
    appendText(QString(QChar(character)));
}

void RTFParser::unicodeCharacter(int value) {
    if (stack_.empty()) return;
    flush();
    appendText(QString(QChar(char16_t(value & 0xFFFF))));
    tokenizer_.skipFallbackCharacters(state().unicodeSkip);
}

TextAttributes RTFParser::characterAttributes() {
    const GroupState& s = state();
    const CharacterProperties& c = s.character;
    TextAttributes a;
    a.font = fonts_.font(c.font, c.pointSize, c.bold, c.italic);
    if (c.foreground > 0 && colors_.color(c.foreground).isValid())
        a.foregroundColor = colors_.color(c.foreground);
    if (c.background > 0 && !colors_.isCocoaNoBackground(c.background) &&
        colors_.color(c.background).isValid())
        a.backgroundColor = colors_.color(c.background);
    if (c.underline != TextDecoration::Style::None)
        a.underline = TextDecoration{c.underline, colors_.color(c.underlineColor)};
    if (c.strike != TextDecoration::Style::None)
        a.strikethrough = TextDecoration{c.strike, colors_.color(c.strikeColor)};
    if (c.superscript != 0) a.superscript = c.superscript;
    if (c.baselineOffset != 0) a.baselineOffset = c.baselineOffset;
    if (s.link) a.link = s.link;
    return a;
}

// --- paragraphs --------------------------------------------------------------

ParagraphStyle RTFParser::paragraphStyle(const ParagraphProperties& p, int tableDepth) {
    ParagraphStyle s;
    s.alignment = p.alignment;
    s.headIndent = p.leftIndent / kTwipsPerPoint;
    s.firstLineHeadIndent = (p.leftIndent + p.firstIndent) / kTwipsPerPoint;
    s.tailIndent = -p.rightIndent / kTwipsPerPoint;
    s.paragraphSpacingBefore = p.spaceBefore / kTwipsPerPoint;
    s.paragraphSpacing = p.spaceAfter / kTwipsPerPoint;
    if (p.lineSpacing > 0 && p.lineMultiple) {
        s.lineHeightMultiple = p.lineSpacing / 240.0;
    } else if (p.lineSpacing > 0) {
        s.minimumLineHeight = p.lineSpacing / kTwipsPerPoint;
    } else if (p.lineSpacing < 0) {
        s.minimumLineHeight = s.maximumLineHeight = -p.lineSpacing / kTwipsPerPoint;
    }
    if (p.leading > 0) s.lineSpacing = p.leading / kTwipsPerPoint;
    if (p.minimumHeight > 0) s.minimumLineHeight = p.minimumHeight / kTwipsPerPoint;
    if (p.maximumHeight > 0) s.maximumLineHeight = p.maximumHeight / kTwipsPerPoint;
    s.tabStops = p.tabs;
    s.defaultTabInterval = p.defaultTab / kTwipsPerPoint;
    if (p.list > 0) s.textLists = lists_.listsFor(p.list, p.listLevel);
    for (int depth = 1; depth <= tableDepth; ++depth) s.textBlocks.append(tables_.cellBlock(depth));
    return s;
}

// Ends the paragraph being read: adds its terminator (when asked) and puts
// the paragraph style over it. `tableDepth` is the depth of the cell it sits in.
void RTFParser::endParagraph(bool addTerminator, int tableDepth) {
    flush();
    if (addTerminator) text_.append(QStringLiteral("\n"), characterAttributes());
    finishParagraph(true, tableDepth);
}

void RTFParser::finishParagraph(bool always, int tableDepth) {
    if (text_.length() == paragraphStart_) return;
    if (stack_.empty() && !always) {
        // The document's last paragraph, without a terminator.
        applyParagraphStyle(lastParagraph_, 0);
        return;
    }
    const ParagraphProperties& p = stack_.empty() ? lastParagraph_ : state().paragraph;
    const int depth = tableDepth >= 0 ? tableDepth : p.tableDepth;
    applyParagraphStyle(p, depth);
}

void RTFParser::applyParagraphStyle(const ParagraphProperties& p, int depth) {
    tables_.closeTablesDeeperThan(depth);
    const ParagraphStyle style = paragraphStyle(p, depth);
    const TextRange range{paragraphStart_, text_.length() - paragraphStart_};
    text_.modifyAttributes(range, [&](TextAttributes& a) {
        if (style.isDefault())
            a.paragraphStyle.reset();
        else
            a.paragraphStyle = style;
    });
    tables_.paragraphEnded(depth);
    paragraphStart_ = text_.length();
}

void RTFParser::paragraphBreak() {
    if (stack_.empty()) return;
    flush();
    if (state().destination != Destination::Text) return;
    if (state().pendingAttachment >= 0) {
        emitAttachment(state().pendingAttachment);
        state().pendingAttachment = -1;
    }
    endParagraph(true, state().paragraph.tableDepth);
}

// --- tables ------------------------------------------------------------------

void RTFParser::endCell(int depth) {
    flush();
    switch (tables_.endCell(depth, text_.length() == paragraphStart_)) {
        case RTFTableBuilder::CellEnd::TooManyCells:
            return failTooManyCells();
        case RTFTableBuilder::CellEnd::EndParagraph:
            endParagraph(true, depth);
            break;
        case RTFTableBuilder::CellEnd::Nothing:
            break;
    }
    tables_.advanceCell(depth);
}

void RTFParser::endRow(int depth) {
    flush();
    tables_.endRow(depth);
}

void RTFParser::failTooManyCells() {
    fail(QStringLiteral("The RTF has a table row of more than %1 cells.")
             .arg(RTFTableBuilder::kMaxCellsPerRow));
}

// --- attachments -------------------------------------------------------------

void RTFParser::finishAttachmentName(int index) {
    AttachmentBuilder& b = attachmentBuilders_[index];
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString name = utf8.decode(b.nameBytes);
    if (utf8.hasError()) name = RTFCodePage::decode(b.nameBytes, codePage_);
    if (name.endsWith(QLatin1Char(' '))) name.chop(1);
    b.nameBytes = name.toUtf8();
}

void RTFParser::emitAttachment(int index) {
    flush();
    const AttachmentBuilder& b = attachmentBuilders_[index];
    const QString name = QString::fromUtf8(b.nameBytes);
    TextAttachment attachment;
    FileWrapper placeholder;
    placeholder.setPreferredFilename(name);
    attachment.setFileWrapper(placeholder);
    const QSizeF size(b.width / kTwipsPerPoint, b.height / kTwipsPerPoint);
    if (!size.isEmpty()) attachment.setDisplaySize(size);
    TextAttributes attributes = characterAttributes();
    attributes.attachment = attachment;
    attachments_.append({text_.length(), name, size.isEmpty() ? QSizeF() : size});
    text_.append(QString(QChar(TextAttachment::Character)), attributes);
}

// --- control words -----------------------------------------------------------

void RTFParser::controlSymbol(char c) {
    switch (c) {
        case '\\':
        case '{':
        case '}':
            textByte(static_cast<unsigned char>(c));
            return;
        case '\n':
        case '\r':
            return paragraphBreak();
        case '~':
            return appendCharacter(0x00A0);
        case '-':
            return appendCharacter(0x00AD);
        case '_':
            return appendCharacter(0x2011);
        case '*':
            if (!stack_.empty()) state().ignorable = true;
            return;
        case '\t':
            return appendCharacter(u'\t');
        default:
            return;
    }
}

bool RTFParser::destinationWord(const QByteArray& w) {
    GroupState& s = state();
    const Destination d = s.destination;
    if (d == Destination::Skip) return false;  // nothing inside a skipped group is read
    Destination next = Destination::Skip;
    if (w == "fonttbl")
        next = Destination::FontTable;
    else if (w == "colortbl")
        next = Destination::ColorTable;
    else if (w == "expandedcolortbl")
        next = Destination::ExpandedColorTable;
    else if (w == "listtable")
        next = Destination::ListTable;
    else if (w == "listoverridetable")
        next = Destination::ListOverrideTable;
    else if (w == "list" && d == Destination::ListTable) {
        lists_.beginList();
        next = Destination::List;
    } else if (w == "listlevel" && d == Destination::List) {
        lists_.beginLevel();
        next = Destination::ListLevel;
    } else if (w == "levelmarker" && d == Destination::ListLevel)
        next = Destination::LevelMarker;
    else if (w == "leveltext" && d == Destination::ListLevel)
        next = Destination::LevelText;
    else if (w == "listoverride" && d == Destination::ListOverrideTable) {
        lists_.beginOverride();
        next = Destination::ListOverrideTable;
    } else if (w == "fldinst")
        next = Destination::FieldInstruction;
    else if (w == "fldrslt") {
        next = Destination::Text;
        if (s.field >= 0) s.link = hyperlink(fields_[s.field].instruction);
    } else if (w == "field") {
        fields_.push_back({});
        s.field = int(fields_.size() - 1);
        next = d;
    } else if (w == "listtext")
        next = Destination::Text;
    else if (w == "NeXTGraphic") {
        attachmentBuilders_.push_back({});
        s.attachment = int(attachmentBuilders_.size() - 1);
        next = Destination::NeXTGraphic;
    } else if (w == "background")
        next = Destination::Background;
    else if ((w == "shp" || w == "shpinst" || w == "sp") && d == Destination::Background)
        next = d;
    else if (w == "sn" && d == Destination::Background) {
        shapeName_.clear();
        next = Destination::ShapeName;
    } else if (w == "sv" && d == Destination::Background) {
        shapeValue_.clear();
        next = Destination::ShapeValue;
    } else if (w == "info" || w == "stylesheet" || w == "pict" || w == "object" ||
               w == "footnote" || w == "header" || w == "footer" || w.startsWith("header") ||
               w.startsWith("footer") || w == "annotation" || w == "xe" || w == "tc" ||
               w == "nonshppict" || w == "listname" || w == "levelnumbers" || w == "themedata" ||
               w == "colorschememapping" || w == "datastore" || w == "latentstyles")
        next = Destination::Skip;
    else
        return false;
    s.destination = next;
    s.ignorable = false;
    return true;
}

std::optional<QUrl> RTFParser::hyperlink(const QString& instruction) {
    QString rest = instruction.trimmed();
    if (!rest.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive)) return std::nullopt;
    rest = rest.mid(9).trimmed();
    QString target;
    QString fragment;
    while (!rest.isEmpty()) {
        bool isFragment = false;
        if (rest.startsWith(QLatin1String("\\l"))) {
            isFragment = true;
            rest = rest.mid(2).trimmed();
        } else if (rest.startsWith(QLatin1Char('\\'))) {
            // Another switch (\o, \t, \m...): skip it and its argument.
            rest = rest.mid(2).trimmed();
            if (rest.startsWith(QLatin1Char('"')))
                rest = rest.mid(rest.indexOf(QLatin1Char('"'), 1) + 1).trimmed();
            continue;
        }
        QString value;
        if (rest.startsWith(QLatin1Char('"'))) {
            const qsizetype close = rest.indexOf(QLatin1Char('"'), 1);
            value = rest.mid(1, close < 0 ? -1 : close - 1);
            rest = close < 0 ? QString() : rest.mid(close + 1).trimmed();
        } else {
            const qsizetype space = rest.indexOf(QLatin1Char(' '));
            value = rest.left(space);
            rest = space < 0 ? QString() : rest.mid(space + 1).trimmed();
        }
        (isFragment ? fragment : target) = value;
    }
    if (target.isEmpty() && fragment.isEmpty()) return std::nullopt;
    QUrl url = QUrl::fromEncoded(target.toUtf8(), QUrl::TolerantMode);
    if (!fragment.isEmpty()) url.setFragment(fragment);
    // A target that makes no address is no link (written back, it would
    // be an empty one, which no reader takes for a link).
    if (!url.isValid() || url.toEncoded(QUrl::FullyEncoded).isEmpty()) return std::nullopt;
    return url;
}

void RTFParser::controlWord(const QByteArray& w, bool hasParameter, int n) {
    if (stack_.empty()) return;
    flush();
    if (destinationWord(w)) return;
    GroupState& s = state();
    if (s.ignorable) {
        s.destination = Destination::Skip;
        s.ignorable = false;
        return;
    }
    if (w == "uc") {  // in every destination: font names carry \u characters too
        s.unicodeSkip = std::max(0, n);
        return;
    }
    switch (s.destination) {
        case Destination::Skip:
            return;
        case Destination::FontTable:
            return fonts_.tableWord(w, n);
        case Destination::ColorTable:
            return colors_.tableWord(w, n);
        case Destination::ExpandedColorTable:
            return colors_.expandedWord(w, n);
        case Destination::ListTable:
            return;
        case Destination::List:
            return lists_.listWord(w, n);
        case Destination::ListLevel:
            return lists_.levelWord(w, n);
        case Destination::ListOverrideTable:
            return lists_.overrideWord(w, n);
        case Destination::NeXTGraphic:
            return attachmentWord(w, n);
        default:
            break;
    }
    if (documentWord(w, n)) return;
    if (s.destination != Destination::Text && s.destination != Destination::FieldInstruction &&
        s.destination != Destination::LevelMarker && s.destination != Destination::LevelText)
        return;
    if (specialCharacter(w)) return;
    if (tableWord(w, n)) return;
    if (paragraphWord(w, n)) return;
    characterWord(w, hasParameter, n);
}

bool RTFParser::specialCharacter(const QByteArray& w) {
    static const QHash<QByteArray, char16_t> kCharacters = {
        {"tab", u'\t'},        {"line", 0x2028},      {"page", 0x000C},    {"emdash", 0x2014},
        {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},  {"rquote", 0x2019},
        {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003}, {"enspace", 0x2002},
        {"qmspace", 0x2005},   {"zwj", 0x200D},       {"zwnj", 0x200C},    {"ltrmark", 0x200E},
        {"rtlmark", 0x200F}};
    if (w == "par" || w == "sect") {
        paragraphBreak();
        return true;
    }
    const auto it = kCharacters.find(w);
    if (it == kCharacters.end()) return false;
    appendCharacter(*it);
    return true;
}

bool RTFParser::documentWord(const QByteArray& w, int n) {
    RTFDocumentAttributes& d = document_;
    const double points = n / kTwipsPerPoint;
    if (w == "ansicpg")
        codePage_ = d.codePage = n;
    else if (w == "ansi")
        codePage_ = d.codePage = 1252;
    else if (w == "mac")
        codePage_ = d.codePage = 10000;
    else if (w == "pc")
        codePage_ = d.codePage = 437;
    else if (w == "pca")
        codePage_ = d.codePage = 850;
    else if (w == "deff")
        fonts_.setDefaultFont(n);
    else if (w == "cocoartf")
        d.cocoaVersion = n;
    else if (w == "cocoasubrtf")
        d.cocoaSubversion = n;
    else if (w == "cocoatextscaling")
        d.cocoaTextScaling = n;
    else if (w == "cocoaplatform")
        d.cocoaPlatform = n;
    else if (w == "paperw")
        d.paperSize.setWidth(points);
    else if (w == "paperh")
        d.paperSize.setHeight(points);
    else if (w == "margl")
        d.margins.setLeft(points);
    else if (w == "margr")
        d.margins.setRight(points);
    else if (w == "margt")
        d.margins.setTop(points);
    else if (w == "margb")
        d.margins.setBottom(points);
    else if (w == "vieww")
        d.viewSize.setWidth(points);
    else if (w == "viewh")
        d.viewSize.setHeight(points);
    else if (w == "viewkind")
        d.viewKind = n;
    else if (w == "viewscale")
        d.viewScale = n;
    else if (w == "readonlydoc")
        d.readOnly = n != 0;
    else if (w == "deftab")
        d.defaultTabInterval = points;
    else
        return false;
    return true;
}

bool RTFParser::tableWord(const QByteArray& w, int n) {
    GroupState& s = state();
    if (w == "trowd")
        tables_.beginRowDefinition(std::max(1, s.paragraph.tableDepth));
    else if (w == "cellx") {
        if (!tables_.endCellDefinition()) failTooManyCells();
    } else if (w == "cell")
        endCell(1);
    else if (w == "nestcell")
        endCell(std::max(2, s.paragraph.tableDepth));
    else if (w == "row")
        endRow(1);
    else if (w == "nestrow")
        endRow(std::max(2, s.paragraph.tableDepth));
    else if (w == "intbl")
        s.paragraph.tableDepth = std::max(1, s.paragraph.tableDepth);
    else if (w == "itap" && n > RTFTableBuilder::kMaxDepth)
        fail(QStringLiteral("The RTF nests tables more than %1 levels deep.")
                 .arg(RTFTableBuilder::kMaxDepth));
    else if (w == "itap")
        s.paragraph.tableDepth = std::max(0, n);
    else
        return tables_.definitionWord(w, n);
    return true;
}

bool RTFParser::paragraphWord(const QByteArray& w, int n) {
    ParagraphProperties& p = state().paragraph;
    if (w == "pard") {
        p = ParagraphProperties();
        if (!stack_.empty()) lastParagraph_ = p;
    } else if (w == "ql")
        p.alignment = TextAlignment::Left;
    else if (w == "qr")
        p.alignment = TextAlignment::Right;
    else if (w == "qc")
        p.alignment = TextAlignment::Center;
    else if (w == "qj")
        p.alignment = TextAlignment::Justified;
    else if (w == "qnatural")
        p.alignment = TextAlignment::Natural;
    else if (w == "li")
        p.leftIndent = n;
    else if (w == "fi")
        p.firstIndent = n;
    else if (w == "ri")
        p.rightIndent = n;
    else if (w == "sb")
        p.spaceBefore = n;
    else if (w == "sa")
        p.spaceAfter = n;
    else if (w == "sl")
        p.lineSpacing = n;
    else if (w == "slmult")
        p.lineMultiple = n != 0;
    else if (w == "slleading")
        p.leading = n;
    else if (w == "slminimum")
        p.minimumHeight = n;
    else if (w == "slmaximum")
        p.maximumHeight = n;
    else if (w == "tqr")
        p.pendingTabAlignment = TextTab::Alignment::Right;
    else if (w == "tqc")
        p.pendingTabAlignment = TextTab::Alignment::Center;
    else if (w == "tqdec")
        p.pendingTabAlignment = TextTab::Alignment::Decimal;
    else if (w == "tx") {
        p.tabs.append({n / kTwipsPerPoint, p.pendingTabAlignment});
        p.pendingTabAlignment = TextTab::Alignment::Left;
    } else if (w == "pardeftab")
        p.defaultTab = n;
    else if (w == "ls")
        p.list = n;
    else if (w == "ilvl")
        p.listLevel = n;
    else
        return false;
    lastParagraph_ = p;
    return true;
}

void RTFParser::characterWord(const QByteArray& w, bool hasParameter, int n) {
    CharacterProperties& c = state().character;
    const bool on = !hasParameter || n != 0;
    if (w == "plain")
        c = CharacterProperties();
    else if (w == "f")
        c.font = n;
    else if (w == "fs")
        c.pointSize = n / 2.0;
    else if (w == "fsmilli")
        c.pointSize = n / 1000.0;
    else if (w == "b")
        c.bold = on;
    else if (w == "i")
        c.italic = on;
    else if (w == "ul" || w == "uld" || w == "uldash" || w == "uldashd" || w == "uldashdd" ||
             w == "ulw" || w == "ulwave" || w == "ulhair")
        c.underline = toggled(hasParameter, n, TextDecoration::Style::Single);
    else if (w == "uldb" || w == "ululdbwave")
        c.underline = toggled(hasParameter, n, TextDecoration::Style::Double);
    else if (w == "ulth" || w.startsWith("ulth"))
        c.underline = toggled(hasParameter, n, TextDecoration::Style::Thick);
    else if (w == "ulnone")
        c.underline = TextDecoration::Style::None;
    else if (w == "ulc")
        c.underlineColor = n;
    else if (w == "strike")
        c.strike = toggled(hasParameter, n, TextDecoration::Style::Single);
    else if (w == "striked")
        c.strike = toggled(hasParameter, n, TextDecoration::Style::Double);
    else if (w == "strikec")
        c.strikeColor = n;
    else if (w == "super")
        c.superscript = hasParameter && n > 0 ? n : 1;
    else if (w == "sub")
        c.superscript = hasParameter && n > 0 ? -n : -1;
    else if (w == "nosupersub")
        c.superscript = 0;
    else if (w == "up")
        c.baselineOffset = n / 2.0;
    else if (w == "dn")
        c.baselineOffset = -n / 2.0;
    else if (w == "cf")
        c.foreground = n;
    else if (w == "cb" || w == "highlight")
        c.background = n;
}

void RTFParser::attachmentWord(const QByteArray& w, int n) {
    GroupState& s = state();
    if (s.attachment < 0) return;
    AttachmentBuilder& b = attachmentBuilders_[s.attachment];
    b.nameEnded = true;
    if (w == "width")
        b.width = n;
    else if (w == "height")
        b.height = n;
}
