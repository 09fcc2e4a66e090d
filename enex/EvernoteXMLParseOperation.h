// The ENEX parser: reads one ENEX file as a stream and turns it, note by note,
// into item dictionaries. For every <note> it fills an EvernoteNoteRecord with
// its EvernoteXMLResource attachments and hands it to a converter
// (EvernoteXMLItem::itemDictInGroup) on the conversion pool, which converts
// notes in parallel, one worker per core. The results come back in document
// order: for each note, in turn, the log line "Converting" (and "Skipping"
// when it failed) and one call of the item block. When the document ends or
// fails, the notes read before are still handed on, then the completion block
// is called, exactly once.
//
// Memory stays bounded by the largest note times the pool's depth: the file
// is read in chunks, and the parser waits while the pool is full.
//
// Threading: the parse, every callback and both blocks run on the thread of
// the queue that runs the operation; the conversions run on the pool's
// workers. cancel() may come from any thread, also from the item block: it
// makes the parse end through the parser's error path, drops the notes not
// yet handed on (their files removed) and calls the completion block once the
// running conversions have ended; a parse cancelled before it started calls it
// when its queue starts it.
#pragma once

#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "enex/ENEXDamageReport.h"
#include "enex/EvernoteConversionPool.h"
#include "enex/EvernoteEncryptedPassages.h"
#include "enex/EvernoteNoteFingerprint.h"
#include "enex/EvernoteNoteLinks.h"
#include "enex/EvernoteNoteRecord.h"
#include "platform/foundation/Operation.h"
#include "platform/foundation/OutputStream.h"
#include "platform/plist/PlistValue.h"
#include "platform/xml/XMLStreamParser.h"

inline const QString kEvernoteXMLParseOperationErrorDomain =
    QStringLiteral("EvernoteXMLParseOperationErrorDomain");
enum EvernoteXMLParseOperationErrorCode : long {
    EvernoteXMLParseCannotCreateInputStream = 1001,
    EvernoteXMLParseCannotCreateParser = 1002,
    EvernoteXMLParseUnsupportedDataEncoding = 1003,
    EvernoteXMLParseConversionException = 1004,
    // With recovery on: the file holds no note that can be read.
    EvernoteXMLParseNotENEX = 1005,
    // With recovery on: a CDATA section in a note's content runs past its
    // </content>, which would swallow the notes after it.
    EvernoteXMLParseUnclosedSection = 1006,
    // With recovery on: a note that could not be read even after the known
    // repairs (the message says where and why).
    EvernoteXMLParseNoteLost = 1007,
};

class ConversionWarnings;

class EvernoteXMLParseOperation : public Operation, private XMLStreamParserDelegate {
  public:
    using ItemBlock =
        std::function<void(const std::optional<PlistDictionary>& itemDict, const Error& error)>;
    using CompletionBlock = std::function<void(const Error& error)>;
    // A note lost to damage: its place in the file (counted from 0), its
    // title (empty when the scan could not read it) and error 1007.
    using LostNoteBlock =
        std::function<void(unsigned long index, const QString& title, const Error& error)>;
    // Asked on a converter's worker, before the note converts, with the
    // note's digests; must be thread-safe.
    using LibraryCheck = std::function<EvernoteLibraryMatch(const EvernoteNoteFingerprint&)>;
    using DuplicateBlock =
        std::function<void(const QString& title, const PelmoraLibraryItem& holder)>;

    // A new parse of `fileURL` whose items are written into `directoryURL` and
    // belong to `group`. The caller sets logStream, debugMode and the blocks,
    // then adds it to a queue.
    static std::shared_ptr<EvernoteXMLParseOperation> evernoteParseOperationForFileAtURL(
        const QUrl& fileURL, const QUrl& directoryURL, const PlistDictionary& group);
    // Error 1005: the file at `path` could not be read as ENEX, for `cause`.
    static Error notENEXError(const QString& path, const Error& cause);

    EvernoteXMLParseOperation();
    ~EvernoteXMLParseOperation() override;

