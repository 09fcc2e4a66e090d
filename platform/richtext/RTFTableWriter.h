// RTFTableWriter: writes the paragraphs of one table as RTF rows: per row
// a definition (\trowd with a \cellx per grid column, the cell's look,
// spans as \clmgf/\clmrg and \clvmgf/\clvmrg), then each cell's paragraphs
// and end mark (\cell, or \nestcell in nested tables), then \row or
// \nestrow (\lastrow before the last). Grid positions no cell covers get
// empty cells. The cells' paragraphs, nested tables included, are written
// by the text writer it is given.
//
// Not thread-safe; one per writing. Refers to the paragraphs, the header
// writer (for colour indexes), the text writer and the output, which must
// outlive it.
#pragma once

#include <QByteArray>
#include <vector>

#include "platform/richtext/RTFHeaderWriter.h"
#include "platform/richtext/RTFWriterParagraph.h"

class RTFTableWriter {
  public:
    // What the table writer asks of the writer of the text around it.
    class TextWriter {
      public:
        virtual ~TextWriter() = default;
        // Writes paragraphs [first, last) that sit at table depth `level` or deeper.
        virtual void writeParagraphs(qsizetype first, qsizetype last, int level) = 0;
        // Writes one paragraph, ended by `endWord` rather than its terminator.
        virtual void writeParagraph(qsizetype index, const QByteArray& endWord) = 0;
        // Ends the paragraph written last with \par: words that restate
        // paragraph properties follow.
        virtual void closeParagraphForNewWords() = 0;
    };

    RTFTableWriter(const std::vector<RTFWriterParagraph>& paragraphs, RTFHeaderWriter& header,
                   TextWriter& text, QByteArray& out)
        : paragraphs_(paragraphs), header_(header), text_(text), out_(out) {}

    // Writes paragraphs [first, last), which all sit in one table at depth
    // `level` (0: the outermost), as that table.
    void writeTable(qsizetype first, qsizetype last, int level);

  private:
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

    std::vector<Slot> rowSlots(const std::vector<Cell>& cells, std::size_t start, std::size_t end,
                               int columns, std::vector<int>& coveredThroughRow,
                               std::vector<TextTableBlock>& coveringBlock) const;
    QByteArray border(const char* side, const TextTableBlock& b);
    QByteArray cellDefinition(const Slot& slot, int right);
    void writeRow(const std::vector<Cell>& cells, std::size_t start, std::size_t end, int columns,
                  int level, bool lastRow, std::vector<int>& coveredThroughRow,
                  std::vector<TextTableBlock>& coveringBlock);
    void writeCell(const Cell& cell, int level);
    void writeEmptyCell(int level);

    const std::vector<RTFWriterParagraph>& paragraphs_;
    RTFHeaderWriter& header_;
    TextWriter& text_;
    QByteArray& out_;
};
