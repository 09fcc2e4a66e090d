#include "enex/ENEXNoteRecovery.h"

#include <QFile>
#include <QFileInfo>

#include "enex/ENEXDamageRepair.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "util/FileNameRules.h"

ENEXNoteRecovery::ENEXNoteRecovery(QString filePath, QString keepFolder, NoteReader reader,
                                   LogWriter log)
    : filePath_(std::move(filePath)),
      keepFolder_(std::move(keepFolder)),
      reader_(std::move(reader)),
      log_(std::move(log)) {}

void ENEXNoteRecovery::readNotesFrom(unsigned long firstNote,
                                     const std::function<bool()>& isCancelled) {
    QFile file(filePath_);
    ENEXNoteSplitter splitter(&file, stretchLimit_);
    unsigned long index = 0;
    while (!isCancelled()) {
        auto stretch = splitter.nextStretch();
        if (!stretch) break;
        if (index >= firstNote) {
            ++found_;
            if (stretchObserver_) stretchObserver_(index);
            readStretch(*stretch, index);
        }
        ++index;
    }
    fileError_ = splitter.error();
}

QString ENEXNoteRecovery::noteName(const ENEXNoteStretch& stretch) const {
    return stretch.title.isEmpty() ? localizedString("Untitled") : stretch.title;
}

void ENEXNoteRecovery::readStretch(ENEXNoteStretch& stretch, unsigned long index) {
    const QString oversized =
        stringWithFormat(localizedString("it runs on for more than %ld bytes without the start "
                                         "of another note; only its start is kept"),
                         {static_cast<long long>(stretchLimit_)});
    if (stretch.endsTheFile) {
        endsInsideNote_ = true;
        log_(stringWithFormat(
            localizedString("%@ ends inside a note (“%@”, from line %ld, column %ld): the file "
                            "is cut short"),
            {filePath_, noteName(stretch), stretch.line, stretch.column}));
        loseStretch(stretch, index,
                    stretch.isOversized ? oversized : localizedString("the file ends inside it"));
        return;
    }
    if (stretch.isOversized) {
        loseStretch(stretch, index, oversized);
        return;
    }
    Error error;
    if (reader_(stretch.bytes, false, &error)) return;
    QByteArray repaired = stretch.bytes;
    const QStringList repairs = ENEXDamageRepair::repair(repaired);
    Error repairedError;
    if (!repairs.isEmpty() && reader_(repaired, true, &repairedError)) {
        log_(stringWithFormat(
            localizedString("Repaired note “%@” at line %ld, column %ld of %@ (%@)"),
            {noteName(stretch), stretch.line, stretch.column, filePath_,
             repairs.join(QStringLiteral(", "))}));
        return;
    }
    // The parser's place counts from the note's start: it read the note alone.
    loseStretch(stretch, index,
                stringWithFormat(localizedString("%@ (counted from the note’s start)"),
                                 {error.localizedDescription()}));
}

void ENEXNoteRecovery::loseStretch(const ENEXNoteStretch& stretch, unsigned long index,
                                   const QString& reason) {
    ++lost_;
    QString problem;
    const QString kept = keepStretch(stretch, index, &problem);
    const QString where =
        kept.isEmpty()
            ? stringWithFormat(localizedString("its XML could not be kept: %@"), {problem})
            : stringWithFormat(localizedString("its XML is kept in %@"), {kept});
    log_(stringWithFormat(
        localizedString("Damaged note “%@” at line %ld, column %ld of %@ was not imported: %@; %@"),
        {noteName(stretch), stretch.line, stretch.column, filePath_, reason, where}));
    if (lostObserver_)
        lostObserver_(index, stretch.title,
                      stringWithFormat(localizedString("The note from line %ld, column %ld could "
                                                       "not be read: %@; %@"),
                                       {stretch.line, stretch.column, reason, where}));
}

QString ENEXNoteRecovery::keepStretch(const ENEXNoteStretch& stretch, unsigned long index,
                                      QString* problem) const {
    if (keepFolder_.isEmpty()) {
        *problem = localizedString("there is no log folder");
        return QString();
    }
    Error error;
    if (!FileOperations::makeDirectory(keepFolder_, true, &error)) {
        *problem = error.localizedDescription();
        return QString();
    }
    // Named after the file and the note's place in it, made safe and unique:
    // the file's name comes from outside.
    const QString base = QFileInfo(filePath_).completeBaseName();
    const QString name = QVExtensions::makeFilenameUniqueInDirectoryAtURL(
        QVExtensions::safeFileName(
            stringWithFormat(QStringLiteral("%@ note %lu.xml"), {base, index + 1})),
        keepFolder_);
    const QString path = keepFolder_ + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
        file.write(stretch.bytes) != stretch.bytes.size() || !file.flush()) {
        *problem = file.errorString();
        file.remove();
        return QString();
    }
    file.close();
    return path;
}
