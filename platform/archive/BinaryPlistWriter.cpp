#include "platform/archive/BinaryPlistWriter.h"

#include <QHash>
#include <QtEndian>
#include <cstring>
#include <variant>

// ---- nodes -----------------------------------------------------------------

struct BinaryPlistNode::Payload {
    std::variant<QString, QByteArray, std::vector<BinaryPlistNode>, std::vector<Entry>> value;
};

BinaryPlistNode::BinaryPlistNode(const BinaryPlistNode& other)
    : type_(other.type_),
      scalar_(other.scalar_),
      payload_(other.payload_ ? new Payload(*other.payload_) : nullptr) {}

BinaryPlistNode& BinaryPlistNode::operator=(const BinaryPlistNode& other) {
    if (this != &other) *this = BinaryPlistNode(other);
    return *this;
}

void BinaryPlistNode::PayloadDeleter::operator()(Payload* payload) const { delete payload; }

BinaryPlistNode BinaryPlistNode::makeBoolean(bool value) {
    BinaryPlistNode node(Type::Boolean);
    node.scalar_.integer = value ? 1 : 0;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeInteger(qint64 value) {
    BinaryPlistNode node(Type::Integer);
    node.scalar_.integer = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeFloat32(float value) {
    BinaryPlistNode node(Type::Float32);
    node.scalar_.real = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeFloat64(double value) {
    BinaryPlistNode node(Type::Float64);
    node.scalar_.real = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeDate(const QDateTime& value) {
    BinaryPlistNode node(Type::Date);
    node.scalar_.integer = value.toMSecsSinceEpoch();
    return node;
}

BinaryPlistNode BinaryPlistNode::makeData(const QByteArray& value) {
    BinaryPlistNode node(Type::Data);
    node.payload_.reset(new Payload{value});
    return node;
}

BinaryPlistNode BinaryPlistNode::makeString(const QString& value) {
    BinaryPlistNode node(Type::String);
    node.payload_.reset(new Payload{value});
    return node;
}

BinaryPlistNode BinaryPlistNode::makeUid(quint64 value) {
    BinaryPlistNode node(Type::Uid);
    node.scalar_.integer = static_cast<qint64>(value);
    return node;
}

BinaryPlistNode BinaryPlistNode::makeArray(std::vector<BinaryPlistNode> items) {
    BinaryPlistNode node(Type::Array);
    node.payload_.reset(new Payload{std::move(items)});
    return node;
}

BinaryPlistNode BinaryPlistNode::makeDictionary() {
    BinaryPlistNode node(Type::Dictionary);
    node.payload_.reset(new Payload{std::vector<Entry>()});
    return node;
}

const QByteArray& BinaryPlistNode::data() const {
    static const QByteArray empty;
    const auto* value = payload_ ? std::get_if<QByteArray>(&payload_->value) : nullptr;
    return value ? *value : empty;
}

const QString& BinaryPlistNode::string() const {
    static const QString empty;
    const auto* value = payload_ ? std::get_if<QString>(&payload_->value) : nullptr;
    return value ? *value : empty;
}

std::vector<BinaryPlistNode>& BinaryPlistNode::items() {
    return std::get<std::vector<BinaryPlistNode>>(payload_->value);
}

const std::vector<BinaryPlistNode>& BinaryPlistNode::items() const {
    return std::get<std::vector<BinaryPlistNode>>(payload_->value);
}

std::vector<BinaryPlistNode::Entry>& BinaryPlistNode::entries() {
    return std::get<std::vector<Entry>>(payload_->value);
}

const std::vector<BinaryPlistNode::Entry>& BinaryPlistNode::entries() const {
    return std::get<std::vector<Entry>>(payload_->value);
}

void BinaryPlistNode::insert(const QString& key, BinaryPlistNode value) {
    entries().emplace_back(key, std::move(value));
}

// ---- encoding helpers --------------------------------------------------------

namespace {

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC, the plist epoch.
constexpr qint64 kPlistEpochMsecs = 978307200000LL;

template <typename T>
void appendBigEndian(QByteArray& out, T value) {
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    out.append(bytes, sizeof(T));
}

// Sized unsigned value in 1, 2, 4 or 8 bytes; returns log2 of the width.
int appendSized(QByteArray& out, quint64 value, int width) {
    switch (width) {
        case 1:
            out.append(static_cast<char>(value));
            return 0;
        case 2:
            appendBigEndian(out, static_cast<quint16>(value));
            return 1;
        case 4:
            appendBigEndian(out, static_cast<quint32>(value));
            return 2;
        default:
            appendBigEndian(out, value);
            return 3;
    }
}

int widthFor(quint64 value) {
    if (value < (1ULL << 8)) return 1;
    if (value < (1ULL << 16)) return 2;
    if (value < (1ULL << 32)) return 4;
    return 8;
}

void appendInteger(QByteArray& out, qint64 value) {
    // Negative values always take 8 bytes, as two's complement.
    const int width = value < 0 ? 8 : widthFor(static_cast<quint64>(value));
    const qsizetype markerAt = out.size();
    out.append('\0');
    const int log2 = appendSized(out, static_cast<quint64>(value), width);
    out[markerAt] = static_cast<char>(0x10 | log2);
}

// A marker with a count: the count sits in the low nibble up to 14, beyond
// that the nibble is F and an integer object follows.
void appendMarker(QByteArray& out, quint8 high, quint64 count) {
    if (count < 15) {
        out.append(static_cast<char>(high | count));
        return;
    }
    out.append(static_cast<char>(high | 0x0F));
    appendInteger(out, static_cast<qint64>(count));
}

bool isAscii(const QString& s) {
    for (QChar c : s) {
        if (c.unicode() > 0x7F) return false;
    }
    return true;
}

void appendString(QByteArray& out, const QString& s) {
    if (isAscii(s)) {
        appendMarker(out, 0x50, static_cast<quint64>(s.size()));
        out.append(s.toLatin1());
    } else {
        appendMarker(out, 0x60, static_cast<quint64>(s.size()));
        for (QChar c : s) appendBigEndian(out, c.unicode());
    }
}

void appendScalar(QByteArray& out, const BinaryPlistNode& node) {
    using Type = BinaryPlistNode::Type;
    switch (node.type()) {
        case Type::Boolean:
            out.append(node.boolean() ? '\x09' : '\x08');
            break;
        case Type::Integer:
            appendInteger(out, node.integer());
            break;
        case Type::Float32: {
            out.append('\x22');
            const float f = static_cast<float>(node.real());
            quint32 bits;
            std::memcpy(&bits, &f, sizeof bits);
            appendBigEndian(out, bits);
            break;
        }
        case Type::Float64:
        case Type::Date: {
            out.append(node.type() == Type::Date ? '\x33' : '\x23');
            const double d = node.type() == Type::Date
                                 ? (node.dateMsecsSinceEpoch() - kPlistEpochMsecs) / 1000.0
                                 : node.real();
            quint64 bits;
            std::memcpy(&bits, &d, sizeof bits);
            appendBigEndian(out, bits);
            break;
        }
        case Type::Data:
            appendMarker(out, 0x40, static_cast<quint64>(node.data().size()));
            out.append(node.data());
            break;
        case Type::String:
            appendString(out, node.string());
            break;
        case Type::Uid: {
            const quint64 value = static_cast<quint64>(node.integer());
            const qsizetype markerAt = out.size();
            out.append('\0');
            const int width = widthFor(value);
            appendSized(out, value, width);
            out[markerAt] = static_cast<char>(0x80 | (width - 1));
            break;
        }
        case Type::Array:
        case Type::Dictionary:
            break;
    }
}

// Numbers the objects of a tree depth-first and uniques equal scalars (by
// their encoded bytes, so 1, 1.0f, 1.0 and true stay distinct).
//
// A tree of many small objects (a checklist of 100,000 items) must not need
// one heap block per object: scalar encodings share one byte pool, container
// references one reference pool, and the scalar index is an open-addressed
// table of object numbers. When the tree is handed over (`release`), each
// container's children are freed once it is numbered, so the tree shrinks
// while the table grows.
class Flattener {
  public:
    enum class Kind : quint8 { Scalar, Array, Dictionary };
    // A scalar's encoding is bytes()[start, start + length); a container's
    // references are refs()[start, start + length), a dictionary's keys then
    // its values.
    struct Object {
        quint64 start = 0;
        quint64 length = 0;
        Kind kind = Kind::Scalar;
    };

    explicit Flattener(bool release) : release_(release) {}

    // Walks the tree with a stack of its own, not by recursion, so that a
    // tree of any depth fits (a thread's stack would not).
    quint64 flatten(BinaryPlistNode& top) {
        if (!top.isContainer()) return flattenScalar(top);
        reserveFor(top);
        std::vector<Open> open;
        open.push_back(openContainer(top));
        const quint64 topIndex = open.back().index;
        while (!open.empty()) {
            Open& current = open.back();
            BinaryPlistNode& node = *current.node;
            const bool isArray = node.type() == BinaryPlistNode::Type::Array;
            const size_t count = isArray ? node.items().size() : node.entries().size();
            if (current.next == count) {
                if (release_) node = BinaryPlistNode();  // its children are emptied already
                open.pop_back();
                continue;
            }
            BinaryPlistNode& child =
                isArray ? node.items()[current.next] : node.entries()[current.next].second;
            const quint64 refAt = current.refsStart + current.next;
            ++current.next;
            if (child.isContainer()) {
                Open opened = openContainer(child);
                refs_[refAt] = opened.index;
                open.push_back(opened);  // invalidates `current`
            } else {
                refs_[refAt] = flattenScalar(child);
                if (release_) child = BinaryPlistNode();
            }
        }
        return topIndex;
    }

    const std::vector<Object>& objects() const { return objects_; }
    const QByteArray& bytes() const { return bytes_; }
    const std::vector<quint64>& refs() const { return refs_; }

  private:
    // Sizes the object and reference tables for the whole tree at once. Grown
    // by doubling instead, each step would copy them into a new block while
    // the tree is being freed around them, and the heap would keep both.
    void reserveFor(const BinaryPlistNode& top) {
        quint64 objects = 0;
        quint64 references = 0;

        std::vector<const BinaryPlistNode*> pending{&top};
        while (!pending.empty()) {
            const BinaryPlistNode* node = pending.back();
            pending.pop_back();
            ++objects;
            if (node->type() == BinaryPlistNode::Type::Array) {
                references += node->items().size();
                for (const BinaryPlistNode& item : node->items()) pending.push_back(&item);
            } else if (node->type() == BinaryPlistNode::Type::Dictionary) {
                references += 2 * node->entries().size();
                objects += node->entries().size();  // the keys
                for (const auto& entry : node->entries()) pending.push_back(&entry.second);
            }
        }
        objects_.reserve(objects);  // at most: equal scalars are stored once
        refs_.reserve(references);
    }

    // A container being numbered, where its references go, and the next of
    // its children to number.
    struct Open {
        BinaryPlistNode* node;
        quint64 index;
        quint64 refsStart;
        size_t next = 0;
    };

    // Takes the container's number and room for its references; a
    // dictionary's keys are numbered at once, before any of its values.
    Open openContainer(const BinaryPlistNode& node) {
        const quint64 index = objects_.size();
        const bool isArray = node.type() == BinaryPlistNode::Type::Array;
        const quint64 count = isArray ? node.items().size() : node.entries().size();
        const quint64 refsStart = refs_.size();
        objects_.push_back(Object{refsStart, count, isArray ? Kind::Array : Kind::Dictionary});
        if (isArray) {
            refs_.resize(refsStart + count);
            return Open{const_cast<BinaryPlistNode*>(&node), index, refsStart};
        }
        refs_.resize(refsStart + 2 * count);
        for (quint64 i = 0; i < count; ++i) {
            appendString(bytes_, node.entries()[i].first);
            refs_[refsStart + i] = internPoolTail();
        }
        return Open{const_cast<BinaryPlistNode*>(&node), index, refsStart + count};
    }

    quint64 flattenScalar(const BinaryPlistNode& node) {
        appendScalar(bytes_, node);
        return internPoolTail();
    }

    // The encoding just appended to the pool (from tailStart_ on) becomes a
    // new object, or is dropped again for the equal one already numbered.
    quint64 internPoolTail() {
        const quint64 start = tailStart_;
        const quint64 length = static_cast<quint64>(bytes_.size()) - start;
        const size_t hash = hashOf(start, length);
        if ((objectsInIndex_ + 1) * 2 > index_.size()) growIndex();
        size_t at = hash & (index_.size() - 1);
        while (index_[at] != 0) {
            const Object& existing = objects_[index_[at] - 1];
            if (existing.length == length && std::memcmp(bytes_.constData() + existing.start,
                                                         bytes_.constData() + start, length) == 0) {
                bytes_.truncate(static_cast<qsizetype>(start));
                return index_[at] - 1;
            }
            at = (at + 1) & (index_.size() - 1);
        }
        const quint64 objectIndex = objects_.size();
        objects_.push_back(Object{start, length, Kind::Scalar});
        index_[at] = objectIndex + 1;
        ++objectsInIndex_;
        tailStart_ = static_cast<quint64>(bytes_.size());
        return objectIndex;
    }

    size_t hashOf(quint64 start, quint64 length) const {
        return qHash(QByteArrayView(bytes_.constData() + start, static_cast<qsizetype>(length)));
    }

    // Doubles the table (kept at most half full) and places every scalar again.
    void growIndex() {
        std::vector<quint64> grown(index_.empty() ? 64 : index_.size() * 2, 0);
        for (quint64 entry : index_) {
            if (entry == 0) continue;
            const Object& object = objects_[entry - 1];
            size_t at = hashOf(object.start, object.length) & (grown.size() - 1);
            while (grown[at] != 0) at = (at + 1) & (grown.size() - 1);
            grown[at] = entry;
        }
        index_ = std::move(grown);
    }

    bool release_;
    std::vector<Object> objects_;
    QByteArray bytes_;            // every distinct scalar's encoding, back to back
    quint64 tailStart_ = 0;       // where the encoding being interned begins
    std::vector<quint64> refs_;   // every container's references, back to back
    std::vector<quint64> index_;  // object number + 1 of each scalar, 0 = empty
    quint64 objectsInIndex_ = 0;
};

QByteArray writeFlattened(BinaryPlistNode& top, bool release) {
    Flattener flattener(release);
    const quint64 topIndex = flattener.flatten(top);
    const auto& objects = flattener.objects();
    const QByteArray& bytes = flattener.bytes();
    const std::vector<quint64>& refs = flattener.refs();
    const int refSize = widthFor(objects.size());

    QByteArray out("bplist00");
    std::vector<quint64> offsets;
    offsets.reserve(objects.size());
    for (const auto& object : objects) {
        offsets.push_back(static_cast<quint64>(out.size()));
        if (object.kind == Flattener::Kind::Scalar) {
            out.append(bytes.constData() + object.start, static_cast<qsizetype>(object.length));
            continue;
        }
        const bool isArray = object.kind == Flattener::Kind::Array;
        appendMarker(out, isArray ? 0xA0 : 0xD0, object.length);
        const quint64 refCount = isArray ? object.length : object.length * 2;
        for (quint64 i = 0; i < refCount; ++i) appendSized(out, refs[object.start + i], refSize);
    }

    const quint64 offsetTableOffset = static_cast<quint64>(out.size());
    const int offsetSize = widthFor(offsetTableOffset);
    for (quint64 offset : offsets) appendSized(out, offset, offsetSize);

    out.append(QByteArray(6, '\0'));  // five unused bytes and the sort version
    out.append(static_cast<char>(offsetSize));
    out.append(static_cast<char>(refSize));
    appendBigEndian(out, static_cast<quint64>(objects.size()));
    appendBigEndian(out, topIndex);
    appendBigEndian(out, offsetTableOffset);
    return out;
}

}  // namespace

// ---- writer ------------------------------------------------------------------

QByteArray BinaryPlistWriter::write(const BinaryPlistNode& top) {
    // Read only: without `release` the flattener never changes the tree.
    return writeFlattened(const_cast<BinaryPlistNode&>(top), false);
}

QByteArray BinaryPlistWriter::write(BinaryPlistNode&& top) {
    QByteArray out = writeFlattened(top, true);
    top = BinaryPlistNode();
    return out;
}
