#include "platform/richtext/RTFTableBuilder.h"

#include <algorithm>

namespace {

constexpr double kTwipsPerPoint = 20.0;
constexpr int kWidthInTwips = 3;  // \clftsWidth3

bool isTableWord(const QByteArray& word) {
    return word.startsWith("cl") || word.startsWith("brdr") || word.startsWith("tr");
}

}  // namespace

RTFTableBuilder::OpenTable& RTFTableBuilder::tableAt(int depth) {
    if (int(tables_.size()) < depth) tables_.resize(depth);
    OpenTable& t = tables_[depth - 1];
    if (!t.open) t = OpenTable{true, TextTable(0), 0, 0, {}, false, -1, {}};
    return t;
}

RTFTableBuilder::CellDefinition RTFTableBuilder::definitionOfCurrentCell(
    const OpenTable& table) const {
    return std::size_t(table.cell) < table.cells.size() ? table.cells[table.cell]
                                                        : CellDefinition();
}

void RTFTableBuilder::beginRowDefinition(int depth) {
    tableAt(depth).cells.clear();
    definingDepth_ = depth;
    cellDefinition_ = CellDefinition();
    borderTarget_ = BorderTarget::None;
}

bool RTFTableBuilder::endCellDefinition() {
    if (definingDepth_ <= 0) return true;
    OpenTable& t = tableAt(definingDepth_);
    if (t.cells.size() >= kMaxCellsPerRow) return false;
    t.cells.push_back(cellDefinition_);
    cellDefinition_ = CellDefinition();
    borderTarget_ = BorderTarget::None;
    return true;
}

bool RTFTableBuilder::definitionWord(const QByteArray& word, int parameter) {
    if (word == "lastrow")
        lastRow_ = true;
    else if (word.startsWith("trbrdr"))
        borderTarget_ = BorderTarget::Row;
    else if (definingDepth_ <= 0 || !cellDefinitionWord(word, parameter))
        return isTableWord(word);
    return true;
}

// A word that describes the cell being defined; false when it is none.
bool RTFTableBuilder::cellDefinitionWord(const QByteArray& w, int n) {
    CellDefinition& c = cellDefinition_;
    if (w == "clmgf")
        c.mergeFirst = true;
    else if (w == "clmrg")
        c.merged = true;
    else if (w == "clvmgf")
        c.verticalMergeFirst = true;
    else if (w == "clvmrg")
        c.verticallyMerged = true;
    else if (w == "clvertalt")
        c.verticalAlignment = TextTableBlock::VerticalAlignment::Top;
    else if (w == "clvertalc")
        c.verticalAlignment = TextTableBlock::VerticalAlignment::Middle;
    else if (w == "clvertalb")
        c.verticalAlignment = TextTableBlock::VerticalAlignment::Bottom;
    else if (w == "clcbpat")
        c.background = n;
    else if (w == "clwWidth")
        c.width = n;
    else if (w == "clftsWidth")
        c.widthUnit = n;
    else if (w == "clpadl" || w == "clpadt" || w == "clpadr" || w == "clpadb")
        c.padding = std::max(c.padding, n);
    else if (w.startsWith("clbrdr"))
        borderTarget_ = BorderTarget::Cell;
    else if (borderTarget_ == BorderTarget::Cell && w == "brdrnil") {
    } else if (borderTarget_ == BorderTarget::Cell && w == "brdrw") {
        c.borderWidth = std::max(c.borderWidth, n);
    } else if (borderTarget_ == BorderTarget::Cell && w == "brdrcf") {
        c.borderColor = n;
    } else if (borderTarget_ == BorderTarget::Cell && w.startsWith("brdr") && w != "brdrnone") {
        c.hasBorder = true;
    } else
        return false;
    return true;
}

RTFTableBuilder::CellEnd RTFTableBuilder::endCell(int depth, bool paragraphIsEmpty) {
    OpenTable& t = tableAt(depth);
    if (std::size_t(t.cell) >= kMaxCellsPerRow) return CellEnd::TooManyCells;
    const CellDefinition d = definitionOfCurrentCell(t);
    const bool continuation = d.merged || d.verticallyMerged;
    if (continuation && paragraphIsEmpty) {
        recordSpan(t, d);
        return CellEnd::Nothing;
    }
    if (paragraphIsEmpty && t.endedInNestedTable) return CellEnd::Nothing;
    if (d.mergeFirst || !continuation) t.lastOriginColumn = t.cell;
    if (d.verticalMergeFirst) t.verticalOriginRow[t.cell] = t.row;
    return CellEnd::EndParagraph;
}

void RTFTableBuilder::recordSpan(const OpenTable& t, const CellDefinition& d) {
    const quint64 id = t.table.identifier();
    if (d.verticallyMerged && !d.merged) {
        const auto origin = t.verticalOriginRow.find(t.cell);
        if (origin == t.verticalOriginRow.end()) return;
        spans_[{id, origin->second, t.cell}].first = t.row - origin->second + 1;
    } else if (d.merged && !d.verticallyMerged && t.lastOriginColumn >= 0) {
        spans_[{id, t.row, t.lastOriginColumn}].second = t.cell - t.lastOriginColumn + 1;
    }
}

void RTFTableBuilder::advanceCell(int depth) {
    closeTablesDeeperThan(depth);
    OpenTable& t = tableAt(depth);
    t.endedInNestedTable = false;
    ++t.cell;
}

void RTFTableBuilder::endRow(int depth) {
    OpenTable& t = tableAt(depth);
    ++t.row;
    t.cell = 0;
    t.lastOriginColumn = -1;
    if (lastRow_) t.open = false;
    lastRow_ = false;
    closeTablesDeeperThan(depth);
}

TextTableBlock RTFTableBuilder::cellBlock(int depth) {
    OpenTable& t = tableAt(depth);
    const int columns = std::max({int(t.cells.size()), t.table.numberOfColumns(), t.cell + 1});
    if (columns != t.table.numberOfColumns()) t.table.setNumberOfColumns(columns);
    const quint64 id = t.table.identifier();
    columns_[id] = std::max(columns_[id], columns);
    const CellDefinition d = definitionOfCurrentCell(t);
    TextTableBlock b;
    b.table = t.table;
    b.startingRow = t.row;
    b.startingColumn = t.cell;
    b.padding = d.padding / kTwipsPerPoint;
    b.borderWidth = d.hasBorder ? d.borderWidth / kTwipsPerPoint : 0;
    b.borderColor = colors_.color(d.borderColor);
    b.backgroundColor = colors_.color(d.background);
    b.contentWidth = d.widthUnit == kWidthInTwips ? d.width / kTwipsPerPoint : 0;
    b.verticalAlignment = d.verticalAlignment;
    return b;
}

void RTFTableBuilder::closeTablesDeeperThan(int depth) {
    for (int d = depth + 1; d <= int(tables_.size()); ++d) tables_[d - 1].open = false;
}

void RTFTableBuilder::paragraphEnded(int depth) {
    for (int d = 1; d <= depth; ++d) tables_[d - 1].endedInNestedTable = d < depth;
}

void RTFTableBuilder::applyCorrections(AttributedString& text) const {
    if (spans_.empty() && columns_.empty()) return;
    if (text.length() == 0) return;
    text.modifyAttributes({0, text.length()}, [&](TextAttributes& a) {
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
