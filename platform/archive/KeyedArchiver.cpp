#include "platform/archive/KeyedArchiver.h"

#include <cstring>

#include "platform/archive/ColorCoding.h"
#include "platform/archive/GeometryStrings.h"

namespace {

const QString kClassKey = QStringLiteral("$class");

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
constexpr qint64 kReferenceDateMsecs = 978307200000LL;

QString escapedKey(const QString& key) {
    return key.startsWith(QLatin1Char('$')) ? QLatin1Char('$') + key : key;
}

// A key that identifies an inline value by type and content, for uniquing.
QByteArray valueKey(const ArchiveValue& value) {
    using Type = ArchiveValue::Type;
    QByteArray key;
    switch (value.type()) {
        case Type::Boolean:
            return value.toBool() ? "B1" : "B0";
        case Type::Integer:
            return "I" + QByteArray::number(value.toInteger());
        case Type::Float: {
            const float f = static_cast<float>(value.toDouble());
            key = "F" + QByteArray(reinterpret_cast<const char*>(&f), sizeof f);
            return key;
        }
        case Type::Double: {
            const double d = value.toDouble();
            key = "D" + QByteArray(reinterpret_cast<const char*>(&d), sizeof d);
            return key;
        }
        case Type::MutableString:
            return "M" + value.toString().toUtf8();
        case Type::Data:
            return "X" + value.toData();
        case Type::Date:
            return "T" + QByteArray::number(value.toDate().toMSecsSinceEpoch());
        case Type::Color: {
            float rgba[4] = {0, 0, 0, 0};
            value.toColor().getRgbF(&rgba[0], &rgba[1], &rgba[2], &rgba[3]);
            key = "C" + QByteArray(reinterpret_cast<const char*>(rgba), sizeof rgba);
            return key;
        }
        default:
            return {};
    }
}

// `depth` counts the containers around `value`; past the archiver's limit
// the node is left out and `tooDeep` set.
BinaryPlistNode plainNode(const ArchiveValue& value, bool* ok, size_t depth, bool* tooDeep) {
    using Type = ArchiveValue::Type;
    *ok = true;
    if (depth > KeyedArchiver::kMaximumDepth) {
        *ok = false;
        *tooDeep = true;
        return {};
    }
    switch (value.type()) {
        case Type::Boolean:
            return BinaryPlistNode::makeBoolean(value.toBool());
        case Type::Integer:
            return BinaryPlistNode::makeInteger(value.toInteger());
        case Type::Float:
            return BinaryPlistNode::makeFloat32(static_cast<float>(value.toDouble()));
        case Type::Double:
            return BinaryPlistNode::makeFloat64(value.toDouble());
        case Type::String:
        case Type::MutableString:
            return BinaryPlistNode::makeString(value.toString());
        case Type::Data:
            return BinaryPlistNode::makeData(value.toData());
        case Type::Date:
            return BinaryPlistNode::makeDate(value.toDate());
        case Type::Array: {
            BinaryPlistNode node = BinaryPlistNode::makeArray();
            for (const auto& item : value.arrayItems()) {
                bool itemOk = false;
                BinaryPlistNode child = plainNode(item, &itemOk, depth + 1, tooDeep);
                if (itemOk) node.items().push_back(std::move(child));
            }
            return node;
        }
        case Type::Dictionary: {
            BinaryPlistNode node = BinaryPlistNode::makeDictionary();
            for (const auto& [key, item] : value.dictionaryEntries()) {
                bool itemOk = false;
                BinaryPlistNode child = plainNode(item, &itemOk, depth + 1, tooDeep);
                if (itemOk && !key.toString().isNull())
                    node.insert(key.toString(), std::move(child));
            }
            return node;
        }
        default:
            *ok = false;
            return {};
    }
}

bool isInline(ArchiveValue::Type type) {
    using Type = ArchiveValue::Type;
    return type == Type::Boolean || type == Type::Integer || type == Type::Float ||
           type == Type::Double || type == Type::String || type == Type::Data;
}

}  // namespace

KeyedArchiver::KeyedArchiver() {
    objects_.push_back(BinaryPlistNode::makeString(QStringLiteral("$null")));
    frames_.emplace_back();
}

QByteArray KeyedArchiver::archivedDataWithRootObject(const ArchiveValue& root, Error* error) {
    KeyedArchiver archiver;
    archiver.encodeObject(root, QStringLiteral("root"));
    QByteArray data = archiver.encodedData();
    if (archiver.tooDeep_) archiver.depthError().report(error);
    return data;
}

Error KeyedArchiver::depthError() {
    return Error(
        QStringLiteral("NSCocoaErrorDomain"), 4866,
        QStringLiteral("The object graph nests more than %1 levels deep and cannot be archived.")
            .arg(kMaximumDepth));
}

// ---- keyed values --------------------------------------------------------------

