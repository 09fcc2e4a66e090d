#include "platform/uti/UniformTypes.h"

#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QSet>

#include "platform/uti/UniformTypeTable.h"

namespace {

const QString kDynamicExtensionPrefix = QStringLiteral("dyn.ext.");
const QString kDynamicMIMEPrefix = QStringLiteral("dyn.mime.");
const QString kDataType = QStringLiteral("public.data");

struct TypeRecord {
    QString identifier;
    QStringList parents;  // lower case
    QStringList extensions;
    QStringList mimeTypes;
    QString kindName;
};

QStringList listFrom(const char* text) {
    return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
}

// The table, indexed by lower-case identifier, extension and MIME type.
class Registry {
  public:
    static const Registry& shared() {
        static const Registry registry;
        return registry;
    }

    const TypeRecord* find(const QString& type) const {
        const auto it = types_.constFind(type.toLower());
        return it == types_.constEnd() ? nullptr : &it.value();
    }
    QString typeForExtension(const QString& extension) const {
        return byExtension_.value(extension.toLower());
    }
    QString typeForMIMEType(const QString& mimeType) const { return byMIMEType_.value(mimeType); }

  private:
    Registry() {
        for (const UniformTypeDeclaration& declaration : uniformTypeDeclarations()) {
            TypeRecord record{QString::fromLatin1(declaration.identifier),
                              listFrom(declaration.conformsTo), listFrom(declaration.extensions),
                              listFrom(declaration.mimeTypes),
                              QString::fromUtf8(declaration.kindName)};
            for (QString& parent : record.parents) parent = parent.toLower();
            // The first declaration to claim an extension or MIME type keeps it.
            for (const QString& extension : record.extensions) {
                claim(byExtension_, extension, record.identifier);
            }
            for (const QString& mimeType : record.mimeTypes) {
                claim(byMIMEType_, mimeType, record.identifier);
            }
            types_.insert(record.identifier.toLower(), std::move(record));
        }
    }

    static void claim(QHash<QString, QString>& index, const QString& tag, const QString& type) {
        const QString key = tag.toLower();
        if (!index.contains(key)) index.insert(key, type);
    }

    QHash<QString, TypeRecord> types_;
    QHash<QString, QString> byExtension_;
    QHash<QString, QString> byMIMEType_;
};

bool isDynamic(const QString& type) {
    return type.startsWith(kDynamicExtensionPrefix, Qt::CaseInsensitive) ||
           type.startsWith(kDynamicMIMEPrefix, Qt::CaseInsensitive);
}

// The tag a dynamic identifier carries after `prefix`, or "" for any other type.
QString dynamicTag(const QString& type, const QString& prefix) {
    return type.startsWith(prefix, Qt::CaseInsensitive) ? type.mid(prefix.size()) : QString();
}

QStringList parentsOf(const QString& type) {
    if (const TypeRecord* record = Registry::shared().find(type)) return record->parents;
    if (isDynamic(type)) return {kDataType};
    return {};
}

// "text/html; charset=utf-8" -> "text/html".
QString essenceOfMIMEType(const QString& mimeType) {
    return mimeType.section(u';', 0, 0).trimmed().toLower();
}

}  // namespace

QString UniformTypes::preferredIdentifierForMIMEType(const QString& mimeType) {
    const QString essence = essenceOfMIMEType(mimeType);
    if (essence.isEmpty()) return QString();
    const QString declared = Registry::shared().typeForMIMEType(essence);
    return declared.isEmpty() ? kDynamicMIMEPrefix + essence : declared;
}

QString UniformTypes::preferredIdentifierForExtension(const QString& extension) {
    const QString tag = extension.startsWith(u'.') ? extension.mid(1) : extension;
    if (tag.isEmpty()) return QString();
    const QString declared = Registry::shared().typeForExtension(tag);
    return declared.isEmpty() ? kDynamicExtensionPrefix + tag : declared;
}

bool UniformTypes::conformsTo(const QString& type, const QString& parent) {
    if (type.isEmpty() || parent.isEmpty()) return false;
    const QString wanted = parent.toLower();
    QStringList pending{type.toLower()};
    QSet<QString> seen;
    while (!pending.isEmpty()) {
        const QString current = pending.takeLast();
        if (current == wanted) return true;
        if (seen.contains(current)) continue;
        seen.insert(current);
        pending += parentsOf(current);
    }
    return false;
}

QString UniformTypes::preferredExtension(const QString& type) {
    if (const TypeRecord* record = Registry::shared().find(type)) {
        return record->extensions.value(0);
    }
    return dynamicTag(type, kDynamicExtensionPrefix);
}

QString UniformTypes::fileNameWithExtensionForType(const QString& name, const QString& type) {
    const QString extension = preferredExtension(type);
    if (name.isEmpty() || extension.isEmpty()) return name;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0 && conformsTo(preferredIdentifierForExtension(name.mid(dot + 1)), type))
        return name;
    return name + u'.' + extension;
}

QString UniformTypes::preferredMIMEType(const QString& type) {
    if (const TypeRecord* record = Registry::shared().find(type)) {
        return record->mimeTypes.value(0);
    }
    return dynamicTag(type, kDynamicMIMEPrefix);
}

QString UniformTypes::kindName(const QString& type) {
    const TypeRecord* record = Registry::shared().find(type);
    return record ? record->kindName : QString();
}

bool UniformTypes::isDeclared(const QString& type) { return Registry::shared().find(type); }

QString UniformTypes::guessedMIMEType(const QString& fileName, const QByteArray& data) {
    const QString extension = QFileInfo(fileName).suffix();
    if (!extension.isEmpty()) {
        const QString declared = preferredMIMEType(preferredIdentifierForExtension(extension));
        if (!declared.isEmpty()) return declared;
    }
    // The database weighs the name's glob against the content's magic and
    // falls back to "application/octet-stream" (or "text/plain" for text).
    return QMimeDatabase().mimeTypeForFileNameAndData(fileName, data).name();
}
