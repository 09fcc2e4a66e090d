// TextRange: a span of UTF-16 code units in a string (location and length),
// the range type of the rich-text system. A plain value; `NotFound` marks a
// location that names no position.
#pragma once

#include <QtGlobal>
#include <algorithm>

struct TextRange {
    static constexpr qsizetype NotFound = -1;

    qsizetype location = 0;
    qsizetype length = 0;

    constexpr qsizetype end() const { return location + length; }
    constexpr bool isEmpty() const { return length == 0; }
    constexpr bool contains(qsizetype index) const { return index >= location && index < end(); }
    // The common part of two ranges; an empty range at the later start when they do not meet.
    constexpr TextRange intersected(const TextRange& other) const {
        const qsizetype start = std::max(location, other.location);
        const qsizetype stop = std::min(end(), other.end());
        return stop > start ? TextRange{start, stop - start} : TextRange{start, 0};
    }
    friend constexpr bool operator==(const TextRange&, const TextRange&) = default;
};
