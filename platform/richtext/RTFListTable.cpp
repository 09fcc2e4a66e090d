#include "platform/richtext/RTFListTable.h"

#include <algorithm>

namespace {

constexpr int kMaxListLevel = 8;

}  // namespace

void RTFListTable::beginLevel() {
    if (!lists_.empty()) lists_.back().levels.push_back({});
}

RTFListTable::Level* RTFListTable::currentLevel() {
    if (lists_.empty() || lists_.back().levels.empty()) return nullptr;
    return &lists_.back().levels.back();
}

void RTFListTable::listWord(const QByteArray& word, int parameter) {
    if (word == "listid" && !lists_.empty()) lists_.back().identifier = parameter;
}

void RTFListTable::levelWord(const QByteArray& word, int parameter) {
    Level* level = currentLevel();
    if (!level) return;
    if (word == "levelnfc")
        level->numberFormat = parameter;
    else if (word == "levelstartat")
        level->startAt = parameter;
}

void RTFListTable::overrideWord(const QByteArray& word, int parameter) {
    if (word == "listid")
        overrideListId_ = parameter;
    else if (word == "ls")
        overrides_[parameter] = overrideListId_;
}

void RTFListTable::appendMarker(const QString& text) {
    if (Level* level = currentLevel()) level->marker += text;
}

void RTFListTable::appendLevelText(const QString& text) {
    if (Level* level = currentLevel()) level->levelText += text;
}

QList<TextList> RTFListTable::listsFor(int override, int level) {
    QList<TextList>& chain = instances_[override];
    const int depth = std::clamp(level, 0, kMaxListLevel);
    while (chain.size() > depth + 1) chain.removeLast();
    while (chain.size() <= depth) chain.append(makeList(override, int(chain.size())));
    return chain;
}

TextList RTFListTable::makeList(int override, int level) const {
    const auto found = overrides_.find(override);
    const int identifier = found != overrides_.end() ? found->second : override;
    for (const List& list : lists_) {
        if (list.identifier != identifier || std::size_t(level) >= list.levels.size()) continue;
        const Level& d = list.levels[level];
        return TextList(d.marker.isEmpty() ? markerFormatFor(d, level) : d.marker, d.startAt);
    }
    return TextList(QStringLiteral("{disc}"));
}

// A marker format from \levelnfc and \leveltext, for lists without \levelmarker.
QString RTFListTable::markerFormatFor(const Level& level, int depth) {
    static const std::map<int, const char*> kKeywords = {
        {0, "decimal"},     {1, "upper-roman"}, {2, "lower-roman"},
        {3, "upper-alpha"}, {4, "lower-alpha"}, {22, "decimal-leading-zero"}};
    const QString text = level.levelText.mid(1);  // the first character is the length
    const auto keyword = kKeywords.find(level.numberFormat);
    if (keyword == kKeywords.end()) {
        if (text.contains(QChar(0x25E6)) || text.contains(QLatin1Char('o')))
            return QStringLiteral("{circle}");
        if (text.contains(QChar(0x25AA)) || text.contains(QChar(0xA7)))
            return QStringLiteral("{square}");
        if (text.contains(QChar(0x2043)) || text.contains(QLatin1Char('-')))
            return QStringLiteral("{hyphen}");
        return QStringLiteral("{disc}");
    }
    const qsizetype placeholder = text.indexOf(QChar(char16_t(depth)));
    if (placeholder < 0) return QStringLiteral("{%1}.").arg(QLatin1String(keyword->second));
    QString prefix = text.left(placeholder);
    QString suffix = text.mid(placeholder + 1);
    // Earlier levels' numbers (multi-level numbering) are not kept.
    for (QString* part : {&prefix, &suffix})
        part->removeIf([](QChar c) { return c.unicode() < 9; });
    return prefix + QLatin1Char('{') + QLatin1String(keyword->second) + QLatin1Char('}') + suffix;
}
