#include "platform/richtext/RTFWriter.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/RTFCodePage.h"

namespace {

constexpr double kTwipsPerPoint = 20.0;
// Larger sizes are written as this one: \fs and \fsmilli are integers, and a
// size read from damaged input may be any number.
constexpr double kMaximumPointSize = 100000;
constexpr int kDefaultCellWidthTwips = 8640;  // the full text width of a US letter page

// Cocoa ends background runs with \cb1, the white entry of the colour table.
constexpr int kNoBackground = 1;

int twips(double points) { return int(std::lround(points * kTwipsPerPoint)); }
QByteArray number(qint64 value) { return QByteArray::number(value); }

// The character formatting in effect in the RTF output, in RTF's own terms.
struct CharacterState {
    int font = -1;
    int halfPoints = -1;
    int milliPoints = -1;
    bool bold = false;
    bool italic = false;
    TextDecoration::Style underline = TextDecoration::Style::None;
    int underlineColor = 0;
    TextDecoration::Style strike = TextDecoration::Style::None;
    int strikeColor = 0;
    int superscript = 0;
    int baselineHalfPoints = 0;
    int foreground = 0;
    int background = kNoBackground;
};

struct Paragraph {
    TextRange range;    // terminator included
    TextRange content;  // terminator excluded
    ParagraphStyle style;
};

struct Cell {
    qsizetype first;  // paragraph indexes [first, last)
    qsizetype last;
    TextTableBlock block;
};

// One grid position of a table row in the output.
struct Slot {
    enum class Kind { Origin, HorizontalContinuation, VerticalContinuation, Empty };
    Kind kind = Kind::Empty;
    const Cell* cell = nullptr;
    TextTableBlock block;
    bool mergesHorizontally = false;  // a vertical continuation inside a wide cell
};

// A list in the list table: the lists of each nesting level.
struct ListEntry {
    quint64 identifier;
    QList<TextList> levels;
};

class Writer {
  public:
    Writer(const AttributedString& text, const RTFDocumentAttributes& document,
           const QHash<qsizetype, QString>& attachmentNames)
        : text_(text), document_(document), attachmentNames_(attachmentNames) {}

    QByteArray write() {
        collectParagraphs();
        collectTables();
        QByteArray body;
        out_ = &body;
        writeParagraphs(0, qsizetype(paragraphs_.size()), 0);
        QByteArray head = header();
        return head + body + "}";
    }

  private:
    // --- collecting ---------------------------------------------------------

    void collectParagraphs() {
        const QString& s = text_.string();
        for (const TextRange& range : text_.paragraphRanges()) {
            qsizetype contentEnd = range.end();
            if (contentEnd > range.location && isParagraphEnd(s.at(contentEnd - 1))) {
                --contentEnd;
                if (s.at(contentEnd) == QLatin1Char('\n') && contentEnd > range.location &&
                    s.at(contentEnd - 1) == QLatin1Char('\r'))
                    --contentEnd;
            }
            paragraphs_.push_back(
                {range,
                 {range.location, contentEnd - range.location},
                 text_.attributesAtIndex(range.location).effectiveParagraphStyle()});
        }
    }

    void collectTables() {
        fontIndex(defaultFont());
        colors_.append(QColor(Qt::white));
        if (text_.length() == 0) return;
        text_.enumerateAttributes({0, text_.length()},
                                  [&](const TextAttributes& a, const TextRange&, bool&) {
                                      fontIndex(a.font.value_or(defaultFont()));
                                      if (a.foregroundColor) colorIndex(*a.foregroundColor);
                                      if (a.backgroundColor) backgroundIndex(*a.backgroundColor);
                                      if (a.underline && a.underline->color.isValid())
                                          colorIndex(a.underline->color);
                                      if (a.strikethrough && a.strikethrough->color.isValid())
                                          colorIndex(a.strikethrough->color);
                                  });
        for (const Paragraph& p : paragraphs_) {
            for (const TextTableBlock& block : p.style.textBlocks) {
                if (block.borderColor.isValid()) colorIndex(block.borderColor);
                if (block.backgroundColor.isValid()) colorIndex(block.backgroundColor);
            }
            if (!p.style.textLists.isEmpty()) listIndex(p.style.textLists);
        }
    }