void KeyedArchiver::put(const QString& key, BinaryPlistNode node) {
    if (finished_) return;
    frames_.back().entries.emplace_back(escapedKey(key), std::move(node));
}

void KeyedArchiver::encodeObject(const ArchiveValue& object, const QString& key) {
    if (finished_) return;
    put(key, BinaryPlistNode::makeUid(referenceFor(object)));
}

void KeyedArchiver::encodeBool(bool value, const QString& key) {
    put(key, BinaryPlistNode::makeBoolean(value));
}

void KeyedArchiver::encodeInt64(qint64 value, const QString& key) {
    put(key, BinaryPlistNode::makeInteger(value));
}

void KeyedArchiver::encodeFloat(float value, const QString& key) {
    put(key, BinaryPlistNode::makeFloat32(value));
}

void KeyedArchiver::encodeDouble(double value, const QString& key) {
    put(key, BinaryPlistNode::makeFloat64(value));
}

void KeyedArchiver::encodeBytes(const QByteArray& bytes, const QString& key) {
    put(key, BinaryPlistNode::makeData(bytes));
}

void KeyedArchiver::encodeRect(const QRectF& rect, const QString& key) {
    put(key, BinaryPlistNode::makeString(GeometryStrings::stringFromRect(rect)));
}

void KeyedArchiver::encodeArrayOfObjects(const QList<ArchiveValue>& objects, const QString& key) {
    if (finished_) return;
    BinaryPlistNode references = BinaryPlistNode::makeArray();
    references.items().reserve(static_cast<size_t>(objects.size()));
    for (const auto& object : objects)
        references.items().push_back(BinaryPlistNode::makeUid(referenceFor(object)));
    put(key, std::move(references));
}

void KeyedArchiver::encodePropertyList(const ArchiveValue& value, const QString& key) {
    bool ok = false;
    BinaryPlistNode node = plainNode(value, &ok, frames_.size(), &tooDeep_);
    if (ok) put(key, std::move(node));
}

void KeyedArchiver::expectObjects(qsizetype count) {
    if (finished_ || count <= 0) return;
    const size_t more = static_cast<size_t>(count);
    objects_.reserve(objects_.size() + more);
    retained_.reserve(retained_.size() + more);
    identitySlots_.reserve(identitySlots_.size() + count);
    stringSlots_.reserve(stringSlots_.size() + count);
}

// ---- objects ---------------------------------------------------------------------

quint64 KeyedArchiver::referenceFor(const ArchiveValue& object) {
    if (object.isNull()) return 0;
    if (const void* identity = object.identity()) {
        auto it = identitySlots_.constFind(identity);
        return it != identitySlots_.constEnd() ? *it : encodeInstance(object);
    }
    if (object.type() == ArchiveValue::Type::String) return referenceForString(object.toString());
    const QByteArray key = valueKey(object);
    auto it = valueSlots_.constFind(key);
    if (it != valueSlots_.constEnd()) return *it;
    if (!isInline(object.type())) return encodeInstance(object);
    bool ok = false;
    return appendInline(key, plainNode(object, &ok, frames_.size(), &tooDeep_));
}

quint64 KeyedArchiver::referenceForString(const QString& string) {
    auto it = stringSlots_.constFind(string);
    if (it != stringSlots_.constEnd()) return *it;
    const quint64 slot = objects_.size();
    objects_.push_back(BinaryPlistNode::makeString(string));
    stringSlots_.insert(string, slot);
    return slot;
}

quint64 KeyedArchiver::appendInline(const QByteArray& uniqueKey, BinaryPlistNode node) {
    const quint64 slot = objects_.size();
    objects_.push_back(std::move(node));
    valueSlots_.insert(uniqueKey, slot);
    return slot;
}

quint64 KeyedArchiver::encodeInstance(const ArchiveValue& object) {
    if (frames_.size() > kMaximumDepth) {  // stored as nil; the archive is refused
        tooDeep_ = true;
        return 0;
    }
    // The slot is taken (and the object known) before its contents are
    // encoded, so children follow it and a reference back to it is a UID.
    const quint64 slot = objects_.size();
    objects_.push_back(BinaryPlistNode::makeDictionary());
    if (const void* identity = object.identity()) {
        identitySlots_.insert(identity, slot);
        retained_.push_back(object.identityOwner());
    } else {
        valueSlots_.insert(valueKey(object), slot);
    }

    frames_.push_back(Frame{slot, {}});
    if (auto custom = object.toObject())
        custom->encodeWithCoder(*this);
    else
        encodeFoundationBody(object);
    Frame frame = std::move(frames_.back());
    frames_.pop_back();

    QString name;
    QStringList chain;
    classOf(object, &name, &chain);
    const quint64 classReference = classSlot(name, chain);

    BinaryPlistNode instance = BinaryPlistNode::makeDictionary();
    // Sized once: an archive of many small objects (checklist items) would
    // otherwise keep a grown, partly empty vector for each of them.
    instance.entries().reserve(frame.entries.size() + 1);
    instance.insert(kClassKey, BinaryPlistNode::makeUid(classReference));
    for (auto& entry : frame.entries) instance.insert(entry.first, std::move(entry.second));
    objects_[slot] = std::move(instance);
    return slot;
}

