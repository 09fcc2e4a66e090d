// ArchiveValue: one object of a keyed archive as the archiver writes it and
// the unarchiver hands it back: nil, a string, a number (boolean, integer,
// 32-bit or 64-bit real), data, a date, an array, a dictionary, a mutable
// string, a colour, or an instance of an archivable class.
//
// Arrays, dictionaries and instances have identity: copies of one ArchiveValue
// share the same container or object, and the archiver stores a shared one
// once. Containers are immutable once made; the "mutable" flag only chooses
// the class name written (NSMutableArray rather than NSArray).
#pragma once

#include <QByteArray>
#include <QColor>
#include <QDateTime>
#include <QList>
#include <QString>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

#include "platform/archive/ArchivableObject.h"

class ArchiveValue {
  public:
    enum class Type {
        Null,
        Boolean,
        Integer,
        Float,   // a number holding a 32-bit float
        Double,  // a number holding a 64-bit double
        String,
        MutableString,
        Data,
        Date,
        Array,
        Dictionary,
        Color,
        Object
    };
    using Entries = std::vector<std::pair<ArchiveValue, ArchiveValue>>;

    ArchiveValue() = default;  // nil
    ArchiveValue(bool value);
    ArchiveValue(int value) : ArchiveValue(static_cast<qint64>(value)) {}
    ArchiveValue(long value) : ArchiveValue(static_cast<qint64>(value)) {}
    ArchiveValue(long long value);
    ArchiveValue(float value);
    ArchiveValue(double value);
    ArchiveValue(const QString& value);
    ArchiveValue(const char* value) : ArchiveValue(QString::fromUtf8(value)) {}
    ArchiveValue(const QByteArray& value);
    ArchiveValue(const QDateTime& value);
    ArchiveValue(const QColor& value);
    ArchiveValue(std::shared_ptr<ArchivableObject> object);
    template <typename T>
    ArchiveValue(std::shared_ptr<T> object)
        : ArchiveValue(std::static_pointer_cast<ArchivableObject>(std::move(object))) {}

    static ArchiveValue mutableString(const QString& value);
    static ArchiveValue array(QList<ArchiveValue> items, bool isMutable = false);
    static ArchiveValue dictionary(Entries entries, bool isMutable = false);

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }
    bool isNumber() const;
    // Mutable arrays, dictionaries and strings.
    bool isMutable() const { return mutable_; }

    // Typed reads; a value of another type gives false, 0 or empty. Numbers
    // convert between boolean, integer and the reals.
    bool toBool() const;
    qint64 toInteger() const;
    double toDouble() const;
    QString toString() const;  // String or MutableString
    QByteArray toData() const;
    QDateTime toDate() const;
    QColor toColor() const;  // an invalid colour unless Color
    std::shared_ptr<ArchivableObject> toObject() const;
    template <typename T>
    std::shared_ptr<T> toObject() const {
        return std::dynamic_pointer_cast<T>(toObject());
    }

    // The items of an array (empty for other types).
    const QList<ArchiveValue>& arrayItems() const;
    // The entries of a dictionary in order (empty for other types).
    const Entries& dictionaryEntries() const;
    // The value of the first entry whose key is the string `key`, or nil.
    // Linear in the number of entries.
    ArchiveValue value(const QString& key) const;

    // The shared container or object behind an array, dictionary or instance;
    // nullptr for the other types. Equal pointers mean the same object.
    const void* identity() const;

    // Same type and value; containers compare item by item, instances by
    // identity.
    bool operator==(const ArchiveValue& other) const;
    bool operator!=(const ArchiveValue& other) const { return !(*this == other); }

    // What keeps that identity alive: while it is held, no other container
    // or object can take the same address. Null for the other types.
    std::shared_ptr<const void> identityOwner() const;

  private:
    using Array = std::shared_ptr<const QList<ArchiveValue>>;
    using Dictionary = std::shared_ptr<const Entries>;
    using Object = std::shared_ptr<ArchivableObject>;

    // One alternative per kind of content: an archive of many small objects
    // holds hundreds of thousands of values at once. Boolean and Integer keep
    // an integer, Float and Double a double, String and MutableString a string.
    Type type_ = Type::Null;
    bool mutable_ = false;
    std::variant<std::monostate, qint64, double, QString, QByteArray, QDateTime, QColor, Array,
                 Dictionary, Object>
        value_;
};
