#include "app/DefaultsCommand.h"

#include "platform/foundation/UserDefaults.h"

namespace {

std::optional<PlistValue> parseValue(const QStringList& words) {
    if (words.isEmpty()) return std::nullopt;
    QString type;
    QString text = words.last();
    if (words.size() == 2)
        type = words.first();
    else if (words.size() > 2)
        return std::nullopt;
    const QString lower = text.toLower();
    bool ok = false;
    if (type == QLatin1String("-bool") || type == QLatin1String("-boolean") ||
        (type.isEmpty() && (lower == QLatin1String("yes") || lower == QLatin1String("no") ||
                            lower == QLatin1String("true") || lower == QLatin1String("false")))) {
        if (lower == QLatin1String("yes") || lower == QLatin1String("true") ||
            lower == QLatin1String("1"))
            return PlistValue(true);
        if (lower == QLatin1String("no") || lower == QLatin1String("false") ||
            lower == QLatin1String("0"))
            return PlistValue(false);
        return std::nullopt;
    }
    if (type == QLatin1String("-int") || type == QLatin1String("-integer") || type.isEmpty()) {
        const qint64 i = text.toLongLong(&ok);
        if (ok) return PlistValue(static_cast<long long>(i));
        if (!type.isEmpty()) return std::nullopt;
    }
    if (type == QLatin1String("-float") || type.isEmpty()) {
        const double d = text.toDouble(&ok);
        if (ok) return PlistValue(d);
        if (!type.isEmpty()) return std::nullopt;
    }
    if (type.isEmpty() || type == QLatin1String("-string")) return PlistValue(text);
    return std::nullopt;
}

QString valueText(const PlistValue& v) {
    switch (v.type()) {
        case PlistValue::Type::Boolean:
            return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
        case PlistValue::Type::Integer:
            return QString::number(v.toInteger());
        case PlistValue::Type::Real:
            return QString::number(v.toReal());
        case PlistValue::Type::String:
            return v.toString();
        default:
            return QString::fromUtf8(v.serialize(PlistValue::Format::Xml)).trimmed();
    }
}

}  // namespace

int runDefaultsCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    const QString verb = args.value(0);
    const QString domain = args.value(1);
    const QString key = args.value(2);
    if (domain.isEmpty() ||
        (verb != QLatin1String("read") && key.isEmpty() && verb != QLatin1String("delete"))) {
        err << "usage: ferrymark defaults read|write|delete DOMAIN KEY [VALUE]\n";
        return 2;
    }
    UserDefaults defaults(domain);
    Error error;
    if (verb == QLatin1String("read")) {
        if (key.isEmpty()) {
            out << QString::fromUtf8(PlistValue(UserDefaults::dictionaryForDomain(domain))
                                         .serialize(PlistValue::Format::Xml));
            return 0;
        }
        const PlistValue value = UserDefaults::dictionaryForDomain(domain).value(key);
        if (value.isNull()) {
            err << "The domain/default pair of (" << domain << ", " << key << ") does not exist\n";
            return 1;
        }
        out << valueText(value) << "\n";
        return 0;
    }
    if (verb == QLatin1String("write")) {
        const auto value = parseValue(args.mid(3));
        if (!value) {
            err << "usage: ferrymark defaults write DOMAIN KEY [-bool|-int|-float|-string] VALUE\n";
            return 2;
        }
        if (!defaults.setObject(*value, key, &error)) {
            err << error.localizedDescription() << "\n";
            return 1;
        }
        return 0;
    }
    if (verb == QLatin1String("delete")) {
        bool ok = key.isEmpty() ? UserDefaults::writeDictionary(PlistDictionary(), domain, &error)
                                : defaults.removeObject(key, &error);
        if (!ok) {
            err << error.localizedDescription() << "\n";
            return 1;
        }
        return 0;
    }
    err << "usage: ferrymark defaults read|write|delete DOMAIN KEY [VALUE]\n";
    return 2;
}
