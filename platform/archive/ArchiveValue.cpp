#include "platform/archive/ArchiveValue.h"

ArchiveValue::ArchiveValue(bool value) : type_(Type::Boolean), integer_(value ? 1 : 0) {}
ArchiveValue::ArchiveValue(long long value) : type_(Type::Integer), integer_(value) {}
ArchiveValue::ArchiveValue(float value) : type_(Type::Float), real_(value) {}
ArchiveValue::ArchiveValue(double value) : type_(Type::Double), real_(value) {}
ArchiveValue::ArchiveValue(const QString& value) : type_(Type::String), string_(value) {}
ArchiveValue::ArchiveValue(const QByteArray& value) : type_(Type::Data), data_(value) {}
ArchiveValue::ArchiveValue(const QDateTime& value) : type_(Type::Date), date_(value) {}
ArchiveValue::ArchiveValue(const QColor& value) : type_(Type::Color), color_(value) {}

ArchiveValue::ArchiveValue(std::shared_ptr<ArchivableObject> object) {
    if (!object) return;
    type_ = Type::Object;
    object_ = std::move(object);
}

ArchiveValue ArchiveValue::mutableString(const QString& value) {
    ArchiveValue result(value);
    result.type_ = Type::MutableString;
    result.mutable_ = true;
    return result;
}

ArchiveValue ArchiveValue::array(QList<ArchiveValue> items, bool isMutable) {
    ArchiveValue result;
    result.type_ = Type::Array;
    result.mutable_ = isMutable;
    result.array_ = std::make_shared<const QList<ArchiveValue>>(std::move(items));
    return result;
}

ArchiveValue ArchiveValue::dictionary(Entries entries, bool isMutable) {
    ArchiveValue result;
    result.type_ = Type::Dictionary;
    result.mutable_ = isMutable;
    result.dictionary_ = std::make_shared<const Entries>(std::move(entries));
    return result;
}

bool ArchiveValue::isNumber() const {
    return type_ == Type::Boolean || type_ == Type::Integer || type_ == Type::Float ||
           type_ == Type::Double;
}

bool ArchiveValue::toBool() const {
    if (type_ == Type::Float || type_ == Type::Double) return real_ != 0;
    return isNumber() && integer_ != 0;
}

qint64 ArchiveValue::toInteger() const {
    if (type_ == Type::Float || type_ == Type::Double) return static_cast<qint64>(real_);
    return isNumber() ? integer_ : 0;
}

double ArchiveValue::toDouble() const {
    if (type_ == Type::Float || type_ == Type::Double) return real_;
    return isNumber() ? static_cast<double>(integer_) : 0.0;
}

QString ArchiveValue::toString() const {
    return type_ == Type::String || type_ == Type::MutableString ? string_ : QString();
}

QByteArray ArchiveValue::toData() const { return type_ == Type::Data ? data_ : QByteArray(); }
QDateTime ArchiveValue::toDate() const { return type_ == Type::Date ? date_ : QDateTime(); }
QColor ArchiveValue::toColor() const { return type_ == Type::Color ? color_ : QColor(); }
std::shared_ptr<ArchivableObject> ArchiveValue::toObject() const { return object_; }

const QList<ArchiveValue>& ArchiveValue::arrayItems() const {
    static const QList<ArchiveValue> empty;
    return array_ ? *array_ : empty;
}

const ArchiveValue::Entries& ArchiveValue::dictionaryEntries() const {
    static const Entries empty;
    return dictionary_ ? *dictionary_ : empty;
}

ArchiveValue ArchiveValue::value(const QString& key) const {
    for (const auto& entry : dictionaryEntries()) {
        const Type keyType = entry.first.type();
        if ((keyType == Type::String || keyType == Type::MutableString) &&
            entry.first.string_ == key)
            return entry.second;
    }
    return {};
}

const void* ArchiveValue::identity() const {
    switch (type_) {
        case Type::Array:
            return array_.get();
        case Type::Dictionary:
            return dictionary_.get();
        case Type::Object:
            return object_.get();
        default:
            return nullptr;
    }
}

bool ArchiveValue::operator==(const ArchiveValue& other) const {
    if (type_ != other.type_ || mutable_ != other.mutable_) return false;
    switch (type_) {
        case Type::Null:
            return true;
        case Type::Boolean:
        case Type::Integer:
            return integer_ == other.integer_;
        case Type::Float:
        case Type::Double:
            return real_ == other.real_;
        case Type::String:
        case Type::MutableString:
            return string_ == other.string_;
        case Type::Data:
            return data_ == other.data_;
        case Type::Date:
            return date_ == other.date_;
        case Type::Color:
            return color_ == other.color_;
        case Type::Array:
            return arrayItems() == other.arrayItems();
        case Type::Dictionary:
            return dictionaryEntries() == other.dictionaryEntries();
        case Type::Object:
            return object_ == other.object_;
    }
    return false;
}
