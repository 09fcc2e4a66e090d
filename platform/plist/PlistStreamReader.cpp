#include "platform/plist/PlistStreamReader.h"

#include <libxml/xmlreader.h>

#include <QFile>

namespace {

const QString kDomain = QStringLiteral("PlistStreamReaderErrorDomain");
constexpr int kMaximumDepth = 256;  // far deeper than any description; bounds hostile input

class Reader {
  public:
    Reader(const QString& path, const QStringList& streamedPath,
           const PlistStreamReader::EntryHandler& entry)
        : reader_(xmlReaderForFile(QFile::encodeName(path).constData(), nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOBLANKS | XML_PARSE_COMPACT)),
          streamedPath_(streamedPath),
          entry_(entry) {
        if (reader_) xmlTextReaderSetErrorHandler(reader_, &Reader::keepParserMessage, this);
    }
    ~Reader() {
        if (reader_) xmlFreeTextReader(reader_);
    }

    bool isOpen() const { return reader_ != nullptr; }
    const QString& failure() const { return failure_; }

    // The root value inside <plist>.
    std::optional<PlistValue> readDocument() {
        if (!nextElement() || name() != QLatin1String("plist")) return fail("no plist element");
        if (xmlTextReaderIsEmptyElement(reader_)) return fail("an empty plist element");
        if (!nextElement()) return fail("no value in the plist element");
        return readValue(0, 0);
    }

  private:
    // libxml2's own message, instead of its default of printing to standard error.
    static void keepParserMessage(void* context, const char* message, xmlParserSeverities severity,
                                  xmlTextReaderLocatorPtr locator) {
        if (severity != XML_PARSER_SEVERITY_ERROR) return;
        auto* reader = static_cast<Reader*>(context);
        if (reader->failure_.isEmpty())
            reader->failure_ = QStringLiteral("line %1: %2")
                                   .arg(xmlTextReaderLocatorLineNumber(locator))
                                   .arg(QString::fromUtf8(message).trimmed());
    }

    std::optional<PlistValue> fail(const QString& message) {
        if (failure_.isEmpty()) failure_ = message;
        return std::nullopt;
    }

    // Moves to the next element start or end; false at the end or on an error.
    bool advance() {
        for (;;) {
            const int status = xmlTextReaderRead(reader_);
            if (status != 1) {
                if (status < 0) fail(QStringLiteral("malformed XML"));
                return false;
            }
            const int type = xmlTextReaderNodeType(reader_);
            if (type == XML_READER_TYPE_ELEMENT || type == XML_READER_TYPE_END_ELEMENT) return true;
        }
    }
    bool nextElement() { return advance() && isStart(); }
    bool isStart() const { return xmlTextReaderNodeType(reader_) == XML_READER_TYPE_ELEMENT; }
    QString name() const {
        return QString::fromUtf8(
            reinterpret_cast<const char*>(xmlTextReaderConstLocalName(reader_)));
    }

    // The text of the current element, leaving the reader on its end.
    std::optional<QString> text() {
        if (xmlTextReaderIsEmptyElement(reader_)) return QString();
        QString value;
        for (;;) {
            if (xmlTextReaderRead(reader_) != 1)
                return fail(QStringLiteral("malformed XML")), std::nullopt;
            const int type = xmlTextReaderNodeType(reader_);
            if (type == XML_READER_TYPE_END_ELEMENT) return value;
            if (type == XML_READER_TYPE_ELEMENT)
                return fail(QStringLiteral("an element inside a scalar")), std::nullopt;
            if (type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
                type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE ||
                type == XML_READER_TYPE_WHITESPACE)
                value += QString::fromUtf8(
                    reinterpret_cast<const char*>(xmlTextReaderConstValue(reader_)));
        }
    }

