#include "platform/archive/KeyedUnarchiver.h"

#include <QMutex>
#include <cmath>
#include <limits>

#include "platform/archive/ArchivedInstance.h"
#include "platform/archive/ColorCoding.h"
#include "platform/archive/GeometryStrings.h"

const QString KeyedUnarchiver::errorDomain = QStringLiteral("KeyedArchiveErrorDomain");

namespace {

constexpr qint64 kReferenceDateMsecs = 978307200000LL;
constexpr size_t kMaximumDepth = 512;
constexpr double kMaximumDateSeconds = 1e6 * 365.25 * 86400;

QMutex& registryMutex() {
    static QMutex mutex;
    return mutex;
}

QHash<QString, KeyedUnarchiver::Factory>& registry() {
    static QHash<QString, KeyedUnarchiver::Factory> factories;
    return factories;
}

QString escapedKey(const QString& key) {
    return key.startsWith(QLatin1Char('$')) ? QLatin1Char('$') + key : key;
}

QString unescapedKey(const QString& key) {
    return key.startsWith(QStringLiteral("$$")) ? key.mid(1) : key;
}

// A plain plist value as an ArchiveValue (UIDs, which only mean something as
// references, read as nil).
ArchiveValue fromPlain(const PlistValue& value) {
    using Type = PlistValue::Type;
    switch (value.type()) {
        case Type::Boolean:
            return ArchiveValue(value.toBool());
        case Type::Integer:
            return ArchiveValue(value.toInteger());
        case Type::Real:
            return ArchiveValue(value.toReal());
        case Type::String:
            return ArchiveValue(value.toString());
        case Type::Date:
            return ArchiveValue(value.toDate());
        case Type::Data:
            return ArchiveValue(value.toData());
        case Type::Array: {
            QList<ArchiveValue> items;
            const PlistArray array = value.toArray();
            for (const auto& item : array.values()) items << fromPlain(item);
            return ArchiveValue::array(std::move(items));
        }
        case Type::Dictionary: {
            ArchiveValue::Entries entries;
            const PlistDictionary dictionary = value.toDictionary();
            for (const auto& [key, item] : dictionary.entries())
                entries.emplace_back(ArchiveValue(key), fromPlain(item));
            return ArchiveValue::dictionary(std::move(entries));
        }
        default:
            return {};
    }
}

bool isReferenceArray(const PlistValue& value) {
    const PlistArray array = value.toArray();
    if (value.type() != PlistValue::Type::Array || array.isEmpty()) return false;
    for (const auto& item : array.values()) {
        if (item.type() != PlistValue::Type::Uid) return false;
    }
    return true;
}

}  // namespace

// ---- creation ------------------------------------------------------------------

KeyedUnarchiver::KeyedUnarchiver(PlistDictionary top, PlistArray objects)
    : top_(std::move(top)), objects_(std::move(objects)) {
    frames_.push_back(top_);
}

std::unique_ptr<KeyedUnarchiver> KeyedUnarchiver::unarchiverForReadingFromData(
    const QByteArray& data, Error* error) {
    const std::optional<PlistValue> plist = PlistValue::fromData(data);
    const PlistDictionary envelope = plist ? plist->toDictionary() : PlistDictionary();
    const PlistValue top = envelope.value(QStringLiteral("$top"));
    const PlistValue objects = envelope.value(QStringLiteral("$objects"));
    if (top.type() != PlistValue::Type::Dictionary || objects.type() != PlistValue::Type::Array) {
        Error(errorDomain, NotAnArchive, QStringLiteral("The data is not a keyed archive."))
            .report(error);
        return nullptr;
    }
    return std::unique_ptr<KeyedUnarchiver>(
        new KeyedUnarchiver(top.toDictionary(), objects.toArray()));
}

std::optional<ArchiveValue> KeyedUnarchiver::unarchivedRootObject(const QByteArray& data,
                                                                  Error* error) {
    auto unarchiver = unarchiverForReadingFromData(data, error);
    if (!unarchiver) return std::nullopt;
    ArchiveValue root = unarchiver->decodeObject(QStringLiteral("root"));
    if (unarchiver->error()) {
        unarchiver->error().report(error);
        return std::nullopt;
    }
    return root;
}

void KeyedUnarchiver::setClassFactory(const QString& className, Factory factory) {
    factories_.insert(className, std::move(factory));
}

