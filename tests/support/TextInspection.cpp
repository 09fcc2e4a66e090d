#include "tests/support/TextInspection.h"

#include <gtest/gtest.h>

#include <algorithm>

qsizetype indexOf(const AttributedString& text, const QString& needle) {
    const qsizetype index = text.string().indexOf(needle);
    EXPECT_GE(index, 0) << needle.toStdString() << " in " << text.string().toStdString();
    return std::max<qsizetype>(index, 0);
}

const TextAttributes& attributesOf(const AttributedString& text, const QString& needle) {
    return text.attributesAtIndex(indexOf(text, needle));
}

ParagraphStyle styleOf(const AttributedString& text, const QString& needle) {
    return attributesOf(text, needle).effectiveParagraphStyle();
}
