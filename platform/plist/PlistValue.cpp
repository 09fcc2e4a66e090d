#include "platform/plist/PlistValue.h"

#include <plist/plist.h>

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QTimeZone>
#include <cstring>

#include "platform/foundation/FileOperations.h"

// ---- containers ------------------------------------------------------------

// Small dictionaries (item and group dictionaries hold about a dozen keys)
// are searched linearly; an index is kept only for large ones, so that a
// description of many items does not carry a hash table per item.
struct PlistDictionary::Data {
    static constexpr size_t kIndexThreshold = 16;
    std::vector<std::pair<QString, PlistValue>> entries;
    std::unique_ptr<QHash<QString, size_t>> index;

    Data() = default;
    Data(const Data& other) : entries(other.entries) { reindex(); }
    Data& operator=(const Data& other) {
        entries = other.entries;
        reindex();
        return *this;
    }

    std::optional<size_t> find(const QString& key) const {
        if (index) {
            auto it = index->constFind(key);
            return it == index->constEnd() ? std::nullopt : std::optional<size_t>(*it);
        }
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].first == key) return i;
        return std::nullopt;
    }
    void reindex() {
        index.reset();
        if (entries.size() < kIndexThreshold) return;
        index = std::make_unique<QHash<QString, size_t>>();
        index->reserve(static_cast<qsizetype>(entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) index->insert(entries[i].first, i);
    }
};

PlistDictionary::PlistDictionary() : d_(std::make_shared<Data>()) {}

qsizetype PlistDictionary::size() const { return static_cast<qsizetype>(d_->entries.size()); }
bool PlistDictionary::contains(const QString& key) const { return d_->find(key).has_value(); }

PlistValue PlistDictionary::value(const QString& key) const {
    const auto i = d_->find(key);
    return i ? d_->entries[*i].second : PlistValue();
}

void PlistDictionary::set(const QString& key, const PlistValue& value) {
    if (const auto i = d_->find(key)) {
        d_->entries[*i].second = value;
        return;
    }
    d_->entries.emplace_back(key, value);
    if (d_->index)
        d_->index->insert(key, d_->entries.size() - 1);
    else if (d_->entries.size() >= Data::kIndexThreshold)
        d_->reindex();
}

void PlistDictionary::remove(const QString& key) {
    const auto i = d_->find(key);
    if (!i) return;
    d_->entries.erase(d_->entries.begin() + static_cast<ptrdiff_t>(*i));
    d_->reindex();
}

QStringList PlistDictionary::keys() const {
    QStringList result;
    result.reserve(size());
    for (const auto& e : d_->entries) result << e.first;
    return result;
}

const std::vector<std::pair<QString, PlistValue>>& PlistDictionary::entries() const& {
    return d_->entries;
}

PlistDictionary PlistDictionary::mutableCopy() const {
    PlistDictionary copy;
    *copy.d_ = *d_;
    return copy;
}

PlistDictionary PlistDictionary::deepCopy() const {
    PlistDictionary copy;
    for (const auto& e : d_->entries) copy.set(e.first, e.second.deepCopy());
    return copy;
}

PlistArray::PlistArray() : d_(std::make_shared<std::vector<PlistValue>>()) {}
PlistArray::PlistArray(std::initializer_list<PlistValue> values)
    : d_(std::make_shared<std::vector<PlistValue>>(values)) {}
qsizetype PlistArray::size() const { return static_cast<qsizetype>(d_->size()); }
const PlistValue& PlistArray::at(qsizetype i) const { return d_->at(static_cast<size_t>(i)); }
void PlistArray::append(const PlistValue& value) { d_->push_back(value); }
void PlistArray::removeAt(qsizetype i) { d_->erase(d_->begin() + i); }
void PlistArray::clear() { d_->clear(); }
const std::vector<PlistValue>& PlistArray::values() const& { return *d_; }

PlistArray PlistArray::mutableCopy() const {
    PlistArray copy;
    *copy.d_ = *d_;
    return copy;
}

