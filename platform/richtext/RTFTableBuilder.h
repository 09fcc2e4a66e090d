// RTFTableBuilder: the tables of an RTF as the reader meets them: row
// definitions (\trowd, \cellx with the cell words before each), cell and
// row ends (\cell, \row and their nested forms) at a nesting depth (1 for
// the outermost table), and the TextTableBlock of a paragraph's cell at each
// depth. Cells merged into the one before them (\clmrg) or above them
// (\clvmrg) become row and column spans of that cell, put into the text once
// the whole document is read.
//
// Limits: a row holds at most kMaxCellsPerRow cells (in its definition and
// in its text); past that the builder reports it and the reader fails. The
// reader keeps the depth at most kMaxDepth, so tables stay bounded too.
//
// Not thread-safe; one per reading. Refers to the reader's colour table,
// which must outlive it.
#pragma once

#include <QByteArray>
#include <cstddef>
#include <map>
#include <tuple>
#include <vector>

#include "platform/richtext/AttributedString.h"
#include "platform/richtext/RTFColorTable.h"
#include "platform/richtext/TextTable.h"

class RTFTableBuilder {
  public:
    static constexpr int kMaxDepth = 64;
    static constexpr std::size_t kMaxCellsPerRow = 1000;

    explicit RTFTableBuilder(const RTFColorTable& colors) : colors_(colors) {}

    // \trowd at `depth`: starts the definition of the next row of that table.
    void beginRowDefinition(int depth);
    // \cellx: ends the definition of a cell. False when the row would get more
    // than kMaxCellsPerRow cells.
    [[nodiscard]] bool endCellDefinition();
    // A word of a row definition (\lastrow, \trbrdr..., \cl..., \brdr...).
    // True when it belongs to tables, handled or not.
    bool definitionWord(const QByteArray& word, int parameter);

    // What ends a cell needs: the reader ends the cell's last paragraph
    // (EndParagraph) or not (Nothing: an empty cell merged into another, or
    // an empty end mark after a nested table); TooManyCells when the row
    // holds more than kMaxCellsPerRow cells. `paragraphIsEmpty`: no text
    // since the last paragraph's end. Either way, advanceCell follows unless
    // there are too many cells.
    enum class CellEnd { EndParagraph, Nothing, TooManyCells };
    [[nodiscard]] CellEnd endCell(int depth, bool paragraphIsEmpty);
    // Moves to the next cell of the row at `depth`; closes deeper tables.
    void advanceCell(int depth);
    // \row at `depth`: the next row starts; closes deeper tables, and the
    // table itself after \lastrow.
    void endRow(int depth);

    // The block of the cell the text stands in at `depth`.
    TextTableBlock cellBlock(int depth);
    // A paragraph at table `depth` (0: outside tables) ended: tables deeper
    // than it are closed (cell text after them starts new ones).
    void closeTablesDeeperThan(int depth);
    // Notes which tables the ended paragraph at `depth` sat in below their own cell.
    void paragraphEnded(int depth);

    // Puts the spans of merged cells, and column counts that grew after a
    // table's first rows, into the blocks of `text`; one pass over its runs.
    void applyCorrections(AttributedString& text) const;

  private:
    enum class BorderTarget { None, Cell, Row };

    struct CellDefinition {
        bool mergeFirst = false;
        bool merged = false;
        bool verticalMergeFirst = false;
        bool verticallyMerged = false;
        TextTableBlock::VerticalAlignment verticalAlignment =
            TextTableBlock::VerticalAlignment::Top;
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

    OpenTable& tableAt(int depth);
    CellDefinition definitionOfCurrentCell(const OpenTable& table) const;
    bool cellDefinitionWord(const QByteArray& word, int parameter);
    void recordSpan(const OpenTable& table, const CellDefinition& cell);

    const RTFColorTable& colors_;
    std::vector<OpenTable> tables_;
    int definingDepth_ = 0;
    CellDefinition cellDefinition_;
    BorderTarget borderTarget_ = BorderTarget::None;
    bool lastRow_ = false;
    std::map<SpanKey, std::pair<int, int>> spans_;  // (row span, column span)
    std::map<quint64, int> columns_;
};
