#include "util/CharacterClasses.h"

#include <QChar>

namespace CharacterClasses {

bool isWhiteSpace(char32_t c) {
    return c == 0x0009 || QChar::category(c) == QChar::Separator_Space;
}

bool isWhiteSpaceOrLineBreak(char32_t c) {
    switch (QChar::category(c)) {
        case QChar::Separator_Space:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            return (c >= 0x000A && c <= 0x000D) || c == 0x0085;
    }
}

bool isLineBreak(char32_t c) {
    return (c >= 0x000A && c <= 0x000D) || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

bool isControl(char32_t c) {
    const QChar::Category category = QChar::category(c);
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

bool isIllegal(char32_t c) {
    return QChar::isNonCharacter(c) || QChar::category(c) == QChar::Other_NotAssigned;
}

QString trimmed(const QString& text, Predicate isTrimmed) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isTrimmed(text.at(start).unicode())) ++start;
    while (end > start && isTrimmed(text.at(end - 1).unicode())) --end;
    return text.mid(start, end - start);
}

}  // namespace CharacterClasses