void KeyedArchiver::encodeFoundationBody(const ArchiveValue& object) {
    using Type = ArchiveValue::Type;
    switch (object.type()) {
        case Type::Array:
            encodeArrayOfObjects(object.arrayItems(), QStringLiteral("NS.objects"));
            break;
        case Type::Dictionary: {
            // All keys first, then all values, as the platform encodes them.
            QList<ArchiveValue> keys;
            QList<ArchiveValue> values;
            for (const auto& [key, value] : object.dictionaryEntries()) {
                keys << key;
                values << value;
            }
            encodeArrayOfObjects(keys, QStringLiteral("NS.keys"));
            encodeArrayOfObjects(values, QStringLiteral("NS.objects"));
            break;
        }
        case Type::Date:
            encodeDouble((object.toDate().toMSecsSinceEpoch() - kReferenceDateMsecs) / 1000.0,
                         QStringLiteral("NS.time"));
            break;
        case Type::MutableString:
            put(QStringLiteral("NS.string"), BinaryPlistNode::makeString(object.toString()));
            break;
        case Type::Color:
            ColorCoding::encodeColor(*this, object.toColor());
            break;
        default:
            break;
    }
}

void KeyedArchiver::classOf(const ArchiveValue& object, QString* name, QStringList* chain) {
    using Type = ArchiveValue::Type;
    const QString root = QStringLiteral("NSObject");
    const bool isMutable = object.isMutable();
    switch (object.type()) {
        case Type::Array:
            *chain = isMutable ? QStringList{"NSMutableArray", "NSArray", root}
                               : QStringList{"NSArray", root};
            break;
        case Type::Dictionary:
            *chain = isMutable ? QStringList{"NSMutableDictionary", "NSDictionary", root}
                               : QStringList{"NSDictionary", root};
            break;
        case Type::Date:
            *chain = {"NSDate", root};
            break;
        case Type::MutableString:
            *chain = {"NSMutableString", "NSString", root};
            break;
        case Type::Color:
            *chain = {"NSColor", root};
            break;
        case Type::Object: {
            auto custom = object.toObject();
            *name = custom->className();
            *chain = custom->classChain();
            if (chain->isEmpty() || chain->first() != *name) chain->prepend(*name);
            return;
        }
        default:
            *chain = {root};
            break;
    }
    *name = chain->first();
}

quint64 KeyedArchiver::classSlot(const QString& className, const QStringList& chain) {
    auto it = classSlots_.constFind(className);
    if (it != classSlots_.constEnd()) return *it;
    BinaryPlistNode classes = BinaryPlistNode::makeArray();
    for (const QString& name : chain) classes.items().push_back(BinaryPlistNode::makeString(name));
    BinaryPlistNode description = BinaryPlistNode::makeDictionary();
    description.insert(QStringLiteral("$classes"), std::move(classes));
    description.insert(QStringLiteral("$classname"), BinaryPlistNode::makeString(className));
    const quint64 slot = objects_.size();
    objects_.push_back(std::move(description));
    classSlots_.insert(className, slot);
    return slot;
}

// ---- the archive -----------------------------------------------------------------

QByteArray KeyedArchiver::encodedData() {
    if (finished_) return data_;
    finished_ = true;
    if (tooDeep_) {
        objects_ = {};
        releaseEncodingState();
        return data_;
    }

    BinaryPlistNode top = BinaryPlistNode::makeDictionary();
    for (auto& entry : frames_.front().entries) top.insert(entry.first, std::move(entry.second));

    BinaryPlistNode envelope = BinaryPlistNode::makeDictionary();
    envelope.insert(QStringLiteral("$archiver"), BinaryPlistNode::makeString("NSKeyedArchiver"));
    envelope.insert(QStringLiteral("$version"), BinaryPlistNode::makeInteger(100000));
    envelope.insert(QStringLiteral("$top"), std::move(top));
    envelope.insert(QStringLiteral("$objects"), BinaryPlistNode::makeArray(std::move(objects_)));
    // Nothing more is encoded: the uniquing tables and the objects kept for
    // their identity go before the writer builds its own tables.
    releaseEncodingState();
    data_ = BinaryPlistWriter::write(std::move(envelope));
    return data_;
}

void KeyedArchiver::releaseEncodingState() {
    frames_ = {};
    identitySlots_ = {};
    valueSlots_ = {};
    stringSlots_ = {};
    classSlots_ = {};
    retained_ = {};
}