PlistArray PlistArray::deepCopy() const {
    PlistArray copy;
    for (const auto& v : *d_) copy.append(v.deepCopy());
    return copy;
}

// ---- values ----------------------------------------------------------------

PlistValue::PlistValue(bool v) : type_(Type::Boolean), v_(v) {}
PlistValue::PlistValue(long long v) : type_(Type::Integer), v_(static_cast<qint64>(v)) {}
PlistValue::PlistValue(double v) : type_(Type::Real), v_(v) {}
PlistValue::PlistValue(const QString& v) : type_(Type::String), v_(v) {}
PlistValue::PlistValue(const QDateTime& v) : type_(Type::Date), v_(v.toUTC()) {}
PlistValue::PlistValue(const QByteArray& v) : type_(Type::Data), v_(v) {}
PlistValue::PlistValue(const PlistArray& v) : type_(Type::Array), v_(std::shared_ptr<void>(v.d_)) {}
PlistValue::PlistValue(const PlistDictionary& v)
    : type_(Type::Dictionary), v_(std::shared_ptr<void>(v.d_)) {}

PlistValue PlistValue::uid(quint64 v) {
    PlistValue value;
    value.type_ = Type::Uid;
    value.v_ = static_cast<qint64>(v);
    return value;
}

bool PlistValue::toBool() const {
    switch (type_) {
        case Type::Boolean:
            return std::get<bool>(v_);
        case Type::Integer:
            return std::get<qint64>(v_) != 0;
        case Type::Real:
            return std::get<double>(v_) != 0;
        case Type::String: {
            const QString s = std::get<QString>(v_).trimmed().toLower();
            return s == QLatin1String("yes") || s == QLatin1String("true") || s.toLongLong() != 0;
        }
        default:
            return false;
    }
}

qint64 PlistValue::toInteger() const {
    switch (type_) {
        case Type::Boolean:
            return std::get<bool>(v_) ? 1 : 0;
        case Type::Integer:
            return std::get<qint64>(v_);
        case Type::Real:
            return static_cast<qint64>(std::get<double>(v_));
        case Type::String:
            return static_cast<qint64>(std::get<QString>(v_).trimmed().toDouble());
        default:
            return 0;
    }
}

double PlistValue::toReal() const {
    switch (type_) {
        case Type::Boolean:
            return std::get<bool>(v_) ? 1 : 0;
        case Type::Integer:
            return static_cast<double>(std::get<qint64>(v_));
        case Type::Real:
            return std::get<double>(v_);
        case Type::String:
            return std::get<QString>(v_).trimmed().toDouble();
        default:
            return 0;
    }
}

QString PlistValue::toString() const {
    return type_ == Type::String ? std::get<QString>(v_) : QString();
}
QDateTime PlistValue::toDate() const {
    return type_ == Type::Date ? std::get<QDateTime>(v_) : QDateTime();
}
QByteArray PlistValue::toData() const {
    return type_ == Type::Data ? std::get<QByteArray>(v_) : QByteArray();
}
quint64 PlistValue::toUid() const {
    return type_ == Type::Uid ? static_cast<quint64>(std::get<qint64>(v_)) : 0;
}

PlistArray PlistValue::toArray() const {
    PlistArray a;
    if (type_ == Type::Array)
        a.d_ =
            std::static_pointer_cast<std::vector<PlistValue>>(std::get<std::shared_ptr<void>>(v_));
    return a;
}

PlistDictionary PlistValue::toDictionary() const {
    PlistDictionary d;
    if (type_ == Type::Dictionary)
        d.d_ = std::static_pointer_cast<PlistDictionary::Data>(std::get<std::shared_ptr<void>>(v_));
    return d;
}

