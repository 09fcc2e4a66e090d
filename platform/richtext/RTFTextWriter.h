// RTFTextWriter: writes the body of the RTF: paragraphs with their
// paragraph words (restated only when the style changes), list membership
// (\ls, \ilvl) and rendered markers as {\listtext}, character runs with the
// character words that change between them, links as HYPERLINK fields,
// attachments as NeXTGraphic groups with the 0xAC placeholder byte, and
// tables through RTFTableWriter. Fonts, colours and lists are entered in the
// header writer as they are met.
//
// Not thread-safe; one per writing. Refers to the text, the header writer
// and the attachment names, which must outlive it.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>
#include <vector>

#include "platform/richtext/AttributedString.h"
#include "platform/richtext/RTFHeaderWriter.h"
#include "platform/richtext/RTFTableWriter.h"
#include "platform/richtext/RTFWriterParagraph.h"

class RTFTextWriter final : private RTFTableWriter::TextWriter {
  public:
    // Cocoa ends background runs with \cb1, the white entry of the colour table.
    static constexpr int kNoBackground = 1;

    RTFTextWriter(const AttributedString& text, RTFHeaderWriter& header,
                  const QHash<qsizetype, QString>& attachmentNames)
        : text_(text),
          header_(header),
          attachmentNames_(attachmentNames),
          tables_(paragraphs_, header, *this, out_) {}

    // The body of the whole text, from the first paragraph's words to the
    // last character (the document's closing brace is not part of it). Call once.
    QByteArray write();

  private:
    // The character formatting in effect in the output, in RTF's own terms.
    struct CharacterState {
        int font = -1;
        int halfPoints = -1;
        int milliPoints = -1;
        bool bold = false;
        bool italic = false;
        TextDecoration::Style underline = TextDecoration::Style::None;
        int underlineColor = 0;
        TextDecoration::Style strike = TextDecoration::Style::None;
        int strikeColor = 0;
        int superscript = 0;
        int baselineHalfPoints = 0;
        int foreground = 0;
        int background = kNoBackground;
    };

    void collectParagraphs();
    void enterHeaderEntries();

    void writeParagraphs(qsizetype first, qsizetype last, int level) override;
    void writeParagraph(qsizetype index, const QByteArray& endWord) override;
    void closeParagraphForNewWords() override;
    void delimitParagraphWords(qsizetype wordsEnd);

    QByteArray paragraphWords(const ParagraphStyle& s);
    qsizetype markerLength(const RTFWriterParagraph& p) const;
    void writeRuns(const TextRange& range);
    void writePiece(const TextAttributes& attributes, const TextRange& range);
    void writeAttachment(const TextAttachment& attachment, qsizetype index);
    CharacterState characterState(const TextAttributes& a);
    void writeCharacterState(const TextAttributes& a);

    const AttributedString& text_;
    RTFHeaderWriter& header_;
    const QHash<qsizetype, QString>& attachmentNames_;
    std::vector<RTFWriterParagraph> paragraphs_;
    CharacterState state_;
    std::optional<ParagraphStyle> previousStyle_;
    QByteArray out_;
    RTFTableWriter tables_;
};
