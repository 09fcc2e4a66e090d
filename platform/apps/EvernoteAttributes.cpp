#include "platform/apps/EvernoteAttributes.h"

#include <QDateTime>

#include "platform/foundation/DateText.h"

namespace EvernoteAttributes {

namespace {

// The fields that exports write as dates, of notes and of attachments.
bool isDateField(const QString& element) {
    return element == QLatin1String("subject-date") || element == QLatin1String("reminder-time") ||
           element == QLatin1String("reminder-done-time") || element == QLatin1String("timestamp");
}

}  // namespace

QString fieldName(const QString& element, const QString& key) {
    if (element == QLatin1String("application-data") && !key.isEmpty()) return element + u'.' + key;
    return element;
}

QString keptValue(const QString& element, const QString& text) {
    const QString value = text.trimmed();
    if (!isDateField(element)) return value;
    const QDateTime date = dateFromCompactTimestamp(value);
    return date.isValid() ? date.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"))
                          : value;
}

QString resourceFieldName(int position, const QString& field) {
    return QStringLiteral("resource.%1.%2").arg(position).arg(field);
}

QByteArray extendedAttributeName(const QString& field) {
    if (field == QLatin1String("author")) return QByteArrayLiteral("user.xdg.creator");
    if (field == QLatin1String("source-url")) return QByteArrayLiteral("user.xdg.origin.url");
    return QByteArrayLiteral("user.ferrymark.") + field.toUtf8();
}

PlistDictionary dictionary(const EvernoteAttributeList& attributes) {
    PlistDictionary dict;
    for (const EvernoteAttribute& field : attributes) dict.set(field.name, field.value);
    return dict;
}

QList<std::pair<QByteArray, QByteArray>> extendedAttributes(
    const EvernoteAttributeList& attributes) {
    QList<std::pair<QByteArray, QByteArray>> result;
    for (const EvernoteAttribute& field : attributes)
        result.append({extendedAttributeName(field.name), field.value.toUtf8()});
    return result;
}

}  // namespace EvernoteAttributes