bool PlistValue::operator==(const PlistValue& o) const {
    if (type_ != o.type_) return false;
    switch (type_) {
        case Type::Null:
            return true;
        case Type::Boolean:
            return std::get<bool>(v_) == std::get<bool>(o.v_);
        case Type::Integer:
        case Type::Uid:
            return std::get<qint64>(v_) == std::get<qint64>(o.v_);
        case Type::Real:
            return std::get<double>(v_) == std::get<double>(o.v_);
        case Type::String:
            return std::get<QString>(v_) == std::get<QString>(o.v_);
        case Type::Date:
            return std::get<QDateTime>(v_) == std::get<QDateTime>(o.v_);
        case Type::Data:
            return std::get<QByteArray>(v_) == std::get<QByteArray>(o.v_);
        case Type::Array: {
            const PlistArray a = toArray(), b = o.toArray();
            return a.values() == b.values();
        }
        case Type::Dictionary: {
            const PlistDictionary a = toDictionary(), b = o.toDictionary();
            if (a.size() != b.size()) return false;
            for (const auto& e : a.entries())
                if (!b.contains(e.first) || b.value(e.first) != e.second) return false;
            return true;
        }
    }
    return false;
}

PlistValue PlistValue::deepCopy() const {
    if (type_ == Type::Array) return PlistValue(toArray().deepCopy());
    if (type_ == Type::Dictionary) return PlistValue(toDictionary().deepCopy());
    return *this;
}

// ---- libplist bridge -------------------------------------------------------

namespace {

const QDateTime& appleEpoch() {
    static const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return epoch;
}

plist_t toNode(const PlistValue& v) {
    switch (v.type()) {
        case PlistValue::Type::Null:
            return plist_new_string("");
        case PlistValue::Type::Boolean:
            return plist_new_bool(v.toBool() ? 1 : 0);
        case PlistValue::Type::Integer:
            return plist_new_uint(static_cast<uint64_t>(v.toInteger()));
        case PlistValue::Type::Real:
            return plist_new_real(v.toReal());
        case PlistValue::Type::String:
            return plist_new_string(v.toString().toUtf8().constData());
        case PlistValue::Type::Uid:
            return plist_new_uid(v.toUid());
        case PlistValue::Type::Data: {
            const QByteArray d = v.toData();
            return plist_new_data(d.constData(), static_cast<uint64_t>(d.size()));
        }
        case PlistValue::Type::Date: {
            const qint64 ms = appleEpoch().msecsTo(v.toDate());
            qint64 sec = ms / 1000, usec = (ms % 1000) * 1000;
            if (usec < 0) {
                usec += 1000000;
                sec -= 1;
            }
            return plist_new_date(static_cast<int32_t>(sec), static_cast<int32_t>(usec));
        }
        case PlistValue::Type::Array: {
            plist_t node = plist_new_array();
            const PlistArray array = v.toArray();
            for (const auto& item : array.values()) plist_array_append_item(node, toNode(item));
            return node;
        }
        case PlistValue::Type::Dictionary: {
            plist_t node = plist_new_dict();
            const PlistDictionary dictionary = v.toDictionary();
            for (const auto& e : dictionary.entries())
                plist_dict_set_item(node, e.first.toUtf8().constData(), toNode(e.second));
            return node;
        }
    }
    return plist_new_string("");
}

// Containers nested deeper than this are refused: reading recurses once per
// level, and no property list of ours comes near it.
constexpr int kMaximumDepth = 512;

// `depth` counts the containers around `node`; past the limit `tooDeep` is set.
PlistValue fromNode(plist_t node, int depth, bool* tooDeep) {
    const plist_type type = plist_get_node_type(node);
    if ((type == PLIST_ARRAY || type == PLIST_DICT) && depth >= kMaximumDepth) {
        *tooDeep = true;
        return PlistValue();
    }
    switch (type) {
        case PLIST_BOOLEAN: {
            uint8_t b = 0;
            plist_get_bool_val(node, &b);
            return PlistValue(b != 0);
        }
        case PLIST_UINT: {
            uint64_t u = 0;
            plist_get_uint_val(node, &u);
            return PlistValue(static_cast<long long>(u));
        }
        case PLIST_REAL: {
            double d = 0;
            plist_get_real_val(node, &d);
            return PlistValue(d);
        }
        case PLIST_STRING: {
            // By pointer and length: a string may hold a NUL character, which
            // plist_get_string_val() refuses with an assertion.
            uint64_t length = 0;
            const char* s = plist_get_string_ptr(node, &length);
            return PlistValue(QString::fromUtf8(s ? s : "", s ? qsizetype(length) : 0));
        }
        case PLIST_KEY: {
            char* s = nullptr;
            plist_get_key_val(node, &s);
            PlistValue value(QString::fromUtf8(s ? s : ""));
            free(s);
            return value;
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            PlistValue value(QByteArray(bytes, static_cast<qsizetype>(length)));
            free(bytes);
            return value;
        }
        case PLIST_DATE: {
            int32_t sec = 0, usec = 0;
            plist_get_date_val(node, &sec, &usec);
            return PlistValue(appleEpoch().addMSecs(qint64(sec) * 1000 + usec / 1000));
        }
        case PLIST_UID: {
            uint64_t u = 0;
            plist_get_uid_val(node, &u);
            return PlistValue::uid(u);
        }
        case PLIST_ARRAY: {
            PlistArray array;
            // Walked with an iterator: taking items by index costs a walk from
            // the first item each time, quadratic in an archive of many objects.
            plist_array_iter it = nullptr;
            plist_array_new_iter(node, &it);
            for (plist_t item = nullptr;;) {
                plist_array_next_item(node, it, &item);
                if (!item) break;
                array.append(fromNode(item, depth + 1, tooDeep));
            }
            free(it);
            return PlistValue(array);
        }
        case PLIST_DICT: {
            PlistDictionary dict;
            plist_dict_iter it = nullptr;
            plist_dict_new_iter(node, &it);
            while (true) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, it, &key, &item);
                if (!item) {
                    free(key);
                    break;
                }
                dict.set(QString::fromUtf8(key), fromNode(item, depth + 1, tooDeep));
                free(key);
            }
            free(it);
            return PlistValue(dict);
        }
        default:
            return PlistValue();
    }
}

