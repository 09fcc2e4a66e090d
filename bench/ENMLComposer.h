// ENMLComposer: the body of a synthetic note (what goes inside <en-note>), as
// UTF-8 bytes, shaped like what the desktop client writes: one div per
// paragraph, and the formatting constructs chosen on the command line.
//
// Bodies are built as UTF-8 bytes rather than QString because they go
// straight into the byte stream of the export and their size is asked for in
// bytes.
#pragma once

#include <QByteArray>
#include <QList>

class SeededRandom;
class SyntheticAttachment;

class ENMLComposer {
  public:
    // `constructs` is a set of ENMLConstruct flags; all choices come from `random`,
    // which must outlive the composer.
    ENMLComposer(unsigned constructs, SeededRandom& random);

    // A body of about `targetBytes` bytes (the last block may overshoot it by a
    // few hundred): an opening paragraph, each selected construct at least once
    // (even past the target), then paragraphs and constructs at random.
    // Then `todoLines` lines that each start with an en-todo check box, on top
    // of the target size. `media` (en-media elements) are spread through the
    // body before the to-do lines, each in its own div.
    QByteArray compose(qint64 targetBytes, qint64 todoLines, const QList<QByteArray>& media);

    // The en-media element that shows `attachment`; its hash is the MD5 of the bytes.
    static QByteArray mediaElement(const SyntheticAttachment& attachment);

    // A plain title of a few words, without edge white space or line breaks.
    QByteArray title();
    // One tag name from a small fixed set, so that tags repeat across notes.
    QByteArray tagName();

  private:
    QByteArray words(int count);
    QByteArray sentence();
    QByteArray paragraph();
    QByteArray styledParagraph();
    QByteArray list(int depth);
    QByteArray table();
    QByteArray todos();
    QByteArray todoLine();
    QByteArray linkParagraph();
    QByteArray codeBlock();
    QByteArray highlightParagraph();
    QByteArray constructBlock(unsigned construct);
    QByteArray randomBlock();

    unsigned constructs_;
    SeededRandom& random_;
    qint64 linkCounter_ = 0;
};
