#include "platform/richtext/RTFReader.h"

#include <QHash>
#include <QStringDecoder>
#include <cmath>
#include <map>
#include <vector>

#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/RTFCodePage.h"

namespace {

constexpr double kTwipsPerPoint = 20.0;
constexpr long kFileReadCorruptFileError = 259;
// Limits on what a document may ask the reader to keep. Real documents stay
// far below them; a hostile one would otherwise take memory and time in
// proportion to a number it names (a group state per level, a table per
// nesting level, a cell per definition). Past a limit the reader fails with
// an error rather than drop text silently.
constexpr std::size_t kMaxGroupDepth = 512;
constexpr int kMaxTableDepth = 64;
constexpr std::size_t kMaxCellsPerRow = 1000;

enum class Destination {
    Text,
    Skip,
    FontTable,
    ColorTable,
    ExpandedColorTable,
    ListTable,
    List,
    ListLevel,
    LevelMarker,
    LevelText,
    ListOverrideTable,
    FieldInstruction,
    NeXTGraphic,
    Background,
    ShapeName,
    ShapeValue,
};

enum class BorderTarget { None, Cell, Row };

struct ParagraphProperties {
    TextAlignment alignment = TextAlignment::Natural;
    int leftIndent = 0;  // twips
    int firstIndent = 0;
    int rightIndent = 0;
    int spaceBefore = 0;
    int spaceAfter = 0;
    int lineSpacing = 0;  // \sl
    bool lineMultiple = false;
    int leading = 0;
    int minimumHeight = 0;
    int maximumHeight = 0;
    QList<TextTab> tabs;
    TextTab::Alignment pendingTabAlignment = TextTab::Alignment::Left;
    int defaultTab = 0;
    int list = 0;  // \ls
    int listLevel = 0;
    int tableDepth = 0;  // \itap, or 1 for \intbl
};

struct CharacterProperties {
    int font = -1;  // -1: the document's default font
    double pointSize = 12;
    bool bold = false;
    bool italic = false;
    TextDecoration::Style underline = TextDecoration::Style::None;
    int underlineColor = 0;
    TextDecoration::Style strike = TextDecoration::Style::None;
    int strikeColor = 0;
    int superscript = 0;
    double baselineOffset = 0;
    int foreground = 0;
    int background = 0;
};

struct GroupState {
    Destination destination = Destination::Text;
    bool ignorable = false;  // after \*: skip unless the next word is known
    CharacterProperties character;
    ParagraphProperties paragraph;
    std::optional<QUrl> link;
    int unicodeSkip = 1;  // \uc
    int field = -1;
    int pendingAttachment = -1;  // an attachment waiting for its placeholder character
    int attachment = -1;         // the attachment a NeXTGraphic group describes
};

struct FontEntry {
    QString name;
    int charset = 0;
};

struct ListLevelDefinition {
    int numberFormat = 23;
    int startAt = 1;
    QString marker;
    QString levelText;
};

struct ListDefinition {
    int identifier = 0;
    std::vector<ListLevelDefinition> levels;
};

struct CellDefinition {
    bool mergeFirst = false;
    bool merged = false;
    bool verticalMergeFirst = false;
    bool verticallyMerged = false;
    TextTableBlock::VerticalAlignment verticalAlignment = TextTableBlock::VerticalAlignment::Top;
    int background = 0;
    int width = 0;  // twips
    int widthUnit = 0;
    int padding = 0;
    int borderWidth = 0;
    int borderColor = 0;
    bool hasBorder = false;
};

// A table open at one nesting depth.
struct OpenTable {
    bool open = false;
    TextTable table;
    int row = 0;
    int cell = 0;
    std::vector<CellDefinition> cells;
    bool endedInNestedTable = false;  // the cell's last paragraph sat in a deeper table
    int lastOriginColumn = -1;
    std::map<int, int> verticalOriginRow;  // column → row of the cell that spans down
};

struct SpanKey {
    quint64 table;
    int row;
    int column;
    bool operator<(const SpanKey& o) const {
        return std::tie(table, row, column) < std::tie(o.table, o.row, o.column);
    }
};

struct Field {
    QString instruction;
};

struct AttachmentBuilder {
    QByteArray nameBytes;
    bool nameEnded = false;
    double width = 0;
    double height = 0;
};

class Parser {
  public:
    Parser(const QByteArray& data, AttributedString& text, RTFDocumentAttributes& document,
           QList<RTFAttachmentReference>& attachments)
        : data_(data), text_(text), document_(document), attachments_(attachments) {}