// Binary property lists: whether a dictionary key is a UTF-16 string holding
// U+0000. libplist reads such a file but aborts the process (an assertion)
// when the key is asked for, so the file is refused before it is read.
class BinaryPlistKeyCheck {
  public:
    explicit BinaryPlistKeyCheck(const QByteArray& data) : data_(data) {}

    bool hasKeyWithNul() {
        const qsizetype size = data_.size();
        if (size < 8 + 32) return false;
        const qsizetype trailer = size - 32;
        const int offsetSize = byteAt(trailer + 6);
        refSize_ = byteAt(trailer + 7);
        const quint64 objects = number(trailer + 8, 8);
        const quint64 table = number(trailer + 24, 8);
        if (offsetSize < 1 || offsetSize > 8 || refSize_ < 1 || refSize_ > 8) return false;
        if (table >= quint64(size) || objects > (quint64(size) - table) / quint64(offsetSize))
            return false;
        offsets_.resize(objects);
        for (quint64 i = 0; i < objects; ++i)
            offsets_[i] = number(qsizetype(table + i * quint64(offsetSize)), offsetSize);
        for (const quint64 offset : offsets_)
            if (dictionaryHasKeyWithNul(offset)) return true;
        return false;
    }

  private:
    int byteAt(qsizetype at) const { return static_cast<unsigned char>(data_[at]); }

    // A big-endian number of `width` bytes; 0 past the end.
    quint64 number(qsizetype at, int width) const {
        if (at < 0 || width > 8 || at + width > data_.size()) return 0;
        quint64 value = 0;
        for (int i = 0; i < width; ++i) value = value << 8 | quint64(byteAt(at + i));
        return value;
    }