    // The value whose start element the reader is on. `route` is how many
    // keys of the streamed path lead to it, or kOffRoute.
    static constexpr int kOffRoute = -1;
    std::optional<PlistValue> readValue(int route, int depth) {
        if (depth > kMaximumDepth) return fail(QStringLiteral("values nested too deeply"));
        const QString element = name();
        if (element == QLatin1String("dict")) return readDictionary(route, depth);
        if (element == QLatin1String("array")) return readArray(depth);
        if (element == QLatin1String("true") || element == QLatin1String("false")) {
            if (!text()) return std::nullopt;
            return PlistValue(element == QLatin1String("true"));
        }
        const auto value = text();
        if (!value) return std::nullopt;
        if (element == QLatin1String("string")) return PlistValue(*value);
        if (element == QLatin1String("integer")) {
            bool ok = false;
            const qlonglong number = value->trimmed().toLongLong(&ok);
            return ok ? std::optional<PlistValue>(PlistValue(number))
                      : fail(QStringLiteral("a bad integer"));
        }
        if (element == QLatin1String("real")) return PlistValue(value->trimmed().toDouble());
        if (element == QLatin1String("date")) {
            const QDateTime date = QDateTime::fromString(value->trimmed(), Qt::ISODate);
            return date.isValid() ? std::optional<PlistValue>(PlistValue(date))
                                  : fail(QStringLiteral("a bad date"));
        }
        if (element == QLatin1String("data"))
            return PlistValue(
                QByteArray::fromBase64(value->toLatin1().simplified().replace(' ', QByteArray())));
        return fail(QStringLiteral("an unknown element <%1>").arg(element));
    }

    std::optional<PlistValue> readDictionary(int route, int depth) {
        PlistDictionary dictionary;
        if (xmlTextReaderIsEmptyElement(reader_)) return PlistValue(dictionary);
        const bool streamed = route == streamedPath_.size();
        for (;;) {
            if (!advance()) return fail(QStringLiteral("an unfinished dictionary"));
            if (!isStart()) return PlistValue(dictionary);
            if (name() != QLatin1String("key"))
                return fail(QStringLiteral("a value without a key"));
            const auto key = text();
            if (!key) return std::nullopt;
            if (!nextElement()) return fail(QStringLiteral("a key without a value"));
            const bool leadsOn = route != kOffRoute && route < streamedPath_.size() &&
                                 streamedPath_.at(route) == *key;
            const auto value = readValue(leadsOn ? route + 1 : kOffRoute, depth + 1);
            if (!value) return std::nullopt;
            if (streamed)
                entry_(*key, *value);
            else
                dictionary.set(*key, *value);
        }
    }

    std::optional<PlistValue> readArray(int depth) {
        PlistArray array;
        if (xmlTextReaderIsEmptyElement(reader_)) return PlistValue(array);
        for (;;) {
            if (!advance()) return fail(QStringLiteral("an unfinished array"));
            if (!isStart()) return PlistValue(array);
            const auto value =
                readValue(kOffRoute, depth + 1);  // nothing inside an array is streamed
            if (!value) return std::nullopt;
            array.append(*value);
        }
    }

    xmlTextReaderPtr reader_;
    QStringList streamedPath_;
    const PlistStreamReader::EntryHandler& entry_;
    QString failure_;
};

// Gives the entries of the dictionary at `path` inside `root` to `entry` and empties it.
void streamEntries(PlistValue& root, const QStringList& path,
                   const PlistStreamReader::EntryHandler& entry) {
    PlistDictionary dictionary = root.toDictionary();
    for (const QString& key : path) dictionary = dictionary.value(key).toDictionary();
    for (const auto& [key, value] : dictionary.entries()) entry(key, value);
    for (const QString& key : dictionary.keys()) dictionary.remove(key);
}

bool isBinaryPlist(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(6) == "bplist";
}

}  // namespace

std::optional<PlistValue> PlistStreamReader::readFromFile(const QString& path,
                                                          const QStringList& streamedPath,
                                                          const EntryHandler& entry, Error* error) {
    if (isBinaryPlist(path)) {
        auto root = PlistValue::readFromFile(path, error);
        if (root) streamEntries(*root, streamedPath, entry);
        return root;
    }
    Reader reader(path, streamedPath, entry);
    if (!reader.isOpen()) {
        Error(kDomain, 1, QStringLiteral("Cannot read the property list %1.").arg(path))
            .report(error);
        return std::nullopt;
    }
    auto root = reader.readDocument();
    if (!root) {
        Error(kDomain, 2,
              QStringLiteral("The property list %1 is not well-formed: %2.")
                  .arg(path, reader.failure()))
            .report(error);
    }
    return root;
}