    QUrl evernoteFileURL() const { return evernoteFileURL_; }
    QUrl directoryURL() const { return directoryURL_; }
    PlistDictionary groupDict() const { return groupDict_; }
    bool debugMode() const { return debugMode_; }
    void setDebugMode(bool debug) { debugMode_ = debug; }
    // The import log (not owned; must outlive the parse). May be null.
    void setLogStream(OutputStream* stream) { logStream_ = stream; }
    Error operationError() const { return operationError_; }
    // The run's passphrases and passage counts, handed to every converter; may be null.
    void setEncryptedPassages(std::shared_ptr<EvernoteEncryptedPassages> passages) {
        encryptedPassages_ = std::move(passages);
    }
    // The run's links between notes (shared; may be null): with them, each
    // note takes the identifier that links to it name, and its own links
    // lead to the notes they name.
    void setNoteLinks(std::shared_ptr<EvernoteNoteLinks> links) { noteLinks_ = std::move(links); }
    // How many notes convert at once; 0 (the default) for one per core.
    void setWorkerCount(int count) { workerCount_ = count; }
    // Attachments larger than this are decoded into a hidden file in the
    // notebook folder instead of memory (EvernoteXMLResource).
    void setAttachmentMemoryLimit(qint64 bytes) { attachmentMemoryLimit_ = bytes; }
    // With recovery on, damage no longer ends the file: from the note where
    // the parser stopped on, the file is read note by note, repaired where
    // the damage is known (ENEXNoteRecovery), and the completion block gets
    // no error for it; damageReport() then accounts for every note. Off (the
    // default), the first fatal error ends the parse with that error. A sound
    // file is read the same way either way. Set before the run.
    bool recoversDamage() const { return recoversDamage_; }
    void setRecoversDamage(bool recovers) { recoversDamage_ = recovers; }
    // Where the raw XML of a lost note is kept (beside the import log).
    void setDamagedNotesFolder(const QString& path) { damagedNotesFolder_ = path; }
    // What the parse came to, note by note; meaningful once the completion
    // block runs (in it, or after it), and showing damage only after a
    // recovery.
    ENEXDamageReport damageReport() const { return report_; }
    void setParseOperationDidExportItemBlock(ItemBlock block) { itemBlock_ = std::move(block); }
    // With a library check, a note that the check finds held by an item of
    // the library is not converted: its attachment files are removed, and in
    // its turn the duplicate block (not the item block) is called with its
    // title and the item that holds it. Every converted item carries its
    // "evernoteFingerprint" and "evernoteNoteKey", with a check or without.
    // Set before the run.
    void setLibraryCheck(LibraryCheck check) { libraryCheck_ = std::move(check); }
    void setParseOperationDidFindDuplicateBlock(DuplicateBlock block) {
        duplicateBlock_ = std::move(block);
    }
    // The item of the library that holds the note being handed on as it was
    // before it changed (its note key matched, its fingerprint did not);
    // valid only while the item block runs.
    std::optional<PelmoraLibraryItem> earlierVersionOfNoteBeingHandedOn() const {
        return handingOn_ ? handingOn_->earlierVersion : std::nullopt;
    }
    // The title of the note whose result the item block is being given (a
    // skipped note has no item to name it); valid only while the block runs,
    // on the parser's thread.
    QString titleOfNoteBeingHandedOn() const { return handingOn_ ? handingOn_->title : QString(); }
    // The whole result being given to the item block or the duplicate block
    // (its dates, attachments and warnings), and the note's place in the
    // file, counted from 0; valid only while the block runs, on the parser's
    // thread (null otherwise).
    const EvernoteConversionResult* resultOfNoteBeingHandedOn() const { return handingOn_; }
    unsigned long indexOfNoteBeingHandedOn() const { return indexHandedOn_; }
    // Whether that note was read only after a repair of its XML (recovery on).
    bool wasNoteBeingHandedOnRepaired() const { return repairedHandedOn_; }
    // Called on the parser's thread for each note lost to damage (recovery
    // on), when it is met: before the notes ahead of it may have been handed on.
    void setParseOperationDidLoseNoteBlock(LostNoteBlock block) {
        lostNoteBlock_ = std::move(block);
    }
    void setParseOperationCompletionBlock(CompletionBlock block) {
        completionBlock_ = std::move(block);
    }

    bool isAsynchronous() const override { return true; }
    // Runs the parse; one cancelled before it runs reads nothing but still
    // calls the completion block (with no error), since whoever added it
    // waits for that block to learn that the file is done.
    void start() override;
    void main() override;
    // Marks the operation cancelled, then tells the parser to abort.
    void cancel() override;
    // Finishing: marks finished, aborts the parser, calls the completion block
    // with operationError. Only the first call has an effect.
    void setOperationFinished(bool finished);

  private:
    // Parser events.
    void didStartElement(const QString& name, const QList<XMLAttribute>& attributes) override;
    void foundCharacters(const QString& text) override;
    void foundCDATA(const QByteArray& bytes) override;
    void didEndElement(const QString& name) override;
    void parseErrorOccurred(const Error& error) override;
    void didEndDocument() override;