void KeyedUnarchiver::registerClassFactory(const QString& className, Factory factory) {
    QMutexLocker lock(&registryMutex());
    registry().insert(className, std::move(factory));
}

std::optional<KeyedUnarchiver::Factory> KeyedUnarchiver::factoryFor(
    const QString& className) const {
    auto own = factories_.constFind(className);
    if (own != factories_.constEnd()) return *own;
    QMutexLocker lock(&registryMutex());
    auto shared = registry().constFind(className);
    if (shared != registry().constEnd()) return *shared;
    return std::nullopt;
}

void KeyedUnarchiver::fail(const QString& message) {
    if (!error_) error_ = Error(errorDomain, CorruptArchive, message);
}

// ---- keyed values ----------------------------------------------------------------

PlistValue KeyedUnarchiver::rawValue(const QString& key) const {
    return frames_.back().value(escapedKey(key));
}

bool KeyedUnarchiver::containsValueForKey(const QString& key) const {
    return frames_.back().contains(escapedKey(key));
}

ArchiveValue KeyedUnarchiver::decodeObject(const QString& key) {
    const PlistValue value = rawValue(key);
    if (value.type() == PlistValue::Type::Uid) return objectAt(value.toUid());
    return fromPlain(value);
}

bool KeyedUnarchiver::decodeBool(const QString& key) const { return rawValue(key).toBool(); }

int KeyedUnarchiver::decodeInt(const QString& key) const {
    const qint64 value = decodeInt64(key);
    return static_cast<int>(std::clamp<qint64>(value, std::numeric_limits<int>::min(),
                                               std::numeric_limits<int>::max()));
}

qint64 KeyedUnarchiver::decodeInt64(const QString& key) const { return rawValue(key).toInteger(); }
float KeyedUnarchiver::decodeFloat(const QString& key) const {
    return static_cast<float>(rawValue(key).toReal());
}
double KeyedUnarchiver::decodeDouble(const QString& key) const { return rawValue(key).toReal(); }
QByteArray KeyedUnarchiver::decodeBytes(const QString& key) const { return rawValue(key).toData(); }

QRectF KeyedUnarchiver::decodeRect(const QString& key) {
    return GeometryStrings::rectFromString(decodeObject(key).toString());
}

QList<ArchiveValue> KeyedUnarchiver::decodeArrayOfObjects(const QString& key) {
    QList<ArchiveValue> result;
    const PlistArray references = rawValue(key).toArray();
    result.reserve(references.size());
    for (const auto& reference : references.values()) {
        result << (reference.type() == PlistValue::Type::Uid ? objectAt(reference.toUid())
                                                             : fromPlain(reference));
    }
    return result;
}

ArchiveValue KeyedUnarchiver::decodePropertyList(const QString& key) const {
    return fromPlain(rawValue(key));
}

// ---- objects ---------------------------------------------------------------------

ArchiveValue KeyedUnarchiver::objectAt(quint64 uid) {
    if (uid == 0) return {};
    if (uid >= static_cast<quint64>(objects_.size())) {
        fail(
            QStringLiteral("The archive refers to object %1 of %2.").arg(uid).arg(objects_.size()));
        return {};
    }
    auto cached = decoded_.constFind(uid);
    if (cached != decoded_.constEnd()) return *cached;
    if (inProgress_.contains(uid)) return {};

    const PlistValue entry = objects_.at(static_cast<qsizetype>(uid));
    const PlistDictionary fields = entry.toDictionary();
    if (entry.type() != PlistValue::Type::Dictionary ||
        !fields.contains(QStringLiteral("$class"))) {
        ArchiveValue value = fromPlain(entry);
        decoded_.insert(uid, value);
        return value;
    }
    if (frames_.size() > kMaximumDepth) {
        fail(QStringLiteral("The archive nests objects too deeply."));
        return {};
    }
    inProgress_.insert(uid);
    ArchiveValue value = decodeInstance(uid, fields);
    inProgress_.remove(uid);
    decoded_.insert(uid, value);
    return value;
}

