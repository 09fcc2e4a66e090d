#include "tests/support/TextInspection.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/richtext/HTMLImporter.h"

WebPreferences notePreferences() {
    WebPreferences preferences;
    preferences.setStandardFontFamily(QStringLiteral("Helvetica"));
    preferences.setDefaultFontSize(12);
    return preferences;
}

AttributedString importHTML(const QByteArray& html, const QUrl& base,
                            const HTMLImporterExtension* extension) {
    Error error;
    std::optional<AttributedString> text =
        HTMLImporter::attributedStringFromHTML(html, base, notePreferences(), &error, extension);
    EXPECT_TRUE(text) << error.description().toStdString();
    return text.value_or(AttributedString());
}

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
