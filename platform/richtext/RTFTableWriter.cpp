#include "platform/richtext/RTFTableWriter.h"

#include <algorithm>

#include "platform/richtext/RTFEscaping.h"

using RTFEscaping::number;
using RTFEscaping::twips;

namespace {

constexpr int kDefaultCellWidthTwips = 8640;  // the full text width of a US letter page

QByteArray cellEndWord(int level) { return level == 0 ? "\\cell " : "\\nestcell "; }
QByteArray rowEndWord(int level) { return level == 0 ? "\\row" : "\\nestrow"; }

}  // namespace

void RTFTableWriter::writeTable(qsizetype first, qsizetype last, int level) {
    std::vector<Cell> cells;
    for (qsizetype i = first; i < last; ++i) {
        const TextTableBlock& block = paragraphs_[i].style().textBlocks[level];
        if (!cells.empty() && cells.back().block.isSameCell(block))
            cells.back().last = i + 1;
        else
            cells.push_back({i, i + 1, block});
    }
    int columns = cells.front().block.table.numberOfColumns();
    for (const Cell& cell : cells)
        columns = std::max(columns, cell.block.startingColumn + std::max(1, cell.block.columnSpan));

    std::vector<int> coveredThroughRow(columns, -1);
    std::vector<TextTableBlock> coveringBlock(columns);
    for (std::size_t start = 0; start < cells.size();) {
        std::size_t end = start;
        while (end < cells.size() && cells[end].block.startingRow == cells[start].block.startingRow)
            ++end;
        const bool lastRow = end == cells.size();
        writeRow(cells, start, end, columns, level, lastRow, coveredThroughRow, coveringBlock);
        start = end;
    }
}

std::vector<RTFTableWriter::Slot> RTFTableWriter::rowSlots(
    const std::vector<Cell>& cells, std::size_t start, std::size_t end, int columns,
    std::vector<int>& coveredThroughRow, std::vector<TextTableBlock>& coveringBlock) const {
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

QByteArray RTFTableWriter::border(const char* side, const TextTableBlock& b) {
    QByteArray w = QByteArray("\\clbrdr") + side;
    if (b.borderWidth <= 0) return w + "\\brdrnil ";
    w += "\\brdrs\\brdrw" + number(std::max(1, twips(b.borderWidth)));
    if (b.borderColor.isValid()) w += "\\brdrcf" + number(header_.colorIndex(b.borderColor));
    return w + " ";
}

QByteArray RTFTableWriter::cellDefinition(const Slot& slot, int right) {
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
    d += b.backgroundColor.isValid()
             ? "\\clcbpat" + number(header_.colorIndex(b.backgroundColor)) + " "
             : QByteArray("\\clshdrawnil ");
    if (b.contentWidth > 0) d += "\\clwWidth" + number(twips(b.contentWidth)) + "\\clftsWidth3 ";
    d += border("t", b) + border("l", b) + border("b", b) + border("r", b);
    const QByteArray pad = number(twips(b.padding));
    d += "\\clpadt" + pad + "\\clpadft3 \\clpadl" + pad + "\\clpadfl3 \\clpadb" + pad +
         "\\clpadfb3 \\clpadr" + pad + "\\clpadfr3 ";
    return d + "\\gaph\\cellx" + number(right) + "\n";
}

void RTFTableWriter::writeRow(const std::vector<Cell>& cells, std::size_t start, std::size_t end,
                              int columns, int level, bool lastRow,
                              std::vector<int>& coveredThroughRow,
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
    text_.closeParagraphForNewWords();
    out_ += definition;
    for (const Slot& slot : grid) {
        if (slot.kind == Slot::Kind::Origin)
            writeCell(*slot.cell, level);
        else
            writeEmptyCell(level);
    }
    out_ += (lastRow ? "\\lastrow" : "") + rowEndWord(level) + "\n";
}

void RTFTableWriter::writeCell(const Cell& cell, int level) {
    const RTFWriterParagraph& lastParagraph = paragraphs_[cell.last - 1];
    if (lastParagraph.style().textBlocks.size() > level + 1) {
        // The cell ends inside a nested table: close the cell with an empty end mark.
        text_.writeParagraphs(cell.first, cell.last, level + 1);
        writeEmptyCell(level);
        return;
    }
    text_.writeParagraphs(cell.first, cell.last - 1, level + 1);
    text_.writeParagraph(cell.last - 1, cellEndWord(level));
}

// An end mark with no text before it: a grid position no cell covers, or
// the end of a cell whose last paragraph sits in a nested table.
void RTFTableWriter::writeEmptyCell(int level) {
    out_ += "\\pard\\intbl\\itap" + number(level + 1) + "\\pardirnatural\\partightenfactor0\n" +
            cellEndWord(level);
}