    void startNoteChild(const QList<XMLAttribute>& attributes);
    void endNoteChild();
    void takeFieldText(const QString& text);
    // Keeps the field that just ended among the note's or the attachment's attributes.
    void keepNoteAttribute(const QString& text);
    void keepResourceAttribute(const QString& text);
    void finishNote();
    void addToPool(std::unique_ptr<EvernoteXMLItem> item, bool repaired, unsigned long index);
    // Recovery: reads the file on note by note after damage met at damageError_.
    void recoverAfterDamage();
    // Reads one note's XML; its note goes to the pool once the whole stretch parsed.
    bool readNoteStretch(const QByteArray& noteXML, bool repaired, Error* error);
    void stopAtUnclosedSection();
    void resetNoteState();
    // Hands on, in order, the results that are ready; with `untilRoom`,
    // waits for results until the pool can take another note.
    void handOnConvertedNotes(bool untilRoom);
    // Hands on every note still in the pool, waiting for each.
    void handOnRemainingNotes();
    void handOn(const EvernoteConversionResult& result);
    void handOnDuplicate(const EvernoteConversionResult& result, unsigned long index);
    EvernoteConversionResult convert(EvernoteXMLItem& item) const;
    // Copies what the run's report tells of a converted (or failed) note into `result`.
    static void takeReportedFacts(const EvernoteNoteRecord& record,
                                  const ConversionWarnings& warnings,
                                  EvernoteConversionResult& result);
    void log(const QString& line) const;

    // The note's elements whose text the parser keeps, by where they stand
    // below <note>. White space between elements belongs to none of them.
    enum class Field {
        None,
        Title,
        Content,
        Created,
        Updated,
        Tag,
        Source,
        SourceURL,
        NoteAttribute,  // any other field of "note-attributes"
        ResourceData,
        ResourceMime,
        ResourceWidth,
        ResourceHeight,
        ResourceFileName,
        ResourceTimestamp,
        ResourceAttribute,  // any other field of "resource-attributes"
        TaskTitle,
        TaskStatus,
        TaskSortWeight,
        TaskGroup,
        TaskDueDate,
        TaskDueDateOption,
        TaskTimeZone,
        TaskFlag,
        TaskReminderDate,
        TaskReminderTimeZone,
    };
    Field fieldForPath() const;

    QUrl evernoteFileURL_;
    QUrl directoryURL_;
    PlistDictionary groupDict_;
    PlistDictionary conversionGroup_;  // a private copy the workers read
    int workerCount_ = 0;
    qint64 attachmentMemoryLimit_ = EvernoteXMLResource::kDefaultMemoryLimit;
    bool debugMode_ = false;
    std::shared_ptr<EvernoteEncryptedPassages> encryptedPassages_;
    std::shared_ptr<EvernoteNoteLinks> noteLinks_;
    OutputStream* logStream_ = nullptr;
    Error operationError_;
    ItemBlock itemBlock_;
    const EvernoteConversionResult* handingOn_ = nullptr;
    unsigned long indexHandedOn_ = 0;
    bool repairedHandedOn_ = false;
    LostNoteBlock lostNoteBlock_;
    LibraryCheck libraryCheck_;
    DuplicateBlock duplicateBlock_;
    CompletionBlock completionBlock_;

    std::mutex parserMutex_;  // guards parser_ and pool_ against cancel() from another thread
    XMLStreamParser* parser_ = nullptr;
    std::unique_ptr<EvernoteConversionPool> pool_;
    bool finished_ = false;
    bool documentEnded_ = false;  // the parser reported the end; it is returning
    bool pastEnd() const { return finished_ || documentEnded_; }

    QStringList path_;  // the open elements below <note>, outermost first
    Field field_ = Field::None;
    QString fieldText_;  // the text of field_ read so far
    QString fieldKey_;   // the "key" of an attribute field (application data)
    std::unique_ptr<EvernoteNoteRecord> currentNote_;
    std::unique_ptr<EvernoteXMLResource> currentResource_;
    std::unique_ptr<EvernoteXMLTask> currentTask_;

    bool recoversDamage_ = false;
    QString damagedNotesFolder_;
    Error damageError_;            // the damage the stream parse stopped at
    bool readingStretch_ = false;  // a note stretch is being parsed, not the file
    unsigned long notesRead_ = 0;  // notes the stream parse finished
    std::vector<std::unique_ptr<EvernoteXMLItem>> stretchNotes_;  // held until the stretch parsed
    // Per note in the pool, in order: whether it was read after a repair, and its place in the
    // file.
    struct PooledNote {
        bool repaired = false;
        unsigned long index = 0;
    };
    std::deque<PooledNote> pooled_;
    unsigned long stretchIndex_ = 0;  // the place in the file of the stretch being read
    ENEXDamageReport report_;
};
