// HTMLTextBuilder: the output side of the HTML importer. It receives the text
// of a document in reading order with the attributes each piece has, folds
// white space as HTML does, turns block boundaries into paragraph breaks
// ("\n") and gathers equal neighbouring attributes into one run, so that the
// AttributedString it builds holds one run per change of style, never one per
// character or per text node.
//
// White space: in normal text a run of blanks (space, tab, line feed, carriage
// return, form feed) becomes one space, dropped at the start and end of a line;
// U+00A0 is not white space. Preformatted text keeps every character and
// breaks paragraphs at its line ends; "pre-line" text folds blanks but keeps
// line ends.
//
// Paragraph styles: each paragraph takes the block style that is current when
// its first character (or its break, for an empty paragraph) is written.
//
// Markers: a list item's marker ("\t•\t") or a check-box marker is held back
// until the item's first content, so that an item whose text sits in an inner
// block still starts with its marker. Check-box markers (see
// setCheckBoxMarkers) keep their trailing blank even when nothing follows, and
// so does a line that the document's text starts with a marker's visible
// characters, so that a later pass still finds the marker at the line start.
//
// Not thread-safe; one builder per import.
#pragma once

#include <QString>
#include <QStringView>

#include "platform/richtext/AttributedString.h"

class HTMLTextBuilder {
  public:
    enum class WhiteSpace { Normal, Preserve, PreserveLineBreaks };

    // The indent one list level adds; a list marker hangs in it.
    static constexpr double ListIndent = 36;

    // The paragraph style of the block being read; used for the next paragraph started.
    void setBlockStyle(const ParagraphStyle& style) { blockStyle_ = style; }

    // The two texts check boxes become (as HTMLCheckBoxMarkers). Their
    // visible characters, without trailing blanks, are what a line must hold
    // alone for a following blank to be kept. Set before anything is appended;
    // without markers no blank is kept that way.
    void setCheckBoxMarkers(const QString& checked, const QString& unchecked);

    // Appends document text with `attributes`, white space handled per `mode`.
    void appendText(QStringView text, const TextAttributes& attributes, WhiteSpace mode);
    // Appends text that is not folded (a rule, a check box). With
    // `suppressSpaceAfter`, blanks that directly follow it are dropped.
    void appendContent(const QString& text, const TextAttributes& attributes,
                       bool suppressSpaceAfter = false);
    // Appends a check-box marker (as appendContent, blanks after it dropped)
    // and records where it starts.
    void appendCheckBox(const QString& marker, const TextAttributes& attributes);
    // Appends one attachment character (U+FFFC) with `attributes`, which must hold the attachment.
    void appendAttachment(const TextAttributes& attributes);

    // Holds `marker` back until the next content. A list marker ("\t•\t") also
    // gives its paragraph the list's first-line indent and marker tab stops.
    // A marker that is not a list marker is a check box: its position is
    // recorded when it is written.
    void setPendingMarker(const QString& marker, const TextAttributes& attributes,
                          bool isListMarker);
    // Writes a held-back marker now (an item without content still shows it).
    void flushPendingMarker();

    // A forced line break (<br>): ends the current paragraph, empty or not.
    void appendLineBreak(const TextAttributes& attributes);
    // A block boundary: ends the current paragraph when it has content.
    void endParagraph();
    // Writes an empty paragraph (a table cell with nothing in it).
    void appendEmptyParagraph(const TextAttributes& attributes);

    // Where each check box written so far starts, ascending.
    const QList<qsizetype>& checkBoxPositions() const { return checkBoxPositions_; }

    // How many paragraph breaks have been written so far.
    qsizetype paragraphBreakCount() const { return breaks_; }

    // The text built so far; the builder is left empty.
    AttributedString takeResult();

  private:
    void write(QStringView text, const TextAttributes& attributes);
    // The position the next written character will have.
    qsizetype writePosition() const { return result_.length() + run_.size(); }
    void emitBreak(const TextAttributes& attributes);
    void startLineIfNeeded();
    void useLineStyle(const ParagraphStyle& style);
    void flushRun();
    void writePendingSpace();
    bool lineIsBareCheckBox() const;
    static TextAttributes breakAttributes(TextAttributes attributes);

    AttributedString result_;
    QString run_;
    TextAttributes runAttributes_;
    ParagraphStyle runStyle_;

    ParagraphStyle blockStyle_;
    ParagraphStyle lineStyle_;
    bool lineStarted_ = false;   // the current paragraph has a style and characters
    bool spaceAllowed_ = false;  // a folded blank may become a space before the next content
    bool hasPendingSpace_ = false;
    TextAttributes pendingSpaceAttributes_;
    QString lineStart_;  // the first characters of the current paragraph, up to lineStartLength_
    QString bareCheckedMarker_;  // the markers without trailing blanks
    QString bareUncheckedMarker_;
    qsizetype lineStartLength_ = 0;

    bool hasPendingMarker_ = false;
    QString pendingMarker_;
    TextAttributes pendingMarkerAttributes_;
    bool pendingMarkerIsList_ = false;

    qsizetype breaks_ = 0;
    QList<qsizetype> checkBoxPositions_;
};
