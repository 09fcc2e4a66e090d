#include "import/NoteReport.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <algorithm>

#include "enex/EvernoteXMLResource.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace {

// ISO 8601 in UTC, as the export itself gives its dates ("2024-01-31T12:00:00Z"); null when none.
QJsonValue dateValue(const QDateTime& date) {
    if (!date.isValid()) return QJsonValue::Null;
    return date.toUTC().toString(Qt::ISODate);
}

QJsonValue textOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonValue errorValue(const Error& error) {
    if (error.isNull()) return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("domain"), error.domain()},
                       {QStringLiteral("code"), static_cast<qint64>(error.code())},
                       {QStringLiteral("message"), error.localizedDescription()}};
}

Error notWritable(const QString& path, const QString& why) {
    return Error(
        kNoteReportErrorDomain, NoteReportPathNotWritable,
        stringWithFormat(localizedString("The report “%@” cannot be written: %@."), {path, why}));
}

}  // namespace

int NoteReport::addSource(const QString& filePath, const QString& notebook) {
    std::lock_guard lock(mutex_);
    sources_.append({filePath, notebook});
    return static_cast<int>(sources_.size() - 1);
}

void NoteReport::addEntry(Entry entry) {
    std::lock_guard lock(mutex_);
    entries_.append(std::move(entry));
}

qsizetype NoteReport::size() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void NoteReport::applyImportResult(const PelmoraImportResult& result) {
    QHash<QString, const PelmoraImportResult::Refusal*> refusals;
    for (const PelmoraImportResult::Refusal& refusal : result.refused)
        refusals.insert(refusal.identifier, &refusal);
    std::lock_guard lock(mutex_);
    for (Entry& entry : entries_) {
        if (entry.outcome != Outcome::Imported) continue;
        entry.path = result.libraryPaths.value(entry.identifier);
        const auto refusal = refusals.constFind(entry.identifier);
        if (refusal == refusals.constEnd()) continue;
        entry.outcome = Outcome::Refused;
        entry.path.clear();
        entry.error =
            Error(kNoteReportErrorDomain, NoteReportItemRefused,
                  stringWithFormat(localizedString("Pelmora did not import the item: %@; its file "
                                                   "stays at %@"),
                                   {(*refusal)->reason, (*refusal)->path}));
    }
}

QList<NoteReport::Entry> NoteReport::entries() const {
    QList<Entry> entries;
    {
        std::lock_guard lock(mutex_);
        entries = entries_;
    }
    // Notes lost to damage are met while the notes before them still convert:
    // the order of the files and of the places in them is the document's.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.source != b.source ? a.source < b.source : a.index < b.index;
    });
    return entries;
}

QString NoteReport::outcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Imported:
            return QStringLiteral("imported");
        case Outcome::Duplicate:
            return QStringLiteral("duplicate");
        case Outcome::Skipped:
            return QStringLiteral("skipped");
        case Outcome::Refused:
            return QStringLiteral("refused");
        case Outcome::Damaged:
            return QStringLiteral("damaged");
    }
    return QString();
}

QString NoteReport::kindText(int itemType) {
    switch (itemType) {
        case EvernoteItemTypeNote:
            return QStringLiteral("note");
        case EvernoteItemTypeWebPage:
            return QStringLiteral("web archive");
        case EvernoteItemTypeBookmark:
            return QStringLiteral("bookmark");
        case EvernoteItemTypeDocument:
        case EvernoteItemTypeImage:
        case EvernoteItemTypeSound:
        case EvernoteItemTypeMovie:
            return QStringLiteral("attachment");
        default:
            return QString();
    }
}

QJsonObject NoteReport::jsonObjectForEntry(const Entry& entry) const {
    Source source;
    {
        std::lock_guard lock(mutex_);
        if (entry.source >= 0 && entry.source < sources_.size()) source = sources_[entry.source];
    }
    return QJsonObject{
        {QStringLiteral("file"), source.filePath},
        {QStringLiteral("notebook"), source.notebook},
        {QStringLiteral("index"), static_cast<qint64>(entry.index) + 1},
        {QStringLiteral("title"), entry.title},
        {QStringLiteral("created"), dateValue(entry.created)},
        {QStringLiteral("updated"), dateValue(entry.updated)},
        {QStringLiteral("outcome"), outcomeText(entry.outcome)},
        {QStringLiteral("kind"), textOrNull(kindText(entry.itemType))},
        {QStringLiteral("identifier"), textOrNull(entry.identifier)},
        {QStringLiteral("path"), textOrNull(entry.path)},
        {QStringLiteral("attachments"),
         QJsonObject{{QStringLiteral("count"), static_cast<qint64>(entry.attachments)},
                     {QStringLiteral("bytes"), entry.attachmentBytes}}},
        {QStringLiteral("warnings"), QJsonArray::fromStringList(entry.warnings)},
        {QStringLiteral("error"), errorValue(entry.error)},
    };
}

QByteArray NoteReport::jsonLines() const {
    QByteArray lines;
    for (const Entry& entry : entries()) {
        lines += QJsonDocument(jsonObjectForEntry(entry)).toJson(QJsonDocument::Compact);
        lines += '\n';
    }
    return lines;
}

bool NoteReport::writeToFile(const QString& path, Error* error) const {
    Error cause;
    if (FileOperations::writeFile(path, jsonLines(), FileOperations::WriteMode::Replace, &cause))
        return true;
    Error(kNoteReportErrorDomain, NoteReportWriteFailed,
          stringWithFormat(localizedString("The report “%@” could not be written: %@"),
                           {path, cause.localizedDescription()}),
          cause)
        .report(error);
    return false;
}

bool NoteReport::checkWritablePath(const QString& path, Error* error) {
    const QFileInfo file(path);
    if (path.isEmpty()) {
        notWritable(path, localizedString("no file is named")).report(error);
        return false;
    }
    if (file.isDir()) {
        notWritable(path, localizedString("it is a folder")).report(error);
        return false;
    }
    const QString folder = file.absolutePath();
    if (!QFileInfo(folder).isDir()) {
        notWritable(path, stringWithFormat(localizedString("there is no folder “%@”"), {folder}))
            .report(error);
        return false;
    }
    // The report is written beside itself and renamed into place: the folder must take a file.
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0) {
        notWritable(path,
                    stringWithFormat(localizedString("the folder “%@” is not writable"), {folder}))
            .report(error);
        return false;
    }
    return true;
}
