// CorpusGenerator: turns GeneratorOptions into a synthetic ENEX export. Each
// note is made from its own random stream (the seed and the note's index), so
// a note does not depend on the notes before it and the whole export is the
// same bytes for the same options.
#pragma once

#include <QIODevice>

#include "bench/ENEXWriter.h"
#include "bench/GeneratorOptions.h"

class CorpusGenerator {
  public:
    explicit CorpusGenerator(GeneratorOptions options);

    // Whether note `index` (from 0) is one attachment and nothing else. The
    // share is exact and spread evenly: of the first n notes,
    // floor(n × share) are single attachments.
    bool isSingleAttachmentNote(qint64 index) const;

    // Note `index`: a single attachment, or a body of about enmlBytes with
    // attachmentsPerNote attachments.
    SyntheticNote note(qint64 index) const;

    // Writes the whole export onto `device` (open for writing), one note in
    // memory at a time. Returns false with `error` set when a write fails.
    bool write(QIODevice& device, Error* error = nullptr);

    qint64 notesWritten() const { return notesWritten_; }
    qint64 attachmentsWritten() const { return attachmentsWritten_; }
    qint64 bytesWritten() const { return bytesWritten_; }

  private:
    SyntheticAttachment attachment(qint64 noteIndex, int attachmentIndex,
                                   SeededRandom& random) const;

    GeneratorOptions options_;
    qint64 notesWritten_ = 0;
    qint64 attachmentsWritten_ = 0;
    qint64 bytesWritten_ = 0;
};
