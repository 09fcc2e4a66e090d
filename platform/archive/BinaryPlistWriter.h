// BinaryPlistWriter: writes a property-list tree as a binary plist
// ("bplist00") with the byte layout the platform's own writer uses, where
// libplist cannot: a real keeps the width it was given (a 4-byte float stays
// 4 bytes, an 8-byte double stays 8 bytes even when it is exactly
// representable as a float), keyed-archive UIDs are written with 1, 2, 4 or 8
// bytes, non-negative integers take the smallest of 1, 2, 4 or 8 bytes and
// negative ones always 8, strings are ASCII when they can be and UTF-16BE
// otherwise, and equal scalars are stored once in the object table.
//
// Objects are numbered depth-first from the top object, dictionary keys before
// dictionary values, as other writers do, so simple trees come out byte for
// byte as they do elsewhere.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

// One node of the tree to write. A plain value: build it with the factory
// functions and the append helpers.
//
// An archive of many small objects (a checklist of 100,000 items) holds
// hundreds of thousands of nodes at once, so a node is small: its type, one
// 8-byte scalar, and a pointer to what does not fit (a string, data, or a
// container's children), which scalars never allocate.
class BinaryPlistNode {
  public:
    enum class Type : quint8 {
        Boolean,
        Integer,
        Float32,
        Float64,
        Date,
        Data,
        String,
        Uid,
        Array,
        Dictionary
    };
    using Entry = std::pair<QString, BinaryPlistNode>;

    BinaryPlistNode() = default;
    BinaryPlistNode(const BinaryPlistNode& other);
    BinaryPlistNode& operator=(const BinaryPlistNode& other);
    BinaryPlistNode(BinaryPlistNode&& other) noexcept = default;
    BinaryPlistNode& operator=(BinaryPlistNode&& other) noexcept = default;
    ~BinaryPlistNode() = default;

    static BinaryPlistNode makeBoolean(bool value);
    static BinaryPlistNode makeInteger(qint64 value);
    static BinaryPlistNode makeFloat32(float value);
    static BinaryPlistNode makeFloat64(double value);
    static BinaryPlistNode makeDate(const QDateTime& value);
    static BinaryPlistNode makeData(const QByteArray& value);
    static BinaryPlistNode makeString(const QString& value);
    static BinaryPlistNode makeUid(quint64 value);
    static BinaryPlistNode makeArray(std::vector<BinaryPlistNode> items = {});
    static BinaryPlistNode makeDictionary();

    Type type() const { return type_; }
    bool boolean() const { return scalar_.integer != 0; }
    qint64 integer() const { return scalar_.integer; }  // Integer, and Uid (as unsigned)
    double real() const { return scalar_.real; }        // Float32 and Float64
    qint64 dateMsecsSinceEpoch() const { return scalar_.integer; }
    // Empty unless the node is of that type.
    const QByteArray& data() const;
    const QString& string() const;
    // A container's children; the node must be an array, or a dictionary
    // (its entries in order).
    std::vector<BinaryPlistNode>& items();
    const std::vector<BinaryPlistNode>& items() const;
    std::vector<Entry>& entries();
    const std::vector<Entry>& entries() const;
    bool isContainer() const { return type_ == Type::Array || type_ == Type::Dictionary; }

    // Appends a key and value to a dictionary (keys are not checked for clashes).
    void insert(const QString& key, BinaryPlistNode value);

  private:
    struct Payload;
    struct PayloadDeleter {
        void operator()(Payload* payload) const;
    };

    explicit BinaryPlistNode(Type type) : type_(type) {}

    Type type_ = Type::Boolean;
    union {
        qint64 integer;  // also a boolean, a UID and a date's milliseconds
        double real;
    } scalar_{0};
    std::unique_ptr<Payload, PayloadDeleter> payload_;  // strings, data and containers only
};

class BinaryPlistWriter {
  public:
    // The complete binary plist of `top`. Never fails; memory grows with the
    // tree. Thread-safe (no shared state).
    static QByteArray write(const BinaryPlistNode& top);
    // The same, taking the tree: each container's children are freed once
    // numbered, so the tree and the writer's tables do not peak together.
    // `top` is left empty.
    static QByteArray write(BinaryPlistNode&& top);
};
