// HTMLTableLayout: the grid of one HTML table, worked out before its content
// is read so that every cell knows its row, column and spans, and the table
// knows how many columns it has. Rows are the table's own `tr` elements
// (directly or in `thead`, `tbody`, `tfoot`), in document order; nested tables
// are laid out separately. Cells are placed as HTML places them: a cell takes
// the next column not covered by a row-spanning cell above it.
//
// Spans are clamped: `colspan` to 1...1000, `rowspan` to the rows that follow
// (0 means "to the last row"). Column widths come from `col` elements (a
// `width` attribute or style in pixels). Linear in the number of rows and
// cells (times the column span). A plain value; reentrant.
#pragma once

#include <QHash>
#include <QList>

#include "platform/xml/XMLNode.h"

class HTMLTableLayout {
  public:
    struct Cell {
        int row = 0;
        int column = 0;
        int rowSpan = 1;
        int columnSpan = 1;
    };

    // Lays out `table` (a `table` element).
    explicit HTMLTableLayout(XMLNode table);

    int numberOfColumns() const { return columns_; }
    int numberOfRows() const { return rows_; }
    // The place of a `td` or `th` element of this table; none for other elements.
    const Cell* cellFor(XMLNode cell) const;
    // The width in points that a `col` gives column `column`; 0 when none does.
    double columnWidth(int column) const;

  private:
    static QList<XMLNode> rowsOf(XMLNode table);
    void readColumnWidths(XMLNode table);
    void placeCells(const QList<XMLNode>& rows);

    int columns_ = 0;
    int rows_ = 0;
    QHash<const void*, Cell> cells_;
    QList<double> columnWidths_;
};
