// RTFParser: the reading of one RTF document. It drives the tokenizer,
// keeps the group states (destination, character and paragraph
// properties, \uc), hands the header groups to the font, colour and list
// tables and the table words to the table builder, and builds the text: runs
// with their attributes, paragraphs with their styles, links from
// HYPERLINK fields, attachments from NeXTGraphic groups, and the document
// attributes. RTFReader is its public face; see there for what is read.
//
// Limits: groups nest at most kMaxGroupDepth deep and tables at most
// RTFTableBuilder::kMaxDepth; a row holds at most
// RTFTableBuilder::kMaxCellsPerRow cells. Past a limit the parsing stops with
// an error (domain "NSCocoaErrorDomain", code 259) rather than drop text.
//
// Not thread-safe; one per reading. Refers to the data and the results it
// fills, which must outlive it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <cstddef>
#include <optional>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/richtext/AttributedString.h"
#include "platform/richtext/RTFColorTable.h"
#include "platform/richtext/RTFDocumentAttributes.h"
#include "platform/richtext/RTFFontTable.h"
#include "platform/richtext/RTFListTable.h"
#include "platform/richtext/RTFReader.h"
#include "platform/richtext/RTFTableBuilder.h"
#include "platform/richtext/RTFTokenizer.h"

class RTFParser {
  public:
    static constexpr std::size_t kMaxGroupDepth = 512;

    RTFParser(const QByteArray& data, AttributedString& text, RTFDocumentAttributes& document,
              QList<RTFAttachmentReference>& attachments)
        : data_(data),
          text_(text),
          document_(document),
          attachments_(attachments),
          start_(contentStart(data)),
          tokenizer_(data, start_),
          tables_(colors_) {}

    // Reads the whole data into the text, the document attributes and the
    // attachments. False with the error (code 259) when the data is not RTF
    // or passes a limit; damaged RTF is read as far as it goes. Call once.
    bool parse(Error* error);

  private:
    enum class Destination {
        Text,
        Skip,
        FontTable,
        ColorTable,
        ExpandedColorTable,
        ListTable,
        List,
        ListLevel,
        LevelMarker,
        LevelText,
        ListOverrideTable,
        FieldInstruction,
        NeXTGraphic,
        Background,
        ShapeName,
        ShapeValue,
    };

    struct ParagraphProperties {
        TextAlignment alignment = TextAlignment::Natural;
        int leftIndent = 0;  // twips
        int firstIndent = 0;
        int rightIndent = 0;
        int spaceBefore = 0;
        int spaceAfter = 0;
        int lineSpacing = 0;  // \sl
        bool lineMultiple = false;
        int leading = 0;
        int minimumHeight = 0;
        int maximumHeight = 0;
        QList<TextTab> tabs;
        TextTab::Alignment pendingTabAlignment = TextTab::Alignment::Left;
        int defaultTab = 0;
        int list = 0;  // \ls
        int listLevel = 0;
        int tableDepth = 0;  // \itap, or 1 for \intbl
    };

    struct CharacterProperties {
        int font = -1;  // -1: the document's default font
        double pointSize = 12;
        bool bold = false;
        bool italic = false;
        TextDecoration::Style underline = TextDecoration::Style::None;
        int underlineColor = 0;
        TextDecoration::Style strike = TextDecoration::Style::None;
        int strikeColor = 0;
        int superscript = 0;
        double baselineOffset = 0;
        int foreground = 0;
        int background = 0;
    };

    struct GroupState {
        Destination destination = Destination::Text;
        bool ignorable = false;  // after \*: skip unless the next word is known
        CharacterProperties character;
        ParagraphProperties paragraph;
        std::optional<QUrl> link;
        int unicodeSkip = 1;  // \uc
        int field = -1;
        int pendingAttachment = -1;  // an attachment waiting for its placeholder character
        int attachment = -1;         // the attachment a NeXTGraphic group describes
    };

    struct AttachmentBuilder {
        QByteArray nameBytes;
        bool nameEnded = false;
        double width = 0;
        double height = 0;
    };

    // tokens and groups
    static qsizetype contentStart(const QByteArray& data);
    void run();
    GroupState& state() { return stack_.back(); }
    void fail(const QString& reason);
    void openGroup();
    void closeGroup();
    void finishBackgroundShape();

    // text
    int currentCodePage() const;
    void textBytes(QByteArrayView bytes);
    void textByte(int byte);
    void flush();
    void appendText(const QString& text);
    void appendCharacter(char16_t character);
    void unicodeCharacter(int value);
    TextAttributes characterAttributes();

    // paragraphs
    ParagraphStyle paragraphStyle(const ParagraphProperties& p, int tableDepth);
    void endParagraph(bool addTerminator, int tableDepth);
    void finishParagraph(bool always, int tableDepth = -1);
    void applyParagraphStyle(const ParagraphProperties& p, int depth);
    void paragraphBreak();

    // tables
    void endCell(int depth);
    void endRow(int depth);
    void failTooManyCells();

    // attachments
    void finishAttachmentName(int index);
    void emitAttachment(int index);

    // control words
    void controlSymbol(char c);
    void controlWord(const QByteArray& w, bool hasParameter, int n);
    bool destinationWord(const QByteArray& w);
    static std::optional<QUrl> hyperlink(const QString& instruction);
    bool specialCharacter(const QByteArray& w);
    bool documentWord(const QByteArray& w, int n);
    bool tableWord(const QByteArray& w, int n);
    bool paragraphWord(const QByteArray& w, int n);
    void characterWord(const QByteArray& w, bool hasParameter, int n);
    void attachmentWord(const QByteArray& w, int n);

    const QByteArray& data_;
    AttributedString& text_;
    RTFDocumentAttributes& document_;
    QList<RTFAttachmentReference>& attachments_;

    const qsizetype start_;  // of "{\rtf", after a byte order mark and white space
    RTFTokenizer tokenizer_;
    std::vector<GroupState> stack_;
    std::optional<Error> failure_;
    QByteArray pendingBytes_;
    int codePage_ = 1252;
    qsizetype paragraphStart_ = 0;
    ParagraphProperties lastParagraph_;

    RTFFontTable fonts_;
    RTFColorTable colors_;
    RTFListTable lists_;
    RTFTableBuilder tables_;

    struct Field {
        QString instruction;
    };
    std::vector<Field> fields_;
    std::vector<AttachmentBuilder> attachmentBuilders_;
    QString shapeName_;
    QString shapeValue_;
};