ArchiveValue KeyedUnarchiver::decodeInstance(quint64 uid, const PlistDictionary& fields) {
    const PlistValue classReference = fields.value(QStringLiteral("$class"));
    const quint64 classUid = classReference.toUid();
    const PlistDictionary classDescription =
        classUid < static_cast<quint64>(objects_.size())
            ? objects_.at(static_cast<qsizetype>(classUid)).toDictionary()
            : PlistDictionary();
    const QString className = classDescription.value(QStringLiteral("$classname")).toString();
    if (classReference.type() != PlistValue::Type::Uid || className.isEmpty()) {
        fail(QStringLiteral("Object %1 of the archive has no class.").arg(uid));
        return {};
    }
    QStringList chain;
    const PlistArray classNames = classDescription.value(QStringLiteral("$classes")).toArray();
    for (const auto& name : classNames.values()) chain << name.toString();
    if (chain.isEmpty()) chain << className;

    frames_.push_back(fields);
    ArchiveValue value;
    if (auto factory = factoryFor(className)) {
        value = ArchiveValue((*factory)(*this));
    } else {
        value = decodeFoundation(className, chain);
        if (value.isNull() && !chain.contains(QStringLiteral("NSNull")))
            value = decodeGeneric(className, chain);
    }
    frames_.pop_back();
    return value;
}

ArchiveValue KeyedUnarchiver::decodeFoundation(const QString& className, const QStringList& chain) {
    const bool isMutable = className.startsWith(QStringLiteral("NSMutable"));
    for (const QString& name : chain) {
        if (name == QStringLiteral("NSArray") || name == QStringLiteral("NSSet") ||
            name == QStringLiteral("NSOrderedSet"))
            return ArchiveValue::array(decodeArrayOfObjects(QStringLiteral("NS.objects")),
                                       isMutable);
        if (name == QStringLiteral("NSDictionary")) {
            const QList<ArchiveValue> keys = decodeArrayOfObjects(QStringLiteral("NS.keys"));
            const QList<ArchiveValue> values = decodeArrayOfObjects(QStringLiteral("NS.objects"));
            ArchiveValue::Entries entries;
            for (qsizetype i = 0; i < std::min(keys.size(), values.size()); ++i)
                entries.emplace_back(keys[i], values[i]);
            return ArchiveValue::dictionary(std::move(entries), isMutable);
        }
        if (name == QStringLiteral("NSString")) {
            const QString text = decodeObject(QStringLiteral("NS.string")).toString();
            return isMutable ? ArchiveValue::mutableString(text) : ArchiveValue(text);
        }
        if (name == QStringLiteral("NSData"))
            return ArchiveValue(decodeObject(QStringLiteral("NS.data")).toData());
        if (name == QStringLiteral("NSDate")) {
            const double seconds = decodeDouble(QStringLiteral("NS.time"));
            // Beyond a million years either way the milliseconds overflow.
            if (!(std::abs(seconds) < kMaximumDateSeconds)) {
                fail(QStringLiteral("A date of the archive lies out of range."));
                return {};
            }
            return ArchiveValue(QDateTime::fromMSecsSinceEpoch(
                kReferenceDateMsecs + qRound64(seconds * 1000.0), Qt::UTC));
        }
        if (name == QStringLiteral("NSColor")) {
            const QColor color = ColorCoding::decodeColor(*this);
            return color.isValid() ? ArchiveValue(color) : ArchiveValue();
        }
        if (name == QStringLiteral("NSNull")) return {};
    }
    return {};
}

ArchiveValue KeyedUnarchiver::decodeGeneric(const QString& className, const QStringList& chain) {
    std::vector<ArchivedInstance::Field> fields;
    const PlistDictionary current = frames_.back();
    for (const auto& [rawKey, value] : current.entries()) {
        if (rawKey == QStringLiteral("$class")) continue;
        ArchivedInstance::Field field;
        field.key = unescapedKey(rawKey);
        if (value.type() == PlistValue::Type::Uid) {
            field.kind = ArchivedInstance::FieldKind::Object;
            field.value = objectAt(value.toUid());
        } else if (isReferenceArray(value)) {
            field.kind = ArchivedInstance::FieldKind::ObjectArray;
            QList<ArchiveValue> objects;
            const PlistArray references = value.toArray();
            for (const auto& reference : references.values())
                objects << objectAt(reference.toUid());
            field.value = ArchiveValue::array(std::move(objects));
        } else {
            field.value = fromPlain(value);
        }
        fields.push_back(std::move(field));
    }
    return ArchiveValue(std::make_shared<ArchivedInstance>(className, chain, std::move(fields)));
}
