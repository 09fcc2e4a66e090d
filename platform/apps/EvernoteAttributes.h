// The attributes of an Evernote note or attachment, as an export gives them in
// "note-attributes" and "resource-attributes": every field, in the export's
// order, so that none is lost on the way into the library. A value is kept as
// the export writes it (trimmed: exports may be indented), except that the
// compact ENEX time stamp of a date field ("20241221T125100Z") is written in
// ISO 8601 ("2024-12-21T12:51:00Z"); a date already in another form stays as
// it is.
//
// The same fields name the item's extended attributes (freedesktop names
// where they exist) and the entries of the item's "evernoteAttributes"
// dictionary in the library import description. An attachment's fields are
// named "resource.<position>.<field>" there, the position counting the
// note's attachments from 1, so that the fields of several attachments and
// those of the note never share a name.
//
// Stateless, any thread.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

#include "platform/plist/PlistValue.h"

struct EvernoteAttribute {
    QString name;  // the field's name (fieldName)
    QString value;
};
using EvernoteAttributeList = QList<EvernoteAttribute>;

namespace EvernoteAttributes {

// The field's name: the element's name; an "application-data" entry, one of
// several that an export tells apart by their "key", is
// "application-data.<key>".
QString fieldName(const QString& element, const QString& key = QString());
// The value kept for the text `text` of the field `element` (above).
QString keptValue(const QString& element, const QString& text);
// The name an attachment's field takes beside the note's: "resource.2.file-name".
QString resourceFieldName(int position, const QString& field);
// The extended attribute that holds a field: "user.xdg.creator" for the
// author, "user.xdg.origin.url" for the note's source URL (the freedesktop
// names), "user.ferrymark.<field>" for every other field.
QByteArray extendedAttributeName(const QString& field);
// The fields as a dictionary, name → value (a later field of a name wins).
PlistDictionary dictionary(const EvernoteAttributeList& attributes);
// The fields as extended attributes, full name → UTF-8 value (FileResourceValues).
QList<std::pair<QByteArray, QByteArray>> extendedAttributes(
    const EvernoteAttributeList& attributes);

}  // namespace EvernoteAttributes
