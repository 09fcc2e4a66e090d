#include "platform/archive/BinaryPlistWriter.h"

#include <QHash>
#include <QtEndian>
#include <cstring>

// ---- nodes -----------------------------------------------------------------

BinaryPlistNode BinaryPlistNode::makeBoolean(bool value) {
    BinaryPlistNode node;
    node.type = Type::Boolean;
    node.boolean = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeInteger(qint64 value) {
    BinaryPlistNode node;
    node.type = Type::Integer;
    node.integer = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeFloat32(float value) {
    BinaryPlistNode node;
    node.type = Type::Float32;
    node.real = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeFloat64(double value) {
    BinaryPlistNode node;
    node.type = Type::Float64;
    node.real = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeDate(const QDateTime& value) {
    BinaryPlistNode node;
    node.type = Type::Date;
    node.date = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeData(const QByteArray& value) {
    BinaryPlistNode node;
    node.type = Type::Data;
    node.data = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeString(const QString& value) {
    BinaryPlistNode node;
    node.type = Type::String;
    node.string = value;
    return node;
}

BinaryPlistNode BinaryPlistNode::makeUid(quint64 value) {
    BinaryPlistNode node;
    node.type = Type::Uid;
    node.integer = static_cast<qint64>(value);
    return node;
}

BinaryPlistNode BinaryPlistNode::makeArray(std::vector<BinaryPlistNode> items) {
    BinaryPlistNode node;
    node.type = Type::Array;
    node.items = std::move(items);
    return node;
}

BinaryPlistNode BinaryPlistNode::makeDictionary() {
    BinaryPlistNode node;
    node.type = Type::Dictionary;
    return node;
}

void BinaryPlistNode::insert(const QString& key, BinaryPlistNode value) {
    entries.emplace_back(key, std::move(value));
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

QByteArray encodeString(const QString& s) {
    QByteArray out;
    if (isAscii(s)) {
        appendMarker(out, 0x50, static_cast<quint64>(s.size()));
        out.append(s.toLatin1());
    } else {
        appendMarker(out, 0x60, static_cast<quint64>(s.size()));
        for (QChar c : s) appendBigEndian(out, c.unicode());
    }
    return out;
}

QByteArray encodeScalar(const BinaryPlistNode& node) {
    using Type = BinaryPlistNode::Type;
    QByteArray out;
    switch (node.type) {
        case Type::Boolean:
            out.append(node.boolean ? '\x09' : '\x08');
            break;
        case Type::Integer:
            appendInteger(out, node.integer);
            break;
        case Type::Float32: {
            out.append('\x22');
            const float f = static_cast<float>(node.real);
            quint32 bits;
            std::memcpy(&bits, &f, sizeof bits);
            appendBigEndian(out, bits);
            break;
        }
        case Type::Float64:
        case Type::Date: {
            out.append(node.type == Type::Date ? '\x33' : '\x23');
            const double d = node.type == Type::Date
                                 ? (node.date.toMSecsSinceEpoch() - kPlistEpochMsecs) / 1000.0
                                 : node.real;
            quint64 bits;
            std::memcpy(&bits, &d, sizeof bits);
            appendBigEndian(out, bits);
            break;
        }
        case Type::Data:
            appendMarker(out, 0x40, static_cast<quint64>(node.data.size()));
            out.append(node.data);
            break;
        case Type::String:
            out = encodeString(node.string);
            break;
        case Type::Uid: {
            const quint64 value = static_cast<quint64>(node.integer);
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
    return out;
}

bool isContainer(const BinaryPlistNode& node) {
    return node.type == BinaryPlistNode::Type::Array ||
           node.type == BinaryPlistNode::Type::Dictionary;
}

// Numbers the objects of a tree depth-first and uniques equal scalars (by
// their encoded bytes, so 1, 1.0f, 1.0 and true stay distinct).
class Flattener {
  public:
    struct Object {
        QByteArray scalarBytes;  // a scalar's complete encoding
        bool isDictionary = false;
        bool isArray = false;
        std::vector<quint64> refs;  // array items, or dictionary keys then values
    };

    // Walks the tree with a stack of its own, not by recursion, so that a
    // tree of any depth fits (a thread's stack would not).
    quint64 flatten(const BinaryPlistNode& top) {
        if (!isContainer(top)) return flattenScalar(encodeScalar(top));
        std::vector<Open> open;
        open.push_back(openContainer(top));
        const quint64 topIndex = open.back().index;
        while (!open.empty()) {
            Open& current = open.back();
            const BinaryPlistNode& node = *current.node;
            const bool isArray = node.type == BinaryPlistNode::Type::Array;
            const size_t count = isArray ? node.items.size() : node.entries.size();
            if (current.next == count) {
                const quint64 finished = current.index;
                open.pop_back();
                if (!open.empty()) objects_[open.back().index].refs.push_back(finished);
                continue;
            }
            const BinaryPlistNode& child =
                isArray ? node.items[current.next] : node.entries[current.next].second;
            ++current.next;
            if (isContainer(child)) {
                open.push_back(openContainer(child));  // invalidates `current`
            } else {
                const quint64 index = current.index;
                const quint64 scalar = flattenScalar(encodeScalar(child));  // may grow objects_
                objects_[index].refs.push_back(scalar);
            }
        }
        return topIndex;
    }

    const std::vector<Object>& objects() const { return objects_; }

  private:
    // A container being numbered, and the next of its children to number.
    struct Open {
        const BinaryPlistNode* node;
        quint64 index;
        size_t next = 0;
    };

    // Takes the container's number; a dictionary's keys are numbered at once,
    // before any of its values.
    Open openContainer(const BinaryPlistNode& node) {
        const quint64 index = objects_.size();
        objects_.emplace_back();
        if (node.type == BinaryPlistNode::Type::Array) {
            objects_[index].isArray = true;
            objects_[index].refs.reserve(node.items.size());
        } else {
            objects_[index].isDictionary = true;
            std::vector<quint64> refs;
            refs.reserve(node.entries.size() * 2);
            for (const auto& entry : node.entries)
                refs.push_back(flattenScalar(encodeString(entry.first)));
            objects_[index].refs = std::move(refs);
        }
        return Open{&node, index};
    }

    quint64 flattenScalar(QByteArray bytes) {
        auto it = scalarIndex_.constFind(bytes);
        if (it != scalarIndex_.constEnd()) return *it;
        const quint64 index = objects_.size();
        scalarIndex_.insert(bytes, index);
        objects_.push_back(Object{std::move(bytes), false, false, {}});
        return index;
    }

    std::vector<Object> objects_;
    QHash<QByteArray, quint64> scalarIndex_;
};

}  // namespace

// ---- writer ------------------------------------------------------------------

QByteArray BinaryPlistWriter::write(const BinaryPlistNode& top) {
    Flattener flattener;
    const quint64 topIndex = flattener.flatten(top);
    const auto& objects = flattener.objects();
    const int refSize = widthFor(objects.size());

    QByteArray out("bplist00");
    std::vector<quint64> offsets;
    offsets.reserve(objects.size());
    for (const auto& object : objects) {
        offsets.push_back(static_cast<quint64>(out.size()));
        if (!object.isArray && !object.isDictionary) {
            out.append(object.scalarBytes);
            continue;
        }
        const quint64 count = object.isArray ? object.refs.size() : object.refs.size() / 2;
        appendMarker(out, object.isArray ? 0xA0 : 0xD0, count);
        for (quint64 ref : object.refs) appendSized(out, ref, refSize);
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
