#include "platform/richtext/HTMLTableLayout.h"

#include <algorithm>
#include <vector>

#include "platform/richtext/CSSStyle.h"
#include "platform/xml/XMLNode.h"

namespace {

constexpr int kMaximumColumnSpan = 1000;

// The leading digits of an attribute value, as HTML reads "3" or "3px"; `fallback` when none.
int leadingNumber(const QString& value, int fallback) {
    const QString text = value.trimmed();
    qsizetype end = 0;
    while (end < text.size() && end < 9 && text.at(end).isDigit()) ++end;
    return end == 0 ? fallback : text.left(end).toInt();
}

bool isCell(const XMLNode& node) {
    if (!node.isElement()) return false;
    const QString name = node.name().toLower();
    return name == QLatin1String("td") || name == QLatin1String("th");
}

}  // namespace

HTMLTableLayout::HTMLTableLayout(XMLNode table) {
    readColumnWidths(table);
    placeCells(rowsOf(table));
}

const HTMLTableLayout::Cell* HTMLTableLayout::cellFor(XMLNode cell) const {
    const auto found = cells_.constFind(cell.libxmlNode());
    return found == cells_.constEnd() ? nullptr : &found.value();
}

double HTMLTableLayout::columnWidth(int column) const {
    return column >= 0 && column < columnWidths_.size() ? columnWidths_[column] : 0;
}

QList<XMLNode> HTMLTableLayout::rowsOf(XMLNode table) {
    QList<XMLNode> rows;
    for (XMLNode child = table.firstChild(); child; child = child.nextSibling()) {
        if (!child.isElement()) continue;
        const QString name = child.name().toLower();
        if (name == QLatin1String("tr")) {
            rows.append(child);
        } else if (name == QLatin1String("thead") || name == QLatin1String("tbody") ||
                   name == QLatin1String("tfoot")) {
            for (XMLNode row = child.firstChild(); row; row = row.nextSibling())
                if (row.isElement() && row.name().toLower() == QLatin1String("tr"))
                    rows.append(row);
        }
    }
    return rows;
}

void HTMLTableLayout::readColumnWidths(XMLNode table) {
    auto addColumn = [this](XMLNode column) {
        const int span = std::clamp(leadingNumber(column.attribute(QStringLiteral("span")), 1), 1,
                                    kMaximumColumnSpan);
        const CSSStyle style =
            CSSStyle::fromDeclarations(column.attribute(QStringLiteral("style")));
        QString width = style.value(QStringLiteral("width"));
        if (width.isNull()) width = column.attribute(QStringLiteral("width"));
        const double points = CSSStyle::length(width, 16, 16).value_or(0);
        for (int i = 0; i < span; ++i) columnWidths_.append(std::max(0.0, points));
    };
    for (XMLNode child = table.firstChild(); child; child = child.nextSibling()) {
        if (!child.isElement()) continue;
        const QString name = child.name().toLower();
        if (name == QLatin1String("col")) {
            addColumn(child);
        } else if (name == QLatin1String("colgroup")) {
            for (XMLNode column = child.firstChild(); column; column = column.nextSibling())
                if (column.isElement() && column.name().toLower() == QLatin1String("col"))
                    addColumn(column);
        }
    }
}

void HTMLTableLayout::placeCells(const QList<XMLNode>& rows) {
    rows_ = int(rows.size());
    // For each column, the last row that a row-spanning cell above covers.
    std::vector<int> coveredThrough;
    for (int row = 0; row < rows_; ++row) {
        int column = 0;
        for (XMLNode node = rows[row].firstChild(); node; node = node.nextSibling()) {
            if (!isCell(node)) continue;
            while (column < int(coveredThrough.size()) && coveredThrough[column] >= row) ++column;
            Cell cell;
            cell.row = row;
            cell.column = column;
            cell.columnSpan = std::clamp(
                leadingNumber(node.attribute(QStringLiteral("colspan")), 1), 1, kMaximumColumnSpan);
            const int remainingRows = rows_ - row;
            const int rowSpan = leadingNumber(node.attribute(QStringLiteral("rowspan")), 1);
            cell.rowSpan = rowSpan == 0 ? remainingRows : std::clamp(rowSpan, 1, remainingRows);
            if (int(coveredThrough.size()) < column + cell.columnSpan)
                coveredThrough.resize(column + cell.columnSpan, -1);
            for (int c = column; c < column + cell.columnSpan; ++c)
                coveredThrough[c] = std::max(coveredThrough[c], row + cell.rowSpan - 1);
            cells_.insert(node.libxmlNode(), cell);
            column += cell.columnSpan;
        }
    }
    columns_ = std::max(1, int(coveredThrough.size()));
}
