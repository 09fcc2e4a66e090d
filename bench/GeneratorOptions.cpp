#include "bench/GeneratorOptions.h"

#include <QHash>
#include <cmath>
#include <functional>

const char* const kGeneratorOptionsErrorDomain = "EnexGeneratorOptions";

const char* const kGeneratorUsage =
    "enex_generator --output FILE [options]\n"
    "\n"
    "Writes a synthetic ENEX export, the same bytes for the same options and seed.\n"
    "\n"
    "  --notes N                     notes in the export (default 100)\n"
    "  --enml-bytes B                approximate size of each note body (default 2K)\n"
    "  --constructs LIST             comma-separated: styles, lists, table, todos,\n"
    "                                links, code, highlights; or all, none (default none)\n"
    "  --todos-per-note N            en-todo check boxes of each ordinary note, one per\n"
    "                                line, besides the body (default 0)\n"
    "  --attachments-per-note K      attachments of each ordinary note (default 0)\n"
    "  --attachment-bytes S          size of each attachment (default 16K)\n"
    "  --attachment-kind KIND        image/png, application/pdf or mixed (default image/png)\n"
    "  --single-attachment-share P   share of notes (0 to 1) that hold one attachment\n"
    "                                and nothing else (default 0)\n"
    "  --seed X                      seed of every random choice (default 1)\n"
    "  --output FILE                 the file to write; - for standard output\n"
    "\n"
    "Sizes take the suffixes K, M, G (powers of 1024). A later option overrides an\n"
    "earlier one.\n";

namespace {

constexpr qint64 kMaxNotes = 1000000000;
constexpr qint64 kMaxBodyBytes = qint64(1) << 30;
constexpr qint64 kMaxAttachmentBytes = qint64(1) << 30;  // one attachment is held in memory
constexpr qint64 kMaxAttachmentsPerNote = 10000;
constexpr qint64 kMaxTodosPerNote = 10000000;  // a note is held in memory: ~60 bytes each

const QList<QPair<QString, unsigned>>& constructTable() {
    static const QList<QPair<QString, unsigned>> table = {
        {QStringLiteral("styles"), ENMLConstructStyles},
        {QStringLiteral("lists"), ENMLConstructLists},
        {QStringLiteral("table"), ENMLConstructTable},
        {QStringLiteral("todos"), ENMLConstructTodos},
        {QStringLiteral("links"), ENMLConstructLinks},
        {QStringLiteral("code"), ENMLConstructCode},
        {QStringLiteral("highlights"), ENMLConstructHighlights},
    };
    return table;
}

Error optionError(const QString& message) {
    return Error(QString::fromLatin1(kGeneratorOptionsErrorDomain), 1, message);
}

// A non-negative count or size, with an optional K/M/G suffix when `allowSuffix`.
std::optional<qint64> parseSize(QString text, bool allowSuffix) {
    text = text.trimmed();
    qint64 multiplier = 1;
    if (allowSuffix && !text.isEmpty()) {
        const QChar last = text.back().toUpper();
        const int power = last == u'K' ? 1 : last == u'M' ? 2 : last == u'G' ? 3 : 0;
        if (power > 0) {
            multiplier = qint64(1) << (10 * power);
            text.chop(1);
        }
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < 0 || value > std::numeric_limits<qint64>::max() / multiplier)
        return std::nullopt;
    return value * multiplier;
}

std::optional<unsigned> parseConstructs(const QString& text, QString* unknown) {
    unsigned constructs = 0;
    for (const QString& raw : text.split(u',', Qt::SkipEmptyParts)) {
        const QString name = raw.trimmed().toLower();
        if (name == QLatin1String("all"))
            constructs |= ENMLConstructAll;
        else if (name == QLatin1String("none"))
            constructs = 0;
        else {
            auto it = std::find_if(constructTable().begin(), constructTable().end(),
                                   [&](const auto& entry) { return entry.first == name; });
            if (it == constructTable().end()) {
                *unknown = name;
                return std::nullopt;
            }
            constructs |= it->second;
        }
    }
    return constructs;
}

std::optional<AttachmentKind> parseKind(const QString& text) {
    const QString kind = text.trimmed().toLower();
    if (kind == QLatin1String("image/png") || kind == QLatin1String("png"))
        return AttachmentKind::PNG;
    if (kind == QLatin1String("application/pdf") || kind == QLatin1String("pdf"))
        return AttachmentKind::PDF;
    if (kind == QLatin1String("mixed")) return AttachmentKind::Mixed;
    return std::nullopt;
}

// Applies one option's value; returns an error message, empty when it was accepted.
using OptionSetter = std::function<QString(GeneratorOptions&, const QString&)>;

OptionSetter sizeSetter(qint64 GeneratorOptions::*field, qint64 minimum, qint64 maximum,
                        bool allowSuffix) {
    return [=](GeneratorOptions& options, const QString& value) -> QString {
        const auto size = parseSize(value, allowSuffix);
        if (!size || *size < minimum || *size > maximum)
            return QStringLiteral("expects a whole number from %1 to %2, not “%3”")
                .arg(minimum)
                .arg(maximum)
                .arg(value);
        options.*field = *size;
        return QString();
    };
}

const QHash<QString, OptionSetter>& optionSetters() {
    static const QHash<QString, OptionSetter> setters = {
        {QStringLiteral("notes"), sizeSetter(&GeneratorOptions::notes, 1, kMaxNotes, false)},
        {QStringLiteral("enml-bytes"),
         sizeSetter(&GeneratorOptions::enmlBytes, 0, kMaxBodyBytes, true)},
        {QStringLiteral("todos-per-note"),
         sizeSetter(&GeneratorOptions::todosPerNote, 0, kMaxTodosPerNote, false)},
        {QStringLiteral("attachments-per-note"),
         sizeSetter(&GeneratorOptions::attachmentsPerNote, 0, kMaxAttachmentsPerNote, false)},
        {QStringLiteral("attachment-bytes"),
         sizeSetter(&GeneratorOptions::attachmentBytes, 1, kMaxAttachmentBytes, true)},
        {QStringLiteral("constructs"),
         [](GeneratorOptions& options, const QString& value) -> QString {
             QString unknown;
             const auto constructs = parseConstructs(value, &unknown);
             if (!constructs)
                 return QStringLiteral("does not know the construct “%1”").arg(unknown);
             options.constructs = *constructs;
             return QString();
         }},
        {QStringLiteral("attachment-kind"),
         [](GeneratorOptions& options, const QString& value) -> QString {
             const auto kind = parseKind(value);
             if (!kind)
                 return QStringLiteral("expects image/png, application/pdf or mixed, not “%1”")
                     .arg(value);
             options.attachmentKind = *kind;
             return QString();
         }},
        {QStringLiteral("single-attachment-share"),
         [](GeneratorOptions& options, const QString& value) -> QString {
             bool ok = false;
             const double share = value.trimmed().toDouble(&ok);
             if (!ok || !std::isfinite(share) || share < 0 || share > 1)
                 return QStringLiteral("expects a number from 0 to 1, not “%1”").arg(value);
             options.singleAttachmentShare = share;
             return QString();
         }},
        {QStringLiteral("seed"),
         [](GeneratorOptions& options, const QString& value) -> QString {
             bool ok = false;
             const quint64 seed = value.trimmed().toULongLong(&ok, 0);
             if (!ok) return QStringLiteral("expects a whole number, not “%1”").arg(value);
             options.seed = seed;
             return QString();
         }},
        {QStringLiteral("output"),
         [](GeneratorOptions& options, const QString& value) -> QString {
             if (value.isEmpty()) return QStringLiteral("expects a file name");
             options.outputPath = value;
             return QString();
         }},
    };
    return setters;
}

}  // namespace

