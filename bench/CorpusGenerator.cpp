#include "bench/CorpusGenerator.h"

#include <cmath>

#include "bench/ENMLComposer.h"
#include "bench/SeededRandom.h"

namespace {

// Fixed dates keep the output independent of the day it is made.
const QDateTime kExportDate(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);
const QDateTime kEarliestCreation(QDate(2016, 1, 1), QTime(0, 0), Qt::UTC);
constexpr qint64 kCreationSpanSeconds = 8LL * 365 * 24 * 3600;
constexpr qint64 kEditSpanSeconds = 365LL * 24 * 3600;

}  // namespace

CorpusGenerator::CorpusGenerator(GeneratorOptions options) : options_(std::move(options)) {}

bool CorpusGenerator::isSingleAttachmentNote(qint64 index) const {
    const double share = options_.singleAttachmentShare;
    return std::floor(double(index + 1) * share) > std::floor(double(index) * share);
}

SyntheticAttachment CorpusGenerator::attachment(qint64 noteIndex, int attachmentIndex,
                                                SeededRandom& random) const {
    bool pdf = options_.attachmentKind == AttachmentKind::PDF;
    if (options_.attachmentKind == AttachmentKind::Mixed) pdf = random.chance(0.5);
    SyntheticAttachment result = pdf ? SyntheticAttachment::pdf(options_.attachmentBytes, random)
                                     : SyntheticAttachment::png(options_.attachmentBytes, random);
    result.setFileName(QStringLiteral("%1-%2-%3.%4")
                           .arg(pdf ? QStringLiteral("document") : QStringLiteral("image"))
                           .arg(noteIndex + 1, 6, 10, QLatin1Char('0'))
                           .arg(attachmentIndex + 1)
                           .arg(result.extension()));
    return result;
}

SyntheticNote CorpusGenerator::note(qint64 index) const {
    SeededRandom random(options_.seed, quint64(index));
    ENMLComposer composer(options_.constructs, random);
    SyntheticNote note;
    note.title = composer.title();
    note.created = kEarliestCreation.addSecs(random.between(0, kCreationSpanSeconds));
    note.updated = note.created.addSecs(random.between(0, kEditSpanSeconds));
    const int tags = int(random.between(0, 3));
    for (int i = 0; i < tags; ++i) {
        const QByteArray tag = composer.tagName();
        if (!note.tags.contains(tag)) note.tags << tag;
    }

    if (isSingleAttachmentNote(index)) {
        note.attachments << attachment(index, 0, random);
        note.body = ENMLComposer::mediaElement(note.attachments.first());
        return note;
    }
    QList<QByteArray> media;
    for (int i = 0; i < options_.attachmentsPerNote; ++i) {
        note.attachments << attachment(index, i, random);
        media << ENMLComposer::mediaElement(note.attachments.last());
    }
    note.body = composer.compose(options_.enmlBytes, options_.todosPerNote, media);
    return note;
}

bool CorpusGenerator::write(QIODevice& device, Error* error) {
    ENEXWriter writer(device);
    bool ok = writer.writeHeader(kExportDate);
    for (qint64 i = 0; ok && i < options_.notes; ++i) {
        const SyntheticNote made = note(i);
        ok = writer.writeNote(made);
        if (ok) {
            ++notesWritten_;
            attachmentsWritten_ += made.attachments.size();
        }
    }
    ok = ok && writer.writeFooter();
    bytesWritten_ = writer.bytesWritten();
    if (!ok) writer.error().report(error);
    return ok;
}
