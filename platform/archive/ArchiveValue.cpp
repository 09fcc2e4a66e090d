#include "platform/archive/ArchiveValue.h"

ArchiveValue::ArchiveValue(bool value) : type_(Type::Boolean), value_(qint64(value ? 1 : 0)) {}
ArchiveValue::ArchiveValue(long long value) : type_(Type::Integer), value_(qint64(value)) {}
ArchiveValue::ArchiveValue(float value) : type_(Type::Float), value_(double(value)) {}
ArchiveValue::ArchiveValue(double value) : type_(Type::Double), value_(value) {}
ArchiveValue::ArchiveValue(const QString& value) : type_(Type::String), value_(value) {}
ArchiveValue::ArchiveValue(const QByteArray& value) : type_(Type::Data), value_(value) {}
ArchiveValue::ArchiveValue(const QDateTime& value) : type_(Type::Date), value_(value) {}
ArchiveValue::ArchiveValue(const QColor& value) : type_(Type::Color), value_(value) {}

ArchiveValue::ArchiveValue(std::shared_ptr<ArchivableObject> object) {
    if (!object) return;
    type_ = Type::Object;
    value_ = std::move(object);
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
    result.value_ = std::make_shared<const QList<ArchiveValue>>(std::move(items));
    return result;
}

ArchiveValue ArchiveValue::dictionary(Entries entries, bool isMutable) {
    ArchiveValue result;
    result.type_ = Type::Dictionary;
    result.mutable_ = isMutable;
    result.value_ = std::make_shared<const Entries>(std::move(entries));
    return result;
}

namespace {

// The alternative of type T, or its empty value when the variant holds another.
template <typename T, typename Variant>
T alternative(const Variant& value) {
    const T* held = std::get_if<T>(&value);
    return held ? *held : T();
}

}  // namespace

bool ArchiveValue::isNumber() const {
    return type_ == Type::Boolean || type_ == Type::Integer || type_ == Type::Float ||
           type_ == Type::Double;
}

bool ArchiveValue::toBool() const {
    if (type_ == Type::Float || type_ == Type::Double) return std::get<double>(value_) != 0;
    return isNumber() && std::get<qint64>(value_) != 0;
}

qint64 ArchiveValue::toInteger() const {
    if (type_ == Type::Float || type_ == Type::Double)
        return static_cast<qint64>(std::get<double>(value_));
    return isNumber() ? std::get<qint64>(value_) : 0;
}

double ArchiveValue::toDouble() const {
    if (type_ == Type::Float || type_ == Type::Double) return std::get<double>(value_);
    return isNumber() ? static_cast<double>(std::get<qint64>(value_)) : 0.0;
}

QString ArchiveValue::toString() const { return alternative<QString>(value_); }
QByteArray ArchiveValue::toData() const { return alternative<QByteArray>(value_); }
QDateTime ArchiveValue::toDate() const { return alternative<QDateTime>(value_); }
QColor ArchiveValue::toColor() const { return alternative<QColor>(value_); }
std::shared_ptr<ArchivableObject> ArchiveValue::toObject() const {
    return alternative<Object>(value_);
}

const QList<ArchiveValue>& ArchiveValue::arrayItems() const {
    static const QList<ArchiveValue> empty;
    const Array* held = std::get_if<Array>(&value_);
    return held ? **held : empty;
}

const ArchiveValue::Entries& ArchiveValue::dictionaryEntries() const {
    static const Entries empty;
    const Dictionary* held = std::get_if<Dictionary>(&value_);
    return held ? **held : empty;
}

ArchiveValue ArchiveValue::value(const QString& key) const {
    for (const auto& entry : dictionaryEntries()) {
        const QString* entryKey = std::get_if<QString>(&entry.first.value_);
        if (entryKey && *entryKey == key) return entry.second;
    }
    return {};
}

const void* ArchiveValue::identity() const {
    if (const Array* held = std::get_if<Array>(&value_)) return held->get();
    if (const Dictionary* held = std::get_if<Dictionary>(&value_)) return held->get();
    if (const Object* held = std::get_if<Object>(&value_)) return held->get();
    return nullptr;
}

std::shared_ptr<const void> ArchiveValue::identityOwner() const {
    if (const Array* held = std::get_if<Array>(&value_)) return *held;
    if (const Dictionary* held = std::get_if<Dictionary>(&value_)) return *held;
    if (const Object* held = std::get_if<Object>(&value_)) return *held;
    return nullptr;
}

bool ArchiveValue::operator==(const ArchiveValue& other) const {
    if (type_ != other.type_ || mutable_ != other.mutable_) return false;
    switch (type_) {
        case Type::Array:
            return arrayItems() == other.arrayItems();
        case Type::Dictionary:
            return dictionaryEntries() == other.dictionaryEntries();
        default:  // scalars by value, instances by identity
            return value_ == other.value_;
    }
}
