// KeyedArchiver: writes an object graph in the platform's keyed-archive format
// (a binary plist holding "$archiver" = "NSKeyedArchiver", "$version" =
// 100000, "$top" and "$objects", whose first entry is "$null"), so that the
// platform's own unarchiver and KeyedUnarchiver read it back.
//
// Objects go into "$objects" in the order the platform uses: an object's slot
// is taken when it is first encoded, the objects it encodes follow depth-first
// in call order, and the class description ({"$classname", "$classes"}), one
// per class, is appended when the first instance of that class is finished.
// Strings, numbers and data are stored inline in "$objects" and uniqued by
// value; arrays, dictionaries and archivable objects are uniqued by identity,
// so an object encoded twice takes one slot and cycles are safe.
//
// Foundation classes written: NSArray/NSMutableArray ("NS.objects"),
// NSDictionary/NSMutableDictionary ("NS.keys", "NS.objects"), NSDate
// ("NS.time", seconds since 2001 as a 64-bit real), NSMutableString
// ("NS.string"), NSColor (device RGB, "NSRGB" components).
//
// Keys beginning with "$" are escaped with another "$", as the platform does.
// One archiver writes one archive on one thread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QRectF>
#include <QString>
#include <vector>

#include "platform/archive/ArchiveValue.h"
#include "platform/archive/BinaryPlistWriter.h"
#include "platform/foundation/Error.h"

class KeyedArchiver {
  public:
    KeyedArchiver();

    // Objects and property lists nested deeper than this are not archived
    // (the unarchiver reads no deeper, and the encoding recurses).
    static constexpr size_t kMaximumDepth = 512;

    // The archive of `root` stored under the top-level key "root". Empty, with
    // NSCocoaErrorDomain 4866, when the graph nests deeper than kMaximumDepth.
    static QByteArray archivedDataWithRootObject(const ArchiveValue& root, Error* error = nullptr);

    // Stores a reference to `object` (a UID; UID 0 for nil), archiving the
    // object the first time it is seen. Inside encodeWithCoder the key goes into
    // the object being encoded; outside, into "$top".
    void encodeObject(const ArchiveValue& object, const QString& key);
    // Inline scalars: boolean; integer; 32-bit real; 64-bit real; data.
    void encodeBool(bool value, const QString& key);
    void encodeInt(int value, const QString& key) { encodeInt64(value, key); }
    void encodeInt32(qint32 value, const QString& key) { encodeInt64(value, key); }
    void encodeInt64(qint64 value, const QString& key);
    void encodeInteger(qint64 value, const QString& key) { encodeInt64(value, key); }
    void encodeFloat(float value, const QString& key);
    void encodeDouble(double value, const QString& key);
    void encodeBytes(const QByteArray& bytes, const QString& key);
    // The rectangle as an inline string "{{x, y}, {w, h}}".
    void encodeRect(const QRectF& rect, const QString& key);
    // An inline array of references, one per object (as "NS.objects" is).
    void encodeArrayOfObjects(const QList<ArchiveValue>& objects, const QString& key);
    // A plain property-list value stored inline rather than as an object:
    // numbers, strings, data, dates, and arrays and dictionaries (string keys)
    // of those. Other types are written as their nearest plain form (nil and
    // instances are left out).
    void encodePropertyList(const ArchiveValue& value, const QString& key);

    // Makes room for `count` more objects and as many uniqued values, for a
    // caller about to encode many (a checklist): the tables are sized once
    // rather than doubled, which would leave the heap holding every smaller
    // copy.
    void expectObjects(qsizetype count);

    // Ends the archive and returns it. Later calls return the same data; encode
    // calls after it are ignored. Empty when something nested deeper than
    // kMaximumDepth; failed() then says so.
    QByteArray encodedData();
    bool failed() const { return tooDeep_; }
    static Error depthError();

  private:
    struct Frame {
        quint64 slot = 0;
        std::vector<std::pair<QString, BinaryPlistNode>> entries;
    };

    void put(const QString& key, BinaryPlistNode node);
    quint64 referenceFor(const ArchiveValue& object);
    quint64 referenceForString(const QString& string);
    quint64 appendInline(const QByteArray& uniqueKey, BinaryPlistNode node);
    quint64 encodeInstance(const ArchiveValue& object);
    void encodeFoundationBody(const ArchiveValue& object);
    quint64 classSlot(const QString& className, const QStringList& chain);
    void releaseEncodingState();
    static void classOf(const ArchiveValue& object, QString* name, QStringList* chain);

    std::vector<BinaryPlistNode> objects_;
    std::vector<Frame> frames_;  // frames_[0] collects "$top"
    QHash<const void*, quint64> identitySlots_;
    // Strings are uniqued by themselves: a key made for each (a range string
    // for every checklist item) would double what they take.
    QHash<QString, quint64> stringSlots_;
    QHash<QByteArray, quint64> valueSlots_;  // other values, by valueKey()
    QHash<QString, quint64> classSlots_;
    std::vector<std::shared_ptr<const void>>
        retained_;  // keeps identities alive (no address reuse)
    bool finished_ = false;
    bool tooDeep_ = false;
    QByteArray data_;
};