    bool parse(Error* error) {
        qsizetype start = 0;
        if (data_.startsWith("\xEF\xBB\xBF")) start = 3;
        while (start < data_.size() && std::isspace(static_cast<unsigned char>(data_[start])))
            ++start;
        if (!data_.mid(start, 5).startsWith("{\\rtf")) {
            Error(QStringLiteral("NSCocoaErrorDomain"), kFileReadCorruptFileError,
                  QStringLiteral(
                      "The file couldn’t be opened because it isn’t in the correct format."))
                .report(error);
            return false;
        }
        document_ = RTFDocumentAttributes();
        document_.cocoaVersion = 0;
        position_ = start;
        run();
        if (failure_) {
            failure_->report(error);
            return false;
        }
        while (!stack_.empty()) closeGroup();
        flush();
        finishParagraph(false);
        applyTableCorrections();
        return true;
    }

  private:
    // --- tokens -------------------------------------------------------------

    void run() {
        while (position_ < data_.size()) {
            const char c = data_[position_++];
            if (c == '{') {
                openGroup();
            } else if (c == '}') {
                if (stack_.empty()) return;  // the end of the document
                closeGroup();
                if (stack_.empty()) return;
            } else if (c == '\\') {
                readControl();
            } else if (c == '\r' || c == '\n' || c == '\0') {
                continue;
            } else {
                textByte(static_cast<unsigned char>(c));
            }
        }
    }

    void readControl() {
        if (position_ >= data_.size()) return;
        const char c = data_[position_];
        if (std::isalpha(static_cast<unsigned char>(c))) {
            const qsizetype begin = position_;
            while (position_ < data_.size() &&
                   std::isalpha(static_cast<unsigned char>(data_[position_])) &&
                   position_ - begin < 32)
                ++position_;
            const QByteArray word = data_.mid(begin, position_ - begin);
            bool hasParameter = false;
            qint64 parameter = 0;
            bool negative = false;
            if (position_ < data_.size() && data_[position_] == '-' &&
                position_ + 1 < data_.size() &&
                std::isdigit(static_cast<unsigned char>(data_[position_ + 1]))) {
                negative = true;
                ++position_;
            }
            int digits = 0;
            while (position_ < data_.size() &&
                   std::isdigit(static_cast<unsigned char>(data_[position_]))) {
                if (digits++ < 10) parameter = parameter * 10 + (data_[position_] - '0');
                hasParameter = true;
                ++position_;
            }
            if (negative) parameter = -parameter;
            if (position_ < data_.size() && data_[position_] == ' ') ++position_;
            controlWord(word, hasParameter, int(std::clamp<qint64>(parameter, INT_MIN, INT_MAX)));
            return;
        }
        ++position_;
        if (c == '\'') {
            if (position_ + 2 > data_.size()) return;
            bool ok = false;
            const int value = data_.mid(position_, 2).toInt(&ok, 16);
            position_ += 2;
            if (ok) hexByte(value);
            return;
        }
        controlSymbol(c);
    }

    // --- groups -------------------------------------------------------------

    GroupState& state() { return stack_.back(); }

    // Stops the reading: the document asks for more than the reader keeps.
    void fail(const QString& reason) {
        if (!failure_)
            failure_ = Error(QStringLiteral("NSCocoaErrorDomain"), kFileReadCorruptFileError, reason);
        position_ = data_.size();
    }

    void openGroup() {
        if (stack_.size() >= kMaxGroupDepth) {
            fail(QStringLiteral("The RTF nests groups more than %1 levels deep.").arg(kMaxGroupDepth));
            return;
        }
        flush();
        skipCount_ = 0;
        stack_.push_back(stack_.empty() ? GroupState() : stack_.back());
        state().ignorable = false;
        state().pendingAttachment = -1;
    }