    static bool isParagraphEnd(QChar c) {
        return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c.unicode() == 0x2029 ||
               c.unicode() == 0x85;
    }

    static Font defaultFont() { return FontRegistry::userFontOfSize(12); }

    int fontIndex(const Font& font) {
        const QString name = font.postScriptName().isEmpty()
                                 ? FontRegistry::postScriptNameForFamily(
                                       font.family(), font.isBold(), font.isItalic())
                                 : font.postScriptName();
        const qsizetype found = fontNames_.indexOf(name);
        if (found >= 0) return int(found);
        fontNames_.append(name);
        fontFamilies_.append(font.family().isEmpty() ? FontRegistry::familyForPostScriptName(name)
                                                     : font.family());
        return int(fontNames_.size() - 1);
    }

    static bool sameColor(const QColor& a, const QColor& b) {
        return a.toRgb().rgba64() == b.toRgb().rgba64();
    }

    // Index of a colour in \colortbl (entry 0 is the default colour, entry 1 white).
    int colorIndex(const QColor& color) {
        for (qsizetype i = 0; i < colors_.size(); ++i)
            if (sameColor(colors_[i], color)) return int(i + 1);
        colors_.append(color);
        return int(colors_.size());
    }

    // Like colorIndex, but never entry 1: \cb1 means "no background" to Cocoa.
    int backgroundIndex(const QColor& color) {
        for (qsizetype i = 1; i < colors_.size(); ++i)
            if (sameColor(colors_[i], color)) return int(i + 1);
        colors_.append(color);
        return int(colors_.size());
    }

    int listIndex(const QList<TextList>& lists) {
        for (qsizetype i = 0; i < lists_.size(); ++i) {
            if (lists_[i].identifier != lists.first().identifier()) continue;
            for (qsizetype level = lists_[i].levels.size(); level < lists.size(); ++level)
                lists_[i].levels.append(lists[level]);
            return int(i + 1);
        }
        lists_.append({lists.first().identifier(), lists});
        return int(lists_.size());
    }

    // --- header -------------------------------------------------------------

