#include "app/DefaultsCommand.h"

#include "app/CommandLineSyntax.h"
#include "platform/foundation/UserDefaults.h"

namespace {

const char* const kUsage = "usage: ferrymark defaults read|write|delete DOMAIN KEY [VALUE]\n";
const char* const kWriteUsage =
    "usage: ferrymark defaults write DOMAIN KEY [-bool|-int|-float|-string] VALUE\n";

// The type options, each with the names it goes by.
const QList<QStringList>& typeOptions() {
    static const QList<QStringList> kTypes = {
        {QStringLiteral("bool"), QStringLiteral("boolean")},
        {QStringLiteral("int"), QStringLiteral("integer")},
        {QStringLiteral("float")},
        {QStringLiteral("string")},
    };
    return kTypes;
}

CommandLineSyntax defaultsSyntax() {
    CommandLineSyntax syntax(
        QStringLiteral("defaults"),
        QStringLiteral("ferrymark defaults read|write|delete DOMAIN KEY [VALUE]"),
        QStringLiteral(
            "Reads, writes and deletes user defaults, such as the hidden settings\n"
            "\"UseHTMLExport\", \"ExportDebug\" and \"ReloadFromWeb\". A VALUE of YES, NO,\n"
            "true or false is a boolean, a number an integer or a real, anything else a\n"
            "string; a type option (-bool, -int, -float or -string, with one dash or two)\n"
            "says which it is instead. A negative number is always a value."));
    syntax.setSingleDashWordsAsLongOptions();
    syntax.addFlag(typeOptions()[0], QStringLiteral("the value is a boolean"));
    syntax.addFlag(typeOptions()[1], QStringLiteral("the value is an integer"));
    syntax.addFlag(typeOptions()[2], QStringLiteral("the value is a real number"));
    syntax.addFlag(typeOptions()[3], QStringLiteral("the value is a string"));
    return syntax;
}

// A negative number is a value, never an option: the words from the first
// one on are operands.
QStringList withNumbersAsOperands(const QStringList& args) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--")) break;
        bool isNumber = false;
        args[i].toDouble(&isNumber);
        if (isNumber && args[i].startsWith(u'-'))
            return args.mid(0, i) + QStringList{QStringLiteral("--")} + args.mid(i);
    }
    return args;
}

// The type option given, as "-int"; empty when none; nullopt when several are.
std::optional<QString> typeGiven(const CommandLineSyntax& syntax) {
    QString type;
    for (const QStringList& names : typeOptions()) {
        if (!syntax.isSet(names.first())) continue;
        if (!type.isEmpty()) return std::nullopt;
        type = u'-' + names.first();
    }
    return type;
}

std::optional<PlistValue> parseValue(const QString& type, const QStringList& words) {
    if (words.size() != 1) return std::nullopt;
    const QString text = words.first();
    const QString lower = text.toLower();
    bool ok = false;
    if (type == QLatin1String("-bool") ||
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
    if (type == QLatin1String("-int") || type.isEmpty()) {
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

int runDefaultsCommand(const QStringList& givenArgs, QTextStream& out, QTextStream& err) {
    CommandLineSyntax syntax = defaultsSyntax();
    if (!syntax.parse(withNumbersAsOperands(givenArgs), err)) return 2;
    if (syntax.wantsHelp()) return out << syntax.helpText(), 0;
    const QStringList args = syntax.operands();
    const QString verb = args.value(0);
    const QString domain = args.value(1);
    const QString key = args.value(2);
    if (domain.isEmpty() ||
        (verb != QLatin1String("read") && key.isEmpty() && verb != QLatin1String("delete"))) {
        err << kUsage;
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
        const auto type = typeGiven(syntax);
        const auto value = type ? parseValue(*type, args.mid(3)) : std::nullopt;
        if (!value) {
            err << kWriteUsage;
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
    err << kUsage;
    return 2;
}
