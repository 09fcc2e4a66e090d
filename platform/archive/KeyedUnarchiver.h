// KeyedUnarchiver: reads keyed archives (the format KeyedArchiver writes and
// the platform's own archiver writes) back into ArchiveValues.
//
// Instances are rebuilt by class name: first a factory set on this unarchiver,
// then one registered for the whole process, then the Foundation classes
// (NSArray, NSSet and NSOrderedSet as arrays, NSDictionary, NSString and
// NSMutableString, NSData and NSMutableData, NSDate, NSNull as nil, NSColor as
// a QColor), and any other class as an ArchivedInstance that keeps its fields.
// A factory runs with this unarchiver positioned on the object's fields, like
// the platform's initWithCoder, and reads them with the decode… calls.
//
// Each object is decoded once: references to the same slot give the same
// ArchiveValue (shared instances stay shared). A reference back to an object
// still being decoded (a cycle) reads as nil. Malformed input never crashes:
// a bad reference or a nesting deeper than 512 objects reads as nil and
// records an error (domain "KeyedArchiveErrorDomain", code 2) in error().
//
// One unarchiver is used on one thread; the process-wide registry is
// thread-safe.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QRectF>
#include <QSet>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/archive/ArchiveValue.h"
#include "platform/foundation/Error.h"
#include "platform/plist/PlistValue.h"

class KeyedUnarchiver {
  public:
    // Builds an object from the fields the unarchiver is positioned on;
    // nullptr decodes as nil.
    using Factory = std::function<std::shared_ptr<ArchivableObject>(KeyedUnarchiver&)>;

    static const QString errorDomain;  // "KeyedArchiveErrorDomain"
    enum ErrorCode { NotAnArchive = 1, CorruptArchive = 2 };

    // An unarchiver over `data`, or nullptr with error NotAnArchive when the
    // data is not a binary or XML plist with "$top" and "$objects".
    static std::unique_ptr<KeyedUnarchiver> unarchiverForReadingFromData(const QByteArray& data,
                                                                         Error* error = nullptr);
    // The object under the top-level key "root" (nil when there is none), or
    // nullopt with the error when the data is not an archive or is corrupt.
    static std::optional<ArchiveValue> unarchivedRootObject(const QByteArray& data,
                                                            Error* error = nullptr);

    // Factories by class name: for this unarchiver, or for every unarchiver
    // of the process made after the call.
    void setClassFactory(const QString& className, Factory factory);
    static void registerClassFactory(const QString& className, Factory factory);

    bool containsValueForKey(const QString& key) const;
    // The object referenced under key; nil when the key is missing. A plain
    // value stored inline under the key is returned as it is.
    ArchiveValue decodeObject(const QString& key);
    // Inline scalars; a missing key gives false, 0 or empty; numbers convert.
    bool decodeBool(const QString& key) const;
    int decodeInt(const QString& key) const;  // clamped to the range of int
    qint32 decodeInt32(const QString& key) const { return decodeInt(key); }
    qint64 decodeInt64(const QString& key) const;
    qint64 decodeInteger(const QString& key) const { return decodeInt64(key); }
    float decodeFloat(const QString& key) const;
    double decodeDouble(const QString& key) const;
    QByteArray decodeBytes(const QString& key) const;
    // A rectangle stored as "{{x, y}, {w, h}}" (inline or as a string object);
    // the zero rectangle when missing.
    QRectF decodeRect(const QString& key);
    // An array of references (as "NS.objects"): the objects in order.
    QList<ArchiveValue> decodeArrayOfObjects(const QString& key);
    // A plain property-list value stored inline (nil when missing).
    ArchiveValue decodePropertyList(const QString& key) const;

    // The first decoding failure, or a null Error.
    const Error& error() const { return error_; }

  private:
    KeyedUnarchiver(PlistDictionary top, PlistArray objects);

    PlistValue rawValue(const QString& key) const;
    ArchiveValue objectAt(quint64 uid);
    ArchiveValue decodeInstance(quint64 uid, const PlistDictionary& fields);
    ArchiveValue decodeFoundation(const QString& className, const QStringList& chain);
    ArchiveValue decodeGeneric(const QString& className, const QStringList& chain);
    std::optional<Factory> factoryFor(const QString& className) const;
    void fail(const QString& message);

    PlistDictionary top_;
    PlistArray objects_;
    std::vector<PlistDictionary> frames_;  // frames_[0] is "$top"
    QHash<quint64, ArchiveValue> decoded_;
    QSet<quint64> inProgress_;
    QHash<QString, Factory> factories_;
    Error error_;
};