    QByteArray header() const {
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

    QByteArray fontTable() const {
        QByteArray t = "{\\fonttbl";
        for (qsizetype i = 0; i < fontNames_.size(); ++i) {
            static const char* const kClasses[] = {"\\fnil", "\\fswiss", "\\froman", "\\fmodern"};
            t += "\\f" + number(i) + kClasses[int(FontRegistry::genericFamily(fontFamilies_[i]))] +
                 "\\fcharset0 " + escapedAscii(fontNames_[i]) + ";";
        }
        return t + "}";
    }

    QByteArray colorTables() const {
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

    static int levelNumberFormat(const TextList& list) {
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

    QByteArray listLevel(const TextList& list, int level, int templateId) const {
        const int format = levelNumberFormat(list);
        const int indent = 720 * (level + 1);
        QByteArray l = "{\\listlevel\\levelnfc" + number(format) + "\\levelnfcn" + number(format) +
                       "\\leveljc0\\leveljcn0\\levelfollow0\\levelstartat" +
                       number(list.startingItemNumber()) +
                       "\\levelspace360\\levelindent0{\\*\\levelmarker " +
                       escapedText(list.markerFormat(), true) + "}{\\leveltext\\leveltemplateid" +
                       number(templateId);
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

    QByteArray listTables() const {
        QByteArray table = "{\\*\\listtable";
        QByteArray overrides = "{\\*\\listoverridetable";
        for (qsizetype i = 0; i < lists_.size(); ++i) {
            const QByteArray id = number(i + 1);
            table += "{\\list\\listtemplateid" + id + "\\listhybrid";
            for (qsizetype level = 0; level < lists_[i].levels.size(); ++level)
                table +=
                    listLevel(lists_[i].levels[level], int(level), int((i + 1) * 100 + level + 1));
            table += "{\\listname ;}\\listid" + id + "}";
            overrides += "{\\listoverride\\listid" + id + "\\listoverridecount0\\ls" + id + "}";
        }
        return table + "}\n" + overrides + "}\n";
    }

    QByteArray documentWords() const {
        const RTFDocumentAttributes& d = document_;
        QByteArray w = "\\paperw" + number(twips(d.paperSize.width())) + "\\paperh" +
                       number(twips(d.paperSize.height())) + "\\margl" +
                       number(twips(d.margins.left())) + "\\margr" +
                       number(twips(d.margins.right()));
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

    // The page background as the drawing-object form that RTF readers know.
    static QByteArray backgroundShape(const QColor& color) {
        const QColor c = color.toRgb();
        const qint64 bgr = c.red() + (c.green() << 8) + (qint64(c.blue()) << 16);
        return "{\\*\\background "
               "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright0\\shpbottom0\\shpfhdr0"
               "\\shpbxmargin\\shpbymargin\\shpwr0\\shpwrk0\\shpfblwtxt1\\shpz0\\shplid1025"
               "{\\sp{\\sn shapeType}{\\sv 1}}{\\sp{\\sn fillColor}{\\sv " +
               number(bgr) + "}}{\\sp{\\sn fFilled}{\\sv 1}}{\\sp{\\sn fBackground}{\\sv 1}}}}}\n";
    }

    // --- escaping -----------------------------------------------------------

    static QByteArray hexByte(int value) {
        QByteArray b;
        appendHexByte(b, value);
        return b;
    }

    static void appendHexByte(QByteArray& out, int value) {
        static const char kHex[] = "0123456789abcdef";
        out += "\\'";
        out += kHex[(value >> 4) & 0xF];
        out += kHex[value & 0xF];
    }

    static void appendUnicodeWord(QByteArray& out, char16_t unit) {
        out += "\\uc0\\u";
        out += number(unit);
        out += ' ';
    }

    static QByteArray escapedAscii(const QString& text) {
        QByteArray out;
        for (QChar c : text) {
            if (c.unicode() < 0x80)
                appendEscapedCharacter(out, c, false);
            else
                appendUnicodeWord(out, c.unicode());
        }
        return out;
    }

    // One character of text, appended in place: the body is written a
    // character at a time, so no piece is built on its own. With
    // `unicodeOnly`, every non-ASCII character is written as \u (as list
    // markers are).
    static void appendEscapedCharacter(QByteArray& out, QChar c, bool unicodeOnly) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F && u != u'\\' && u != u'{' && u != u'}') {
            out += char(u);
            return;
        }
        switch (u) {
            case u'\\':
                out += "\\\\";
                return;
            case u'{':
                out += "\\{";
                return;
            case u'}':
                out += "\\}";
                return;
            case u'\t':
                out += '\t';
                return;
            case 0x2028:
                out += "\\line ";
                return;
            case 0x0C:
                out += "\\page ";
                return;
            default:
                break;
        }
        if (!unicodeOnly && u >= 0x80) {
            const int byte = RTFCodePage::windows1252ByteForCharacter(u);
            if (byte >= 0) {
                appendHexByte(out, byte);
                return;
            }
        }
        appendUnicodeWord(out, u);
    }

    static QByteArray escapedText(const QString& text, bool unicodeOnly = false) {
        QByteArray out;
        for (QChar c : text) appendEscapedCharacter(out, c, unicodeOnly);
        return out;
    }

    // Attachment names are UTF-8 bytes, non-ASCII ones as \'hh.
    static QByteArray escapedFileName(const QString& name) {
        QByteArray out;
        for (char byte : name.toUtf8()) {
            const auto value = static_cast<unsigned char>(byte);
            if (value == '\\' || value == '{' || value == '}')
                out += QByteArray("\\") + char(value);
            else if (value < 0x20 || value >= 0x7F)
                out += hexByte(value);
            else
                out += char(value);
        }
        return out;
    }

    // --- body ---------------------------------------------------------------

    // Writes paragraphs [first, last) that sit at table depth `level` or deeper.
    void writeParagraphs(qsizetype first, qsizetype last, int level) {
        for (qsizetype i = first; i < last;) {
            const ParagraphStyle& style = paragraphs_[i].style;
            if (style.textBlocks.size() > level) {
                const quint64 table = style.textBlocks[level].table.identifier();
                qsizetype end = i;
                while (end < last && paragraphs_[end].style.textBlocks.size() > level &&
                       paragraphs_[end].style.textBlocks[level].table.identifier() == table)
                    ++end;
                writeTable(i, end, level);
                i = end;
            } else {
                writeParagraph(paragraphs_[i], QByteArray());
                ++i;
            }
        }
    }

    static QByteArray cellEndWord(int level) { return level == 0 ? "\\cell " : "\\nestcell "; }
    static QByteArray rowEndWord(int level) { return level == 0 ? "\\row" : "\\nestrow"; }

    void writeTable(qsizetype first, qsizetype last, int level) {
        std::vector<Cell> cells;
        for (qsizetype i = first; i < last; ++i) {
            const TextTableBlock& block = paragraphs_[i].style.textBlocks[level];
            if (!cells.empty() && cells.back().block.isSameCell(block))
                cells.back().last = i + 1;
            else
                cells.push_back({i, i + 1, block});
        }
        int columns = cells.front().block.table.numberOfColumns();
        for (const Cell& cell : cells)
            columns =
                std::max(columns, cell.block.startingColumn + std::max(1, cell.block.columnSpan));

        std::vector<int> coveredThroughRow(columns, -1);
        std::vector<TextTableBlock> coveringBlock(columns);
        for (std::size_t start = 0; start < cells.size();) {
            std::size_t end = start;
            while (end < cells.size() &&
                   cells[end].block.startingRow == cells[start].block.startingRow)
                ++end;
            const bool lastRow = end == cells.size();
            writeRow(cells, start, end, columns, level, lastRow, coveredThroughRow, coveringBlock);
            start = end;
        }
        previousStyle_.reset();
    }

    std::vector<Slot> rowSlots(const std::vector<Cell>& cells, std::size_t start, std::size_t end,
                               int columns, std::vector<int>& coveredThroughRow,
                               std::vector<TextTableBlock>& coveringBlock) const {
        const int row = cells[start].block.startingRow;
        std::vector<Slot> grid(columns);
        std::vector<bool> filled(columns, false);
        for (std::size_t i = start; i < end; ++i) {
            const TextTableBlock& b = cells[i].block;
            const int span = std::max(1, b.columnSpan);
            for (int c = b.startingColumn; c < b.startingColumn + span && c < columns; ++c) {
                if (filled[c]) continue;
                filled[c] = true;
                grid[c] = {
                    c == b.startingColumn ? Slot::Kind::Origin : Slot::Kind::HorizontalContinuation,
                    &cells[i], b, false};
                if (b.rowSpan > 1) {
                    coveredThroughRow[c] = row + b.rowSpan - 1;
                    coveringBlock[c] = b;
                }
            }
        }
        for (int c = 0; c < columns; ++c) {
            if (filled[c] || coveredThroughRow[c] < row) continue;
            const TextTableBlock& b = coveringBlock[c];
            grid[c] = {Slot::Kind::VerticalContinuation, nullptr, b, c != b.startingColumn};
        }
        return grid;
    }

    QByteArray border(const char* side, const TextTableBlock& b) {
        QByteArray w = QByteArray("\\clbrdr") + side;
        if (b.borderWidth <= 0) return w + "\\brdrnil ";
        w += "\\brdrs\\brdrw" + number(std::max(1, twips(b.borderWidth)));
        if (b.borderColor.isValid()) w += "\\brdrcf" + number(colorIndex(b.borderColor));
        return w + " ";
    }

    QByteArray cellDefinition(const Slot& slot, int right) {
        const TextTableBlock& b = slot.block;
        QByteArray d;
        switch (slot.kind) {
            case Slot::Kind::Origin:
                if (b.columnSpan > 1) d += "\\clmgf";
                if (b.rowSpan > 1) d += "\\clvmgf";
                break;
            case Slot::Kind::HorizontalContinuation:
                d += "\\clmrg";
                break;
            case Slot::Kind::VerticalContinuation:
                d += slot.mergesHorizontally ? "\\clvmrg\\clmrg" : "\\clvmrg";
                break;
            case Slot::Kind::Empty:
                break;
        }
        static const char* const kVertical[] = {"\\clvertalt", "\\clvertalc", "\\clvertalb",
                                                "\\clvertalt"};
        d += QByteArray(kVertical[int(b.verticalAlignment)]) + " ";
        d += b.backgroundColor.isValid() ? "\\clcbpat" + number(colorIndex(b.backgroundColor)) + " "
                                         : QByteArray("\\clshdrawnil ");
        if (b.contentWidth > 0)
            d += "\\clwWidth" + number(twips(b.contentWidth)) + "\\clftsWidth3 ";
        d += border("t", b) + border("l", b) + border("b", b) + border("r", b);
        const QByteArray pad = number(twips(b.padding));
        d += "\\clpadt" + pad + "\\clpadft3 \\clpadl" + pad + "\\clpadfl3 \\clpadb" + pad +
             "\\clpadfb3 \\clpadr" + pad + "\\clpadfr3 ";
        return d + "\\gaph\\cellx" + number(right) + "\n";
    }

    void writeRow(const std::vector<Cell>& cells, std::size_t start, std::size_t end, int columns,
                  int level, bool lastRow, std::vector<int>& coveredThroughRow,
                  std::vector<TextTableBlock>& coveringBlock) {
        const std::vector<Slot> grid =
            rowSlots(cells, start, end, columns, coveredThroughRow, coveringBlock);
        const QByteArray itap = number(level + 1);
        QByteArray definition = "\\itap" + itap +
                                "\\trowd \\taflags1 \\trgaph108\\trleft-108 "
                                "\\trbrdrt\\brdrnil \\trbrdrl\\brdrnil \\trbrdrr\\brdrnil \n";
        int right = 0;
        for (const Slot& slot : grid) {
            const bool sized = slot.kind == Slot::Kind::Origin && slot.block.contentWidth > 0 &&
                               slot.block.columnSpan <= 1;
            right += sized ? twips(slot.block.contentWidth + 2 * slot.block.padding)
                           : kDefaultCellWidthTwips / columns;
            definition += cellDefinition(slot, right);
        }
        closeParagraphForNewWords();
        *out_ += definition;
        for (const Slot& slot : grid) {
            if (slot.kind == Slot::Kind::Origin)
                writeCell(*slot.cell, level);
            else
                *out_ += "\\pard\\intbl\\itap" + itap + "\\pardirnatural\\partightenfactor0\n" +
                         cellEndWord(level);
        }
        *out_ += (lastRow ? "\\lastrow" : "") + rowEndWord(level) + "\n";
    }

    void writeCell(const Cell& cell, int level) {
        const Paragraph& lastParagraph = paragraphs_[cell.last - 1];
        if (lastParagraph.style.textBlocks.size() > level + 1) {
            // The cell ends inside a nested table: close the cell with an empty end mark.
            writeParagraphs(cell.first, cell.last, level + 1);
            *out_ += "\\pard\\intbl\\itap" + number(level + 1) +
                     "\\pardirnatural\\partightenfactor0\n" + cellEndWord(level);
            return;
        }
        writeParagraphs(cell.first, cell.last - 1, level + 1);
        writeParagraph(lastParagraph, cellEndWord(level));
    }

    QByteArray paragraphWords(const ParagraphStyle& s) {
        QByteArray w = "\\pard";
        if (!s.textBlocks.isEmpty()) w += "\\intbl\\itap" + number(s.textBlocks.size());
        for (const TextTab& tab : s.tabStops) {
            static const char* const kTabKinds[] = {"", "\\tqr", "\\tqc", "\\tqdec"};
            w += QByteArray(kTabKinds[int(tab.alignment)]) + "\\tx" + number(twips(tab.location));
        }
        if (s.defaultTabInterval > 0) w += "\\pardeftab" + number(twips(s.defaultTabInterval));
        if (s.headIndent != 0) w += "\\li" + number(twips(s.headIndent));
        if (s.firstLineHeadIndent != s.headIndent)
            w += "\\fi" + number(twips(s.firstLineHeadIndent - s.headIndent));
        if (s.tailIndent < 0) w += "\\ri" + number(twips(-s.tailIndent));
        if (s.paragraphSpacingBefore != 0) w += "\\sb" + number(twips(s.paragraphSpacingBefore));
        if (s.paragraphSpacing != 0) w += "\\sa" + number(twips(s.paragraphSpacing));
        if (s.lineHeightMultiple > 0)
            w += "\\sl" + number(std::lround(s.lineHeightMultiple * 240)) + "\\slmult1";
        if (s.lineSpacing > 0) w += "\\slleading" + number(twips(s.lineSpacing));
        if (s.minimumLineHeight > 0) w += "\\slminimum" + number(twips(s.minimumLineHeight));
        if (s.maximumLineHeight > 0) w += "\\slmaximum" + number(twips(s.maximumLineHeight));
        static const char* const kAlignments[] = {"", "\\ql", "\\qr", "\\qc", "\\qj"};
        w += kAlignments[int(s.alignment)];
        w += "\\pardirnatural\\partightenfactor0\n";
        if (!s.textLists.isEmpty()) {
            const int ls = listIndex(s.textLists);
            w += "\\ls" + number(ls) + "\\ilvl" + number(s.textLists.size() - 1);
        }
        return w;
    }

    // The length of a rendered list marker ("\t•\t") at the start of the paragraph, or 0.
    qsizetype markerLength(const Paragraph& p) const {
        if (p.style.textLists.isEmpty() || p.content.length < 2) return 0;
        const QString& s = text_.string();
        if (s.at(p.content.location) != QLatin1Char('\t')) return 0;
        const qsizetype limit = std::min(p.content.end(), p.content.location + 32);
        for (qsizetype i = p.content.location + 1; i < limit; ++i)
            if (s.at(i) == QLatin1Char('\t')) return i + 1 - p.content.location;
        return 0;
    }

    // Paragraphs end with "\" + newline, as Cocoa writes them. Where the next
    // paragraph restates its paragraph words (a new style, a list or a table),
    // the break is written as \par instead: some readers take "\" + newline for
    // a line break and would pull the paragraph into the list or table that follows.
    void closeParagraphForNewWords() {
        if (out_->endsWith("\\\n")) {
            out_->chop(2);
            *out_ += "\\par\n";
        }
    }

    void writeParagraph(const Paragraph& p, const QByteArray& terminatorWord) {
        const bool inTable = !p.style.textBlocks.isEmpty();
        if (inTable || !previousStyle_ || *previousStyle_ != p.style) {
            closeParagraphForNewWords();
            *out_ += paragraphWords(p.style);
            previousStyle_ = p.style;
        }
        if (inTable) previousStyle_.reset();

        qsizetype position = p.content.location;
        if (const qsizetype marker = markerLength(p)) {
            writeCharacterState(text_.attributesAtIndex(position));
            *out_ += "{\\listtext" + escapedText(text_.string().mid(position, marker), true) + "}";
            position += marker;
        }
        writeRuns({position, p.content.end() - position});

        if (p.range.length > p.content.length) {
            TextAttributes terminator = text_.attributesAtIndex(p.content.end());
            terminator.link.reset();
            writeCharacterState(terminator);
            *out_ += terminatorWord.isEmpty() ? QByteArray("\\\n") : terminatorWord;
        } else if (!terminatorWord.isEmpty()) {
            *out_ += terminatorWord;
        }
    }

    void writeRuns(const TextRange& range) {
        if (range.isEmpty()) return;
        struct Piece {
            const TextAttributes& attributes;  // stable while the text is not changed
            TextRange range;
        };
        std::vector<Piece> pieces;
        text_.enumerateAttributes(range, [&](const TextAttributes& a, const TextRange& r, bool&) {
            pieces.push_back({a, r});
        });
        for (std::size_t i = 0; i < pieces.size();) {
            if (!pieces[i].attributes.link) {
                writePiece(pieces[i].attributes, pieces[i].range);
                ++i;
                continue;
            }
            // Consecutive runs with the same link make one field.
            const QUrl link = *pieces[i].attributes.link;
            const CharacterState before = state_;
            *out_ += "{\\field{\\*\\fldinst{HYPERLINK \"" +
                     escapedAscii(QString::fromLatin1(link.toEncoded(QUrl::FullyEncoded))
                                      .replace(QLatin1Char('"'), QLatin1String("%22"))) +
                     "\"}}{\\fldrslt ";
            for (; i < pieces.size() && pieces[i].attributes.link == link; ++i)
                writePiece(pieces[i].attributes, pieces[i].range);
            *out_ += "}}";
            state_ = before;
        }
    }

    void writePiece(const TextAttributes& attributes, const TextRange& range) {
        writeCharacterState(attributes);
        const QString& s = text_.string();
        for (qsizetype i = range.location; i < range.end(); ++i) {
            const QChar c = s.at(i);
            if (c.unicode() == TextAttachment::Character && attributes.attachment &&
                namesFile(*attributes.attachment))
                writeAttachment(*attributes.attachment, i);
            else
                appendEscapedCharacter(*out_, c, false);
        }
    }

    // Whether an attachment refers to a file: it holds one, or names one not loaded.
    static bool namesFile(const TextAttachment& attachment) {
        const FileWrapper& wrapper = attachment.fileWrapper();
        return !wrapper.isNull() || !wrapper.preferredFilename().isEmpty();
    }

    static QSizeF attachmentSize(const TextAttachment& attachment) {
        if (!attachment.displaySize().isEmpty()) return attachment.displaySize();
        const FileWrapper& wrapper = attachment.fileWrapper();
        if (!wrapper.isRegularFile()) return {};
        // A file-backed attachment is asked from its file: only the image header is read.
        if (!wrapper.contentsPath().isEmpty()) {
            const QSize size = QImageReader(wrapper.contentsPath()).size();
            return size.isValid() ? QSizeF(size) : QSizeF(0, 0);
        }
        QByteArray contents = wrapper.regularFileContents();
        QBuffer buffer(&contents);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        return size.isValid() ? QSizeF(size) : QSizeF(0, 0);
    }

    void writeAttachment(const TextAttachment& attachment, qsizetype index) {
        const FileWrapper& wrapper = attachment.fileWrapper();
        QString name = attachmentNames_.value(index);
        if (name.isEmpty()) name = wrapper.preferredFilename();
        if (name.isEmpty()) name = wrapper.filename();
        name = FileWrapper::safeChildName(name);
        QSizeF size = attachmentSize(attachment);
        if (!size.isValid()) size = QSizeF(0, 0);
        *out_ += "{{\\NeXTGraphic " + escapedFileName(name) + " \\width" +
                 number(twips(size.width())) + " \\height" + number(twips(size.height())) +
                 " \\appleattachmentpadding0 \\appleembedtype0 \\appleaqc\n}";
        *out_ += char(0xAC);
        *out_ += "}";
    }

    void writeCharacterState(const TextAttributes& a) {
        CharacterState next;
        const Font font = a.font.value_or(defaultFont());
        next.font = fontIndex(font);
        const double size = font.pointSize() > 0 ? std::min(font.pointSize(), kMaximumPointSize) : 12;
        next.halfPoints = int(std::lround(size * 2));
        next.milliPoints = int(std::lround(size * 1000));
        next.bold = font.isBold();
        next.italic = font.isItalic();
        if (a.underline) {
            next.underline = a.underline->style;
            next.underlineColor = a.underline->color.isValid() ? colorIndex(a.underline->color) : 0;
        }
        if (a.strikethrough) {
            next.strike = a.strikethrough->style;
            next.strikeColor =
                a.strikethrough->color.isValid() ? colorIndex(a.strikethrough->color) : 0;
        }
        next.superscript = a.superscript.value_or(0);
        next.baselineHalfPoints = int(std::lround(a.baselineOffset.value_or(0) * 2));
        next.foreground = a.foregroundColor ? colorIndex(*a.foregroundColor) : 0;
        next.background = a.backgroundColor ? backgroundIndex(*a.backgroundColor) : kNoBackground;

        QByteArray w;
        const CharacterState& now = state_;
        if (next.font != now.font) w += "\\f" + number(next.font);
        if (next.halfPoints != now.halfPoints || next.milliPoints != now.milliPoints) {
            w += "\\fs" + number(next.halfPoints);
            if (next.milliPoints != next.halfPoints * 500)
                w += "\\fsmilli" + number(next.milliPoints);
        }
        if (next.bold != now.bold) w += next.bold ? "\\b" : "\\b0";
        if (next.italic != now.italic) w += next.italic ? "\\i" : "\\i0";
        if (next.underline != now.underline) {
            static const char* const kUnderlines[] = {"\\ulnone", "\\ul", "\\ulth", "\\uldb"};
            w += kUnderlines[int(next.underline)];
        }
        if (next.underlineColor != now.underlineColor) w += "\\ulc" + number(next.underlineColor);
        if (next.strike != now.strike) {
            static const char* const kStrikes[] = {"\\strike0", "\\strike", "\\strike",
                                                   "\\striked1"};
            w += kStrikes[int(next.strike)];
        }
        if (next.strikeColor != now.strikeColor) w += "\\strikec" + number(next.strikeColor);
        if (next.superscript != now.superscript) {
            if (next.superscript == 0)
                w += "\\nosupersub";
            else if (next.superscript > 0)
                w += next.superscript == 1 ? QByteArray("\\super")
                                           : "\\super" + number(next.superscript);
            else
                w += next.superscript == -1 ? QByteArray("\\sub")
                                            : "\\sub" + number(-next.superscript);
        }
        if (next.baselineHalfPoints != now.baselineHalfPoints) {
            if (next.baselineHalfPoints >= 0)
                w += "\\up" + number(next.baselineHalfPoints);
            else
                w += "\\dn" + number(-next.baselineHalfPoints);
        }
        if (next.foreground != now.foreground) w += "\\cf" + number(next.foreground);
        if (next.background != now.background) w += backgroundWords(next.background);
        if (!w.isEmpty()) *out_ += w + " ";
        state_ = next;
    }

    // Cocoa's \cb, preceded by the standard \highlight that other readers
    // (word processors) show; \highlight0 ends a highlight as \cb1 ends a
    // Cocoa background. \cb comes last so that a reader taking both as the
    // background ends with what \cb says.
    static QByteArray backgroundWords(int background) {
        const int highlight = background == kNoBackground ? 0 : background;
        return "\\highlight" + number(highlight) + "\\cb" + number(background);
    }

    const AttributedString& text_;
    const RTFDocumentAttributes& document_;
    const QHash<qsizetype, QString>& attachmentNames_;
    std::vector<Paragraph> paragraphs_;
    QStringList fontNames_;
    QStringList fontFamilies_;
    QList<QColor> colors_;
    QList<ListEntry> lists_;
    CharacterState state_;
    std::optional<ParagraphStyle> previousStyle_;
    QByteArray* out_ = nullptr;
};

}  // namespace

RTFWriter::RTFWriter(const AttributedString& text, const RTFDocumentAttributes& documentAttributes)
    : text_(text), documentAttributes_(documentAttributes) {}

QByteArray RTFWriter::data() const {
    return Writer(text_, documentAttributes_, attachmentNames_).write();
}

QByteArray RTFWriter::RTFFromAttributedString(const AttributedString& text,
                                              const RTFDocumentAttributes& documentAttributes) {
    return RTFWriter(text, documentAttributes).data();
}
