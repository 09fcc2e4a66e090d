// TextTable and TextTableBlock: tables in rich text. A paragraph inside a table
// cell carries, in its paragraph style, one TextTableBlock per table level
// (outermost first); the block names its table, its place in the grid and the
// look of its cell. Paragraphs of one cell carry equal blocks.
//
// A table has identity: every new TextTable gets its own identifier, kept by
// copies, so two tables of the same shape that follow each other stay two
// tables. Equality compares identity and properties. Lengths are in points.
#pragma once

#include <QColor>

class TextTable {
  public:
    // A new table (a new identity) with `numberOfColumns` columns.
    explicit TextTable(int numberOfColumns = 1);

    quint64 identifier() const { return identifier_; }
    int numberOfColumns() const { return numberOfColumns_; }
    void setNumberOfColumns(int columns) { numberOfColumns_ = columns; }

    friend bool operator==(const TextTable&, const TextTable&) = default;

  private:
    quint64 identifier_;
    int numberOfColumns_;
};

struct TextTableBlock {
    enum class VerticalAlignment { Top, Middle, Bottom, Baseline };

    TextTable table;
    int startingRow = 0;
    int rowSpan = 1;
    int startingColumn = 0;
    int columnSpan = 1;
    double padding = 0;       // on every edge
    double borderWidth = 0;   // on every edge; 0 is no border
    QColor borderColor;       // invalid: the default (black)
    QColor backgroundColor;   // invalid: none
    double contentWidth = 0;  // 0: automatic
    VerticalAlignment verticalAlignment = VerticalAlignment::Top;

    // Whether `other` is the same cell (same table, row and column).
    bool isSameCell(const TextTableBlock& other) const {
        return table.identifier() == other.table.identifier() && startingRow == other.startingRow &&
               startingColumn == other.startingColumn;
    }
    friend bool operator==(const TextTableBlock&, const TextTableBlock&) = default;
};