    // The element count of the object at `offset` and where its contents start.
    std::pair<quint64, qsizetype> countAndStart(quint64 offset) const {
        const qsizetype at = qsizetype(offset);
        const quint64 count = quint64(byteAt(at) & 0x0F);
        if (count != 0x0F) return {count, at + 1};
        if (at + 1 >= data_.size() || (byteAt(at + 1) & 0xF0) != 0x10) return {0, data_.size()};
        const int width = 1 << (byteAt(at + 1) & 0x0F);
        return {number(at + 2, width), at + 2 + width};
    }

    bool dictionaryHasKeyWithNul(quint64 offset) const {
        if (offset >= quint64(data_.size()) || (byteAt(qsizetype(offset)) & 0xF0) != 0xD0)
            return false;
        const auto [count, start] = countAndStart(offset);
        if (start >= data_.size() || count > quint64(data_.size() - start) / quint64(refSize_))
            return false;
        for (quint64 i = 0; i < count; ++i) {
            const quint64 key = number(start + qsizetype(i) * refSize_, refSize_);
            if (key < offsets_.size() && utf16StringHasNul(offsets_[key])) return true;
        }
        return false;
    }

    bool utf16StringHasNul(quint64 offset) const {
        if (offset >= quint64(data_.size()) || (byteAt(qsizetype(offset)) & 0xF0) != 0x60)
            return false;
        const auto [units, start] = countAndStart(offset);
        const quint64 available = start < data_.size() ? quint64(data_.size() - start) / 2 : 0;
        for (quint64 i = 0; i < std::min(units, available); ++i)
            if (number(start + qsizetype(i) * 2, 2) == 0) return true;
        return false;
    }

    const QByteArray& data_;
    int refSize_ = 0;
    std::vector<quint64> offsets_;
};

Error plistError(const QString& message) {
    return Error(QStringLiteral("PlistErrorDomain"), 3840, message);
}

}  // namespace

QByteArray PlistValue::serialize(Format format) const {
    plist_t node = toNode(*this);
    char* out = nullptr;
    uint32_t length = 0;
    if (format == Format::Xml)
        plist_to_xml(node, &out, &length);
    else
        plist_to_bin(node, &out, &length);
    QByteArray result(out, static_cast<qsizetype>(length));
    free(out);
    plist_free(node);
    return result;
}

bool PlistValue::writeToFile(const QString& path, Format format, Error* error) const {
    Error cause;
    if (FileOperations::writeFile(path, serialize(format), FileOperations::WriteMode::Replace,
                                  &cause))
        return true;
    Error(QStringLiteral("PlistErrorDomain"), 3840,
          QStringLiteral("Cannot write \"%1\": %2")
              .arg(path, QString::fromLocal8Bit(std::strerror(cause.code()))),
          cause)
        .report(error);
    return false;
}

std::optional<PlistValue> PlistValue::fromData(const QByteArray& data, Error* error) {
    plist_t node = nullptr;
    if (data.startsWith("bplist00")) {
        if (BinaryPlistKeyCheck(data).hasKeyWithNul()) {
            plistError(QStringLiteral("The property list has a key that holds a NUL character."))
                .report(error);
            return std::nullopt;
        }
        plist_from_bin(data.constData(), static_cast<uint32_t>(data.size()), &node);
    } else if (!data.trimmed().isEmpty()) {
        plist_from_xml(data.constData(), static_cast<uint32_t>(data.size()), &node);
    }
    if (!node) {
        plistError(QStringLiteral("The data is not a property list.")).report(error);
        return std::nullopt;
    }
    bool tooDeep = false;
    PlistValue value = fromNode(node, 0, &tooDeep);
    plist_free(node);
    if (tooDeep) {
        plistError(QStringLiteral("The property list nests containers more than %1 levels deep.")
                       .arg(kMaximumDepth))
            .report(error);
        return std::nullopt;
    }
    return value;
}

std::optional<PlistValue> PlistValue::readFromFile(const QString& path, Error* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        plistError(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()))
            .report(error);
        return std::nullopt;
    }
    return fromData(file.readAll(), error);
}
