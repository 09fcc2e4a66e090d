#include "platform/richtext/RTFTextWriter.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/richtext/RTFEscaping.h"

using RTFEscaping::appendEscapedCharacter;
using RTFEscaping::escapedAscii;
using RTFEscaping::escapedFileName;
using RTFEscaping::escapedText;
using RTFEscaping::number;
using RTFEscaping::twips;

namespace {

// Larger sizes are written as this one: \fs and \fsmilli are integers, and a
// size read from damaged input may be any number.
constexpr double kMaximumPointSize = 100000;

// The style of a paragraph that sets none; shared by all such paragraphs.
const ParagraphStyle& defaultParagraphStyle() {
    static const ParagraphStyle style;
    return style;
}

bool isParagraphEnd(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c.unicode() == 0x2029 ||
           c.unicode() == 0x85;
}

// Whether an attachment refers to a file: it holds one, or names one not loaded.
bool namesFile(const TextAttachment& attachment) {
    const FileWrapper& wrapper = attachment.fileWrapper();
    return !wrapper.isNull() || !wrapper.preferredFilename().isEmpty();
}

QSizeF attachmentSize(const TextAttachment& attachment) {
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

// Cocoa's \cb, preceded by the standard \highlight that other readers
// (word processors) show; \highlight0 ends a highlight as \cb1 ends a
// Cocoa background. \cb comes last so that a reader taking both as the
// background ends with what \cb says.
QByteArray backgroundWords(int background) {
    const int highlight = background == RTFTextWriter::kNoBackground ? 0 : background;
    return "\\highlight" + number(highlight) + "\\cb" + number(background);
}

}  // namespace

QByteArray RTFTextWriter::write() {
    collectParagraphs();
    enterHeaderEntries();
    writeParagraphs(0, qsizetype(paragraphs_.size()), 0);
    return out_;
}

// Enters the fonts, colours and lists of the whole text in the order of the
// text, so that the tables list them in that order.
void RTFTextWriter::enterHeaderEntries() {
    if (text_.length() == 0) return;
    text_.enumerateAttributes({0, text_.length()},
                              [&](const TextAttributes& a, const TextRange&, bool&) {
                                  header_.addCharacterAttributes(a);
                              });
    for (const RTFWriterParagraph& p : paragraphs_) header_.addParagraphStyle(p.style());
}

void RTFTextWriter::collectParagraphs() {
    const QString& s = text_.string();
    for (const TextRange& range : text_.paragraphRanges()) {
        qsizetype contentEnd = range.end();
        if (contentEnd > range.location && isParagraphEnd(s.at(contentEnd - 1))) {
            --contentEnd;
            if (s.at(contentEnd) == QLatin1Char('\n') && contentEnd > range.location &&
                s.at(contentEnd - 1) == QLatin1Char('\r'))
                --contentEnd;
        }
        const std::optional<ParagraphStyle>& style =
            text_.attributesAtIndex(range.location).paragraphStyle;
        paragraphs_.push_back({range,
                               {range.location, contentEnd - range.location},
                               style ? &*style : &defaultParagraphStyle()});
    }
}

// Writes paragraphs [first, last) that sit at table depth `level` or deeper.
void RTFTextWriter::writeParagraphs(qsizetype first, qsizetype last, int level) {
    for (qsizetype i = first; i < last;) {
        const ParagraphStyle& style = paragraphs_[i].style();
        if (style.textBlocks.size() > level) {
            const quint64 table = style.textBlocks[level].table.identifier();
            qsizetype end = i;
            while (end < last && paragraphs_[end].style().textBlocks.size() > level &&
                   paragraphs_[end].style().textBlocks[level].table.identifier() == table)
                ++end;
            tables_.writeTable(i, end, level);
            previousStyle_.reset();
            i = end;
        } else {
            writeParagraph(i, QByteArray());
            ++i;
        }
    }
}

QByteArray RTFTextWriter::paragraphWords(const ParagraphStyle& s) {
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
        const int ls = header_.listIndex(s.textLists);
        w += "\\ls" + number(ls) + "\\ilvl" + number(s.textLists.size() - 1);
    }
    return w;
}

// The length of a rendered list marker ("\t•\t") at the start of the paragraph, or 0.
qsizetype RTFTextWriter::markerLength(const RTFWriterParagraph& p) const {
    if (p.style().textLists.isEmpty() || p.content.length < 2) return 0;
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
void RTFTextWriter::closeParagraphForNewWords() {
    if (out_.endsWith("\\\n")) {
        out_.chop(2);
        out_ += "\\par\n";
    }
}

void RTFTextWriter::writeParagraph(qsizetype index, const QByteArray& terminatorWord) {
    const RTFWriterParagraph& p = paragraphs_[index];
    const bool inTable = !p.style().textBlocks.isEmpty();
    qsizetype wordsEnd = -1;
    if (inTable || !previousStyle_ || *previousStyle_ != p.style()) {
        closeParagraphForNewWords();
        out_ += paragraphWords(p.style());
        wordsEnd = out_.size();
        previousStyle_ = p.style();
    }
    if (inTable) previousStyle_.reset();

    qsizetype position = p.content.location;
    if (const qsizetype marker = markerLength(p)) {
        writeCharacterState(text_.attributesAtIndex(position));
        out_ += "{\\listtext" + escapedText(text_.string().mid(position, marker), true) + "}";
        position += marker;
    }
    writeRuns({position, p.content.end() - position});

    if (p.range.length > p.content.length) {
        TextAttributes terminator = text_.attributesAtIndex(p.content.end());
        terminator.link.reset();
        writeCharacterState(terminator);
        out_ += terminatorWord.isEmpty() ? QByteArray("\\\n") : terminatorWord;
    } else if (!terminatorWord.isEmpty()) {
        out_ += terminatorWord;
    }
    if (wordsEnd >= 0) delimitParagraphWords(wordsEnd);
}

// The paragraph words end with \ilvlN when the paragraph is in a list. Text
// right after them that starts with a digit would extend N, and a leading
// space would be taken for the word's delimiter and lost: such text gets a
// delimiter of its own. Other text follows the words as it always has.
void RTFTextWriter::delimitParagraphWords(qsizetype wordsEnd) {
    if (wordsEnd >= out_.size() || !std::isdigit(static_cast<unsigned char>(out_[wordsEnd - 1])))
        return;
    const char next = out_[wordsEnd];
    if (next == ' ' || std::isdigit(static_cast<unsigned char>(next))) out_.insert(wordsEnd, ' ');
}

void RTFTextWriter::writeRuns(const TextRange& range) {
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
        out_ += "{\\field{\\*\\fldinst{HYPERLINK \"" +
                escapedAscii(QString::fromLatin1(link.toEncoded(QUrl::FullyEncoded))
                                 .replace(QLatin1Char('"'), QLatin1String("%22"))) +
                "\"}}{\\fldrslt ";
        for (; i < pieces.size() && pieces[i].attributes.link == link; ++i)
            writePiece(pieces[i].attributes, pieces[i].range);
        out_ += "}}";
        state_ = before;
    }
}

