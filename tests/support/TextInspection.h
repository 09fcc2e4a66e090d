// Making attributed strings from HTML as notes are read, and looking into them
// by the text they hold: a missing needle fails the current test and answers
// for the first character.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "platform/richtext/AttributedString.h"
#include "platform/richtext/HTMLImporterExtension.h"
#include "platform/web/WebPreferences.h"

// Helvetica at 12 points, the fonts notes are read with.
WebPreferences notePreferences();
// `html` read with notePreferences() and `extension`; an error fails the test
// and gives an empty text.
AttributedString importHTML(const QByteArray& html, const QUrl& base = QUrl(),
                            const HTMLImporterExtension* extension = nullptr);

// The index of `needle` in `text`, 0 (with a test failure) when absent.
qsizetype indexOf(const AttributedString& text, const QString& needle);
// The attributes of the first character of `needle`.
const TextAttributes& attributesOf(const AttributedString& text, const QString& needle);
// The paragraph style in effect at the first character of `needle`.
ParagraphStyle styleOf(const AttributedString& text, const QString& needle);
