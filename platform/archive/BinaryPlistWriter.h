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
#include <utility>
#include <vector>

// One node of the tree to write. A plain value: build it with the factory
// functions and the append helpers.
struct BinaryPlistNode {
    enum class Type {
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

    Type type = Type::Boolean;
    bool boolean = false;
    qint64 integer = 0;  // Integer, and Uid (as unsigned)
    double real = 0;     // Float32 and Float64
    QDateTime date;
    QByteArray data;
    QString string;
    std::vector<BinaryPlistNode> items;                        // Array
    std::vector<std::pair<QString, BinaryPlistNode>> entries;  // Dictionary, in order

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

    // Appends a key and value to a dictionary (keys are not checked for clashes).
    void insert(const QString& key, BinaryPlistNode value);
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
