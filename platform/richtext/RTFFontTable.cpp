#include "platform/richtext/RTFFontTable.h"

#include "platform/richtext/FontRegistry.h"
#include "platform/richtext/RTFCodePage.h"

void RTFFontTable::tableWord(const QByteArray& word, int parameter) {
    if (word == "f")
        number_ = parameter;
    else if (word == "fcharset")
        charset_ = parameter;
}

void RTFFontTable::finishEntry() {
    entries_[number_] = {name_.trimmed(), charset_};
    name_.clear();
    charset_ = 0;
}

const RTFFontTable::Entry* RTFFontTable::entry(int number) const {
    const auto it = entries_.find(number >= 0 ? number : defaultFont_);
    return it != entries_.end() ? &it->second : nullptr;
}

int RTFFontTable::codePage(int number) const {
    const Entry* e = entry(number);
    return e ? RTFCodePage::codePageForCharset(e->charset) : 0;
}

Font RTFFontTable::font(int number, double pointSize, bool bold, bool italic) {
    const Entry* e = entry(number);
    QString name = e ? e->name : QString();
    if (name.isEmpty()) name = FontRegistry::userFontOfSize(12).postScriptName();
    const QString key = name + QLatin1Char('/') + QString::number(pointSize) +
                        QLatin1Char(bold ? 'b' : '-') + QLatin1Char(italic ? 'i' : '-');
    auto made = fonts_.find(key);
    if (made == fonts_.end())
        made =
            fonts_.insert(key, FontRegistry::fontForPostScriptName(name, pointSize, bold, italic));
    return *made;
}