void RTFTextWriter::writePiece(const TextAttributes& attributes, const TextRange& range) {
    writeCharacterState(attributes);
    const QString& s = text_.string();
    for (qsizetype i = range.location; i < range.end(); ++i) {
        const QChar c = s.at(i);
        if (c.unicode() == TextAttachment::Character && attributes.attachment &&
            namesFile(*attributes.attachment))
            writeAttachment(*attributes.attachment, i);
        else
            appendEscapedCharacter(out_, c, false);
    }
}

void RTFTextWriter::writeAttachment(const TextAttachment& attachment, qsizetype index) {
    const FileWrapper& wrapper = attachment.fileWrapper();
    QString name = attachmentNames_.value(index);
    if (name.isEmpty()) name = wrapper.preferredFilename();
    if (name.isEmpty()) name = wrapper.filename();
    name = FileWrapper::safeChildName(name);
    QSizeF size = attachmentSize(attachment);
    if (!size.isValid()) size = QSizeF(0, 0);
    out_ += "{{\\NeXTGraphic " + escapedFileName(name) + " \\width" + number(twips(size.width())) +
            " \\height" + number(twips(size.height())) +
            " \\appleattachmentpadding0 \\appleembedtype0 \\appleaqc\n}";
    out_ += char(0xAC);
    out_ += "}";
}

RTFTextWriter::CharacterState RTFTextWriter::characterState(const TextAttributes& a) {
    CharacterState next;
    const Font font = a.font.value_or(RTFHeaderWriter::defaultFont());
    next.font = header_.fontIndex(font);
    const double size = font.pointSize() > 0 ? std::min(font.pointSize(), kMaximumPointSize) : 12;
    next.halfPoints = int(std::lround(size * 2));
    next.milliPoints = int(std::lround(size * 1000));
    next.bold = font.isBold();
    next.italic = font.isItalic();
    if (a.underline) {
        next.underline = a.underline->style;
        next.underlineColor =
            a.underline->color.isValid() ? header_.colorIndex(a.underline->color) : 0;
    }
    if (a.strikethrough) {
        next.strike = a.strikethrough->style;
        next.strikeColor =
            a.strikethrough->color.isValid() ? header_.colorIndex(a.strikethrough->color) : 0;
    }
    next.superscript = a.superscript.value_or(0);
    next.baselineHalfPoints = int(std::lround(a.baselineOffset.value_or(0) * 2));
    next.foreground = a.foregroundColor ? header_.colorIndex(*a.foregroundColor) : 0;
    next.background =
        a.backgroundColor ? header_.backgroundIndex(*a.backgroundColor) : kNoBackground;
    return next;
}

void RTFTextWriter::writeCharacterState(const TextAttributes& a) {
    const CharacterState next = characterState(a);
    QByteArray w;
    const CharacterState& now = state_;
    if (next.font != now.font) w += "\\f" + number(next.font);
    if (next.halfPoints != now.halfPoints || next.milliPoints != now.milliPoints) {
        w += "\\fs" + number(next.halfPoints);
        if (next.milliPoints != next.halfPoints * 500) w += "\\fsmilli" + number(next.milliPoints);
    }
    if (next.bold != now.bold) w += next.bold ? "\\b" : "\\b0";
    if (next.italic != now.italic) w += next.italic ? "\\i" : "\\i0";
    if (next.underline != now.underline) {
        static const char* const kUnderlines[] = {"\\ulnone", "\\ul", "\\ulth", "\\uldb"};
        w += kUnderlines[int(next.underline)];
    }
    if (next.underlineColor != now.underlineColor) w += "\\ulc" + number(next.underlineColor);
    if (next.strike != now.strike) {
        static const char* const kStrikes[] = {"\\strike0", "\\strike", "\\strike", "\\striked1"};
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
            w += next.superscript == -1 ? QByteArray("\\sub") : "\\sub" + number(-next.superscript);
    }
    if (next.baselineHalfPoints != now.baselineHalfPoints) {
        if (next.baselineHalfPoints >= 0)
            w += "\\up" + number(next.baselineHalfPoints);
        else
            w += "\\dn" + number(-next.baselineHalfPoints);
    }
    if (next.foreground != now.foreground) w += "\\cf" + number(next.foreground);
    if (next.background != now.background) w += backgroundWords(next.background);
    if (!w.isEmpty()) out_ += w + " ";
    state_ = next;
}
