#include "enex/EvernoteHTMLImportHook.h"

#include "formats/PMChecklistTextAttachment.h"

namespace {

const QColor kDefaultCodeBlockBackground(245, 245, 245);
const QColor kYellowPen(255, 239, 158);

bool isTrue(const QString& value) { return value.trimmed().toLower() == QLatin1String("true"); }

// The value of the note property `name`, a null QString when the style has none.
QString noteProperty(const CSSStyle& style, const char* name) {
    const QString value = style.value(QStringLiteral("--en-") + QLatin1String(name));
    return value.isNull() ? style.value(QStringLiteral("-en-") + QLatin1String(name)) : value;
}

// The background a highlighter pen paints.
QColor highlightColor(const QString& value) {
    static const std::pair<const char*, QColor> kPens[] = {
        {"yellow", kYellowPen},           {"green", QColor(183, 247, 209)},
        {"blue", QColor(173, 229, 252)},  {"purple", QColor(203, 202, 255)},
        {"pink", QColor(255, 209, 220)},  {"red", QColor(255, 209, 209)},
        {"orange", QColor(255, 206, 160)}};
    const QString name = value.trimmed().toLower();
    for (const auto& [pen, color] : kPens)
        if (name == QLatin1String(pen)) return color;
    return CSSStyle::color(value).value_or(kYellowPen);
}

}  // namespace

HTMLCheckBoxMarkers EvernoteHTMLImportHook::checkBoxMarkers() const {
    return {PMChecklistTextAttachment::checkedReplacementString,
            PMChecklistTextAttachment::uncheckedReplacementString};
}

bool EvernoteHTMLImportHook::isBlockElement(const QString& name) const {
    return name == QLatin1String("en-note");
}

bool EvernoteHTMLImportHook::isTodoChecked(const XMLNode& todo) {
    return isTrue(todo.attribute(QStringLiteral("checked")));
}

std::optional<bool> EvernoteHTMLImportHook::checkBoxStateForElement(const XMLNode& element,
                                                                    const QString& name) const {
    if (name != QLatin1String("en-todo")) return std::nullopt;
    return isTodoChecked(element);
}

HTMLStyleAdditions EvernoteHTMLImportHook::styleAdditions(const CSSStyle& style) const {
    HTMLStyleAdditions additions;
    const bool ownFamily = style.contains(QStringLiteral("font-family"));
    if (isTrue(noteProperty(style, "codeblock"))) {
        additions.fixedPitch = !ownFamily;
        if (!CSSStyle::color(style.value(QStringLiteral("background-color"))))
            additions.background = kDefaultCodeBlockBackground;
    }
    if (isTrue(noteProperty(style, "code")) && !ownFamily) additions.fixedPitch = true;
    const QString highlight = noteProperty(style, "highlight");
    if (!highlight.isEmpty()) additions.background = highlightColor(highlight);
    return additions;
}

bool EvernoteHTMLImportHook::isChecklist(const CSSStyle& listStyle) const {
    return isTrue(noteProperty(listStyle, "todo"));
}

std::optional<bool> EvernoteHTMLImportHook::listItemCheckState(const CSSStyle& itemStyle) const {
    const QString checked = noteProperty(itemStyle, "checked");
    if (checked.isNull()) return std::nullopt;
    return isTrue(checked);
}
