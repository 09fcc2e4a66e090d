// Looking into an attributed string by the text it holds: a missing needle
// fails the current test and answers for the first character.
#pragma once

#include <QString>

#include "platform/richtext/AttributedString.h"

// The index of `needle` in `text`, 0 (with a test failure) when absent.
qsizetype indexOf(const AttributedString& text, const QString& needle);
// The attributes of the first character of `needle`.
const TextAttributes& attributesOf(const AttributedString& text, const QString& needle);
// The paragraph style in effect at the first character of `needle`.
ParagraphStyle styleOf(const AttributedString& text, const QString& needle);