    void closeGroup() {
        flush();
        skipCount_ = 0;
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
                if (shapeName_.trimmed() == QLatin1String("fillColor")) {
                    bool ok = false;
                    const qint64 bgr = shapeValue_.trimmed().toLongLong(&ok);
                    if (ok)
                        document_.backgroundColor = QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF),
                                                           int((bgr >> 16) & 0xFF));
                }
                break;
            default:
                break;
        }
    }

    // --- text ---------------------------------------------------------------

    int currentCodePage() {
        const int font = state().character.font >= 0 ? state().character.font : defaultFont_;
        const auto it = fonts_.find(font);
        if (it != fonts_.end()) {
            if (const int codePage = RTFCodePage::codePageForCharset(it->second.charset))
                return codePage;
        }
        return codePage_;
    }

    void textByte(int byte) {
        if (stack_.empty()) return;
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
        GroupState& s = state();
        if (s.destination == Destination::Text && s.pendingAttachment >= 0) {
            const int attachment = s.pendingAttachment;
            s.pendingAttachment = -1;
            emitAttachment(attachment);
            if (byte == 0xAC) return;
        }
        switch (s.destination) {
            case Destination::FontTable:
                if (byte == ';') return finishFontEntry();
                break;
            case Destination::ColorTable:
            case Destination::ExpandedColorTable:
                if (byte == ';') return finishColorEntry();
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

    void hexByte(int byte) { textByte(byte); }

    // Decodes the bytes gathered so far and hands the text to the destination.
    void flush() {
        if (pendingBytes_.isEmpty() || stack_.empty()) {
            pendingBytes_.clear();
            return;
        }
        const QString text = RTFCodePage::decode(pendingBytes_, currentCodePage());
        pendingBytes_.clear();
        appendText(text);
    }

    void appendText(const QString& text) {
        GroupState& s = state();
        switch (s.destination) {
            case Destination::Text:
                text_.append(text, characterAttributes());
                break;
            case Destination::FontTable:
                fontName_ += text;
                break;
            case Destination::FieldInstruction:
                if (s.field >= 0) fields_[s.field].instruction += text;
                break;
            case Destination::LevelMarker:
                if (!lists_.empty() && !lists_.back().levels.empty())
                    lists_.back().levels.back().marker += text;
                break;
            case Destination::LevelText:
                if (!lists_.empty() && !lists_.back().levels.empty())
                    lists_.back().levels.back().levelText += text;
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

    void appendCharacter(char16_t character) {
        flush();
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
        GroupState& s = state();
        if (s.destination == Destination::Text && s.pendingAttachment >= 0) {
            const int attachment = s.pendingAttachment;
            s.pendingAttachment = -1;
            emitAttachment(attachment);
        }
        appendText(QString(QChar(character)));
    }

    void unicodeCharacter(int value) {
        flush();
        appendText(QString(QChar(char16_t(value & 0xFFFF))));
        skipCount_ = state().unicodeSkip;
    }

    // --- attributes ---------------------------------------------------------

    QColor color(int index) const {
        if (index <= 0) return QColor();
        if (std::size_t(index) < expandedColors_.size() && expandedColors_[index].isValid())
            return expandedColors_[index];
        if (std::size_t(index) < colors_.size()) return colors_[index];
        return QColor();
    }

    // Cocoa ends background runs with \cb1, its white first entry.
    bool isCocoaNoBackground(int index) const {
        if (index != 1 || colors_.size() < 2) return false;
        const bool expandedEmpty = expandedColors_.size() < 2 || !expandedColors_[1].isValid();
        return expandedEmpty && colors_[1] == QColor(Qt::white);
    }

    Font fontFor(const CharacterProperties& c) {
        const int index = c.font >= 0 ? c.font : defaultFont_;
        const auto it = fonts_.find(index);
        QString name = it != fonts_.end() ? it->second.name : QString();
        if (name.isEmpty()) name = FontRegistry::userFontOfSize(12).postScriptName();
        const QString key = name + QLatin1Char('/') + QString::number(c.pointSize) +
                            QLatin1Char(c.bold ? 'b' : '-') + QLatin1Char(c.italic ? 'i' : '-');
        auto cached = fontCache_.find(key);
        if (cached == fontCache_.end())
            cached = fontCache_.insert(
                key, FontRegistry::fontForPostScriptName(name, c.pointSize, c.bold, c.italic));
        return *cached;
    }

    TextAttributes characterAttributes() {
        const GroupState& s = state();
        const CharacterProperties& c = s.character;
        TextAttributes a;
        a.font = fontFor(c);
        if (c.foreground > 0 && color(c.foreground).isValid())
            a.foregroundColor = color(c.foreground);
        if (c.background > 0 && !isCocoaNoBackground(c.background) && color(c.background).isValid())
            a.backgroundColor = color(c.background);
        if (c.underline != TextDecoration::Style::None)
            a.underline = TextDecoration{c.underline, color(c.underlineColor)};
        if (c.strike != TextDecoration::Style::None)
            a.strikethrough = TextDecoration{c.strike, color(c.strikeColor)};
        if (c.superscript != 0) a.superscript = c.superscript;
        if (c.baselineOffset != 0) a.baselineOffset = c.baselineOffset;
        if (s.link) a.link = s.link;
        return a;
    }

    // --- paragraphs ---------------------------------------------------------

    QList<TextList> listsFor(const ParagraphProperties& p) {
        QList<TextList>& chain = listInstances_[p.list];
        const int level = std::clamp(p.listLevel, 0, 8);
        while (chain.size() > level + 1) chain.removeLast();
        while (chain.size() <= level) chain.append(makeList(p.list, int(chain.size())));
        return chain;
    }

    TextList makeList(int override, int level) const {
        const auto found = listOverrides_.find(override);
        const int identifier = found != listOverrides_.end() ? found->second : override;
        for (const ListDefinition& list : lists_) {
            if (list.identifier != identifier || std::size_t(level) >= list.levels.size()) continue;
            const ListLevelDefinition& d = list.levels[level];
            return TextList(d.marker.isEmpty() ? markerFormatFor(d, level) : d.marker, d.startAt);
        }
        return TextList(QStringLiteral("{disc}"));
    }

    // A marker format from \levelnfc and \leveltext, for lists without \levelmarker.
    static QString markerFormatFor(const ListLevelDefinition& d, int level) {
        static const std::map<int, const char*> kKeywords = {
            {0, "decimal"},     {1, "upper-roman"}, {2, "lower-roman"},
            {3, "upper-alpha"}, {4, "lower-alpha"}, {22, "decimal-leading-zero"}};
        const QString text = d.levelText.mid(1);  // the first character is the length
        const auto keyword = kKeywords.find(d.numberFormat);
        if (keyword == kKeywords.end()) {
            if (text.contains(QChar(0x25E6)) || text.contains(QLatin1Char('o')))
                return QStringLiteral("{circle}");
            if (text.contains(QChar(0x25AA)) || text.contains(QChar(0xA7)))
                return QStringLiteral("{square}");
            if (text.contains(QChar(0x2043)) || text.contains(QLatin1Char('-')))
                return QStringLiteral("{hyphen}");
            return QStringLiteral("{disc}");
        }
        const qsizetype placeholder = text.indexOf(QChar(char16_t(level)));
        if (placeholder < 0) return QStringLiteral("{%1}.").arg(QLatin1String(keyword->second));
        QString prefix = text.left(placeholder);
        QString suffix = text.mid(placeholder + 1);
        // Earlier levels' numbers (multi-level numbering) are not kept.
        for (QString* part : {&prefix, &suffix})
            part->removeIf([](QChar c) { return c.unicode() < 9; });
        return prefix + QLatin1Char('{') + QLatin1String(keyword->second) + QLatin1Char('}') +
               suffix;
    }

    ParagraphStyle paragraphStyle(const ParagraphProperties& p, int tableDepth) {
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
        if (p.list > 0) s.textLists = listsFor(p);
        for (int depth = 1; depth <= tableDepth; ++depth) s.textBlocks.append(cellBlock(depth));
        return s;
    }

    // Ends the paragraph being read: adds its terminator (when asked) and puts
    // the paragraph style over it. `tableDepth` is the depth of the cell it sits in.
    void endParagraph(bool addTerminator, int tableDepth) {
        flush();
        if (addTerminator) text_.append(QStringLiteral("\n"), characterAttributes());
        finishParagraph(true, tableDepth);
    }

    void finishParagraph(bool always, int tableDepth = -1) {
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

    void applyParagraphStyle(const ParagraphProperties& p, int depth) {
        for (int d = depth + 1; d <= int(tables_.size()); ++d) tables_[d - 1].open = false;
        const ParagraphStyle style = paragraphStyle(p, depth);
        const TextRange range{paragraphStart_, text_.length() - paragraphStart_};
        text_.modifyAttributes(range, [&](TextAttributes& a) {
            if (style.isDefault())
                a.paragraphStyle.reset();
            else
                a.paragraphStyle = style;
        });
        for (int d = 1; d <= depth; ++d) tables_[d - 1].endedInNestedTable = d < depth;
        paragraphStart_ = text_.length();
    }

    // --- tables -------------------------------------------------------------

    OpenTable& tableAt(int depth) {
        if (int(tables_.size()) < depth) tables_.resize(depth);
        OpenTable& t = tables_[depth - 1];
        if (!t.open) t = OpenTable{true, TextTable(0), 0, 0, {}, false, -1, {}};
        return t;
    }

    TextTableBlock cellBlock(int depth) {
        OpenTable& t = tableAt(depth);
        const int columns = std::max({int(t.cells.size()), t.table.numberOfColumns(), t.cell + 1});
        if (columns != t.table.numberOfColumns()) t.table.setNumberOfColumns(columns);
        quint64 id = t.table.identifier();
        columns_[id] = std::max(columns_[id], columns);
        const CellDefinition d =
            std::size_t(t.cell) < t.cells.size() ? t.cells[t.cell] : CellDefinition();
        TextTableBlock b;
        b.table = t.table;
        b.startingRow = t.row;
        b.startingColumn = t.cell;
        b.padding = d.padding / kTwipsPerPoint;
        b.borderWidth = d.hasBorder ? d.borderWidth / kTwipsPerPoint : 0;
        b.borderColor = color(d.borderColor);
        b.backgroundColor = color(d.background);
        b.contentWidth = d.widthUnit == 3 ? d.width / kTwipsPerPoint : 0;
        b.verticalAlignment = d.verticalAlignment;
        return b;
    }

    void beginRowDefinition() {
        const int depth = std::max(1, state().paragraph.tableDepth);
        OpenTable& t = tableAt(depth);
        t.cells.clear();
        definingDepth_ = depth;
        cellDefinition_ = CellDefinition();
        borderTarget_ = BorderTarget::None;
    }

    CellDefinition* definingCell() { return definingDepth_ > 0 ? &cellDefinition_ : nullptr; }

    void endCellDefinition() {
        if (definingDepth_ <= 0) return;
        OpenTable& t = tableAt(definingDepth_);
        if (t.cells.size() >= kMaxCellsPerRow) return failTooManyCells();
        t.cells.push_back(cellDefinition_);
        cellDefinition_ = CellDefinition();
        borderTarget_ = BorderTarget::None;
    }

    void failTooManyCells() {
        fail(QStringLiteral("The RTF has a table row of more than %1 cells.").arg(kMaxCellsPerRow));
    }

    void endCell(int depth) {
        flush();
        OpenTable& t = tableAt(depth);
        if (std::size_t(t.cell) >= kMaxCellsPerRow) return failTooManyCells();
        const CellDefinition d =
            std::size_t(t.cell) < t.cells.size() ? t.cells[t.cell] : CellDefinition();
        const bool empty = text_.length() == paragraphStart_;
        const bool continuation = d.merged || d.verticallyMerged;
        if (continuation && empty) {
            recordSpan(t, d);
        } else if (!(empty && t.endedInNestedTable)) {
            endParagraph(true, depth);
            if (d.mergeFirst || !continuation) t.lastOriginColumn = t.cell;
            if (d.verticalMergeFirst) t.verticalOriginRow[t.cell] = t.row;
        }
        for (int deeper = depth + 1; deeper <= int(tables_.size()); ++deeper)
            tables_[deeper - 1].open = false;
        t.endedInNestedTable = false;
        ++t.cell;
    }

    void recordSpan(OpenTable& t, const CellDefinition& d) {
        const quint64 id = t.table.identifier();
        if (d.verticallyMerged && !d.merged) {
            const auto origin = t.verticalOriginRow.find(t.cell);
            if (origin == t.verticalOriginRow.end()) return;
            spans_[{id, origin->second, t.cell}].first = t.row - origin->second + 1;
        } else if (d.merged && !d.verticallyMerged && t.lastOriginColumn >= 0) {
            spans_[{id, t.row, t.lastOriginColumn}].second = t.cell - t.lastOriginColumn + 1;
        }
    }

    void endRow(int depth) {
        flush();
        OpenTable& t = tableAt(depth);
        ++t.row;
        t.cell = 0;
        t.lastOriginColumn = -1;
        if (lastRow_) t.open = false;
        lastRow_ = false;
        for (int deeper = depth + 1; deeper <= int(tables_.size()); ++deeper)
            tables_[deeper - 1].open = false;
    }

    // Puts spans found in merged cells, and column counts that grew after a
    // table's first rows, into the blocks; one pass over the runs.
    void applyTableCorrections() {
        if (spans_.empty() && columns_.empty()) return;
        if (text_.length() == 0) return;
        text_.modifyAttributes({0, text_.length()}, [&](TextAttributes& a) {
            if (!a.paragraphStyle || a.paragraphStyle->textBlocks.isEmpty()) return;
            for (TextTableBlock& b : a.paragraphStyle->textBlocks) {
                const quint64 id = b.table.identifier();
                const auto columns = columns_.find(id);
                if (columns != columns_.end() && columns->second != b.table.numberOfColumns())
                    b.table.setNumberOfColumns(columns->second);
                const auto span = spans_.find({id, b.startingRow, b.startingColumn});
                if (span == spans_.end()) continue;
                if (span->second.first > 0) b.rowSpan = span->second.first;
                if (span->second.second > 0) b.columnSpan = span->second.second;
            }
        });
    }

    // --- attachments --------------------------------------------------------

    void finishAttachmentName(int index) {
        AttachmentBuilder& b = attachmentBuilders_[index];
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString name = utf8.decode(b.nameBytes);
        if (utf8.hasError()) name = RTFCodePage::decode(b.nameBytes, codePage_);
        if (name.endsWith(QLatin1Char(' '))) name.chop(1);
        b.nameBytes = name.toUtf8();
    }

    void emitAttachment(int index) {
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

    // --- tables of the header -----------------------------------------------

    void finishFontEntry() {
        flush();
        fonts_[fontNumber_] = {fontName_.trimmed(), fontCharset_};
        fontName_.clear();
        fontCharset_ = 0;
    }

    void finishColorEntry() {
        if (state().destination == Destination::ColorTable) {
            colors_.push_back(colorComponentsSet_ ? QColor(red_, green_, blue_) : QColor());
            red_ = green_ = blue_ = 0;
            colorComponentsSet_ = false;
        } else {
            expandedColors_.push_back(expandedColor());
            expandedComponents_.clear();
            expandedSpace_.clear();
        }
    }

    QColor expandedColor() const {
        const auto component = [&](std::size_t i, double fallback) {
            return i < expandedComponents_.size()
                       ? std::clamp(expandedComponents_[i] / 100000.0, 0.0, 1.0)
                       : fallback;
        };
        if (expandedSpace_ == "csgray") {
            const double gray = component(0, 0);
            return QColor::fromRgbF(float(gray), float(gray), float(gray), float(component(1, 1)));
        }
        if (expandedSpace_.isEmpty() || expandedComponents_.size() < 3) return QColor();
        return QColor::fromRgbF(float(component(0, 0)), float(component(1, 0)),
                                float(component(2, 0)), float(component(3, 1)));
    }

    // --- control words ------------------------------------------------------

    void controlSymbol(char c) {
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

    void paragraphBreak() {
        if (stack_.empty()) return;
        flush();
        if (state().destination != Destination::Text) return;
        if (state().pendingAttachment >= 0) {
            emitAttachment(state().pendingAttachment);
            state().pendingAttachment = -1;
        }
        endParagraph(true, state().paragraph.tableDepth);
    }

    // Words that start a destination this reader understands; true when handled.
    bool destinationWord(const QByteArray& w) {
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
            lists_.push_back({});
            next = Destination::List;
        } else if (w == "listlevel" && d == Destination::List) {
            if (!lists_.empty()) lists_.back().levels.push_back({});
            next = Destination::ListLevel;
        } else if (w == "levelmarker" && d == Destination::ListLevel)
            next = Destination::LevelMarker;
        else if (w == "leveltext" && d == Destination::ListLevel)
            next = Destination::LevelText;
        else if (w == "listoverride" && d == Destination::ListOverrideTable) {
            overrideListId_ = 0;
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
                   w == "nonshppict" || w == "listname" || w == "levelnumbers" ||
                   w == "themedata" || w == "colorschememapping" || w == "datastore" ||
                   w == "latentstyles")
            next = Destination::Skip;
        else
            return false;
        s.destination = next;
        s.ignorable = false;
        return true;
    }

    static std::optional<QUrl> hyperlink(const QString& instruction) {
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

    void controlWord(const QByteArray& w, bool hasParameter, int n) {
        if (stack_.empty()) return;
        flush();
        if (w == "u") return unicodeCharacter(n);
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
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
                return fontTableWord(w, n);
            case Destination::ColorTable:
                return colorTableWord(w, n);
            case Destination::ExpandedColorTable:
                return expandedColorWord(w, n);
            case Destination::ListTable:
            case Destination::List:
            case Destination::ListLevel:
            case Destination::ListOverrideTable:
                return listWord(w, hasParameter, n);
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
        if (paragraphWord(w, hasParameter, n)) return;
        characterWord(w, hasParameter, n);
    }

    bool specialCharacter(const QByteArray& w) {
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

    bool documentWord(const QByteArray& w, int n) {
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
            defaultFont_ = n;
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

    bool tableWord(const QByteArray& w, int n) {
        GroupState& s = state();
        CellDefinition* c = definingCell();
        if (w == "trowd")
            beginRowDefinition();
        else if (w == "cellx")
            endCellDefinition();
        else if (w == "cell")
            endCell(1);
        else if (w == "nestcell")
            endCell(std::max(2, s.paragraph.tableDepth));
        else if (w == "row")
            endRow(1);
        else if (w == "nestrow")
            endRow(std::max(2, s.paragraph.tableDepth));
        else if (w == "lastrow")
            lastRow_ = true;
        else if (w == "intbl")
            s.paragraph.tableDepth = std::max(1, s.paragraph.tableDepth);
        else if (w == "itap" && n > kMaxTableDepth)
            fail(QStringLiteral("The RTF nests tables more than %1 levels deep.").arg(kMaxTableDepth));
        else if (w == "itap")
            s.paragraph.tableDepth = std::max(0, n);
        else if (w.startsWith("trbrdr"))
            borderTarget_ = BorderTarget::Row;
        else if (!c)
            return w.startsWith("cl") || w.startsWith("brdr") || w.startsWith("tr");
        else if (w == "clmgf")
            c->mergeFirst = true;
        else if (w == "clmrg")
            c->merged = true;
        else if (w == "clvmgf")
            c->verticalMergeFirst = true;
        else if (w == "clvmrg")
            c->verticallyMerged = true;
        else if (w == "clvertalt")
            c->verticalAlignment = TextTableBlock::VerticalAlignment::Top;
        else if (w == "clvertalc")
            c->verticalAlignment = TextTableBlock::VerticalAlignment::Middle;
        else if (w == "clvertalb")
            c->verticalAlignment = TextTableBlock::VerticalAlignment::Bottom;
        else if (w == "clcbpat")
            c->background = n;
        else if (w == "clwWidth")
            c->width = n;
        else if (w == "clftsWidth")
            c->widthUnit = n;
        else if (w == "clpadl" || w == "clpadt" || w == "clpadr" || w == "clpadb")
            c->padding = std::max(c->padding, n);
        else if (w.startsWith("clbrdr"))
            borderTarget_ = BorderTarget::Cell;
        else if (borderTarget_ == BorderTarget::Cell && w == "brdrnil") {
        } else if (borderTarget_ == BorderTarget::Cell && w == "brdrw") {
            c->borderWidth = std::max(c->borderWidth, n);
        } else if (borderTarget_ == BorderTarget::Cell && w == "brdrcf") {
            c->borderColor = n;
        } else if (borderTarget_ == BorderTarget::Cell && w.startsWith("brdr") && w != "brdrnone") {
            c->hasBorder = true;
        } else
            return w.startsWith("cl") || w.startsWith("brdr") || w.startsWith("tr");
        return true;
    }

    bool paragraphWord(const QByteArray& w, bool hasParameter, int n) {
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
        (void)hasParameter;
        return true;
    }

    static TextDecoration::Style toggled(bool hasParameter, int n, TextDecoration::Style on) {
        return hasParameter && n == 0 ? TextDecoration::Style::None : on;
    }

    void characterWord(const QByteArray& w, bool hasParameter, int n) {
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

    void fontTableWord(const QByteArray& w, int n) {
        if (w == "f")
            fontNumber_ = n;
        else if (w == "fcharset")
            fontCharset_ = n;
    }

    void colorTableWord(const QByteArray& w, int n) {
        const int value = std::clamp(n, 0, 255);
        if (w == "red")
            red_ = value;
        else if (w == "green")
            green_ = value;
        else if (w == "blue")
            blue_ = value;
        else
            return;
        colorComponentsSet_ = true;
    }

    void expandedColorWord(const QByteArray& w, int n) {
        if (w == "c")
            expandedComponents_.push_back(n);
        else
            expandedSpace_ = w;
    }

    void listWord(const QByteArray& w, bool hasParameter, int n) {
        GroupState& s = state();
        if (s.destination == Destination::ListLevel && !lists_.empty() &&
            !lists_.back().levels.empty()) {
            ListLevelDefinition& level = lists_.back().levels.back();
            if (w == "levelnfc")
                level.numberFormat = n;
            else if (w == "levelstartat")
                level.startAt = n;
        } else if (s.destination == Destination::List && w == "listid" && !lists_.empty()) {
            lists_.back().identifier = n;
        } else if (s.destination == Destination::ListOverrideTable) {
            if (w == "listid")
                overrideListId_ = n;
            else if (w == "ls")
                listOverrides_[n] = overrideListId_;
        }
        (void)hasParameter;
    }

    void attachmentWord(const QByteArray& w, int n) {
        GroupState& s = state();
        if (s.attachment < 0) return;
        AttachmentBuilder& b = attachmentBuilders_[s.attachment];
        b.nameEnded = true;
        if (w == "width")
            b.width = n;
        else if (w == "height")
            b.height = n;
    }

    const QByteArray& data_;
    AttributedString& text_;
    RTFDocumentAttributes& document_;
    QList<RTFAttachmentReference>& attachments_;

    qsizetype position_ = 0;
    std::vector<GroupState> stack_;
    std::optional<Error> failure_;
    QByteArray pendingBytes_;
    int skipCount_ = 0;
    int codePage_ = 1252;
    int defaultFont_ = 0;
    qsizetype paragraphStart_ = 0;
    ParagraphProperties lastParagraph_;

    std::map<int, FontEntry> fonts_;
    int fontNumber_ = 0;
    int fontCharset_ = 0;
    QString fontName_;
    QHash<QString, Font> fontCache_;

    std::vector<QColor> colors_;
    std::vector<QColor> expandedColors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorComponentsSet_ = false;
    std::vector<int> expandedComponents_;
    QByteArray expandedSpace_;

    std::vector<ListDefinition> lists_;
    std::map<int, int> listOverrides_;  // \ls → \listid
    int overrideListId_ = 0;
    std::map<int, QList<TextList>> listInstances_;

    std::vector<Field> fields_;
    std::vector<AttachmentBuilder> attachmentBuilders_;
    QString shapeName_;
    QString shapeValue_;

    std::vector<OpenTable> tables_;
    int definingDepth_ = 0;
    CellDefinition cellDefinition_;
    BorderTarget borderTarget_ = BorderTarget::None;
    bool lastRow_ = false;
    std::map<SpanKey, std::pair<int, int>> spans_;  // (row span, column span)
    std::map<quint64, int> columns_;
};

}  // namespace

bool RTFReader::read(Error* error) {
    text_ = AttributedString();
    attachments_.clear();
    return Parser(data_, text_, documentAttributes_, attachments_).parse(error);
}

std::optional<AttributedString> RTFReader::attributedStringFromRTF(
    const QByteArray& data, RTFDocumentAttributes* documentAttributes, Error* error) {
    RTFReader reader(data);
    if (!reader.read(error)) return std::nullopt;
    if (documentAttributes) *documentAttributes = reader.documentAttributes();
    return reader.attributedString();
}