std::optional<GeneratorOptions> parseGeneratorOptions(const QStringList& arguments, Error* error) {
    GeneratorOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.helpRequested = true;
            continue;
        }
        if (!argument.startsWith(QLatin1String("--")))
            return optionError(QStringLiteral("unexpected argument “%1”").arg(argument))
                       .report(error),
                   std::nullopt;
        // Both "--name value" and "--name=value".
        QString name = argument.mid(2);
        QString value;
        const qsizetype equals = name.indexOf(u'=');
        if (equals >= 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        }
        const auto setter = optionSetters().constFind(name);
        if (setter == optionSetters().constEnd())
            return optionError(QStringLiteral("unknown option “--%1”").arg(name)).report(error),
                   std::nullopt;
        if (equals < 0) {
            if (i + 1 >= arguments.size())
                return optionError(QStringLiteral("--%1 needs a value").arg(name)).report(error),
                       std::nullopt;
            value = arguments[++i];
        }
        if (const QString problem = (*setter)(options, value); !problem.isEmpty())
            return optionError(QStringLiteral("--%1 %2").arg(name, problem)).report(error),
                   std::nullopt;
    }
    if (options.outputPath.isEmpty() && !options.helpRequested)
        return optionError(QStringLiteral("--output is required")).report(error), std::nullopt;
    return options;
}

QString constructNames(unsigned constructs) {
    QStringList names;
    for (const auto& [name, flag] : constructTable())
        if (constructs & flag) names << name;
    return names.isEmpty() ? QStringLiteral("none") : names.join(u',');
}
