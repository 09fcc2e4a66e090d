// Property-list values: dictionary, array, string, integer, real, boolean,
// date, data and keyed-archive UID. Read and written as XML or binary plists
// through libplist.
//
// Dictionaries and arrays have reference identity, like the platform's mutable
// collections: copying a PlistDictionary or PlistArray (or a PlistValue that
// holds one) shares the same container, so a group dictionary stored inside a
// description and changed later shows the change. deepCopy() makes an
// independent tree. Dictionaries keep their keys in insertion order.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "platform/foundation/Error.h"

class PlistValue;
class PlistArray;

// An insertion-ordered mutable dictionary with string keys (reference type).
class PlistDictionary {
  public:
    PlistDictionary();  // a new, empty dictionary

    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }
    bool contains(const QString& key) const;
    // The value for key, or a null PlistValue.
    PlistValue value(const QString& key) const;
    // Sets key to value; a new key goes to the end, an existing one keeps its place.
    void set(const QString& key, const PlistValue& value);
    void remove(const QString& key);
    QStringList keys() const;
    // The entries, valid while the dictionary lives. Not callable on a
    // temporary (`value.toDictionary().entries()`), whose storage may die
    // before the reference is used: keep the dictionary in a variable.
    const std::vector<std::pair<QString, PlistValue>>& entries() const&;
    const std::vector<std::pair<QString, PlistValue>>& entries() const&& = delete;

    // A new dictionary holding the same values (containers inside are shared).
    PlistDictionary mutableCopy() const;
    // A new dictionary whose containers are copied too, all the way down.
    PlistDictionary deepCopy() const;

    // Same container (identity), not equal contents.
    bool isSameObject(const PlistDictionary& other) const { return d_ == other.d_; }

  private:
    friend class PlistValue;
    struct Data;
    std::shared_ptr<Data> d_;
};

// A mutable array (reference type).
class PlistArray {
  public:
    PlistArray();  // a new, empty array
    PlistArray(std::initializer_list<PlistValue> values);

    qsizetype size() const;
    bool isEmpty() const { return size() == 0; }
    const PlistValue& at(qsizetype i) const;
    void append(const PlistValue& value);
    void removeAt(qsizetype i);
    void clear();
    // The values, valid while the array lives. Not callable on a temporary
    // (`for (v : value.toArray().values())` would loop over freed storage when
    // the value is not an array): keep the array in a variable.
    const std::vector<PlistValue>& values() const&;
    const std::vector<PlistValue>& values() const&& = delete;

    PlistArray mutableCopy() const;
    PlistArray deepCopy() const;
    bool isSameObject(const PlistArray& other) const { return d_ == other.d_; }

  private:
    friend class PlistValue;
    std::shared_ptr<std::vector<PlistValue>> d_;
};

class PlistValue {
  public:
    enum class Type { Null, Boolean, Integer, Real, String, Date, Data, Uid, Array, Dictionary };
    enum class Format { Xml, Binary };

    PlistValue() = default;
    PlistValue(bool v);
    PlistValue(int v) : PlistValue(static_cast<qint64>(v)) {}
    PlistValue(long v) : PlistValue(static_cast<qint64>(v)) {}
    PlistValue(long long v);
    PlistValue(unsigned v) : PlistValue(static_cast<qint64>(v)) {}
    PlistValue(unsigned long v) : PlistValue(static_cast<qint64>(v)) {}
    PlistValue(double v);
    PlistValue(const QString& v);
    PlistValue(const char* v) : PlistValue(QString::fromUtf8(v)) {}
    PlistValue(const QDateTime& v);
    PlistValue(const QByteArray& v);
    PlistValue(const PlistArray& v);
    PlistValue(const PlistDictionary& v);
    static PlistValue uid(quint64 v);

    Type type() const { return type_; }
    bool isNull() const { return type_ == Type::Null; }

    // Typed reads; a value of another type gives off/0/empty (numbers convert
    // between integer, real and boolean; strings read as numbers like NSString).
    bool toBool() const;
    qint64 toInteger() const;
    double toReal() const;
    QString toString() const;
    QDateTime toDate() const;
    QByteArray toData() const;
    quint64 toUid() const;
    // The array or dictionary itself (shared); a new empty one for other types.
    PlistArray toArray() const;
    PlistDictionary toDictionary() const;

    // Structural equality (reals compare exactly, containers element by element).
    bool operator==(const PlistValue& other) const;
    bool operator!=(const PlistValue& other) const { return !(*this == other); }
    PlistValue deepCopy() const;

    // Serialisation. XML is the Apple plist DTD form; binary is "bplist00".
    QByteArray serialize(Format format) const;
    // Writes the whole file, replacing it. On failure: PlistErrorDomain 3840,
    // with the system's reason (POSIX errno) as the underlying error.
    bool writeToFile(const QString& path, Format format, Error* error = nullptr) const;
    // Reads XML or binary, whichever the data is. Error domain "PlistErrorDomain".
    static std::optional<PlistValue> fromData(const QByteArray& data, Error* error = nullptr);
    static std::optional<PlistValue> readFromFile(const QString& path, Error* error = nullptr);

  private:
    // One alternative per kind of value (a UID is kept as its integer, a
    // container as its shared data): a value is as small as its largest kind,
    // which matters in descriptions that hold thousands of item dictionaries.
    using Storage = std::variant<std::monostate, bool, qint64, double, QString, QByteArray,
                                 QDateTime, std::shared_ptr<void>>;
    Type type_ = Type::Null;
    Storage v_;
};
