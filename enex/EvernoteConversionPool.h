// The note conversion pool: converts notes in parallel on a fixed number of
// worker threads and hands the results back in the order the notes were
// added, each exactly once.
//
// The pool holds at most `depth` notes that were added and not yet taken
// back (queued, converting, or converted and waiting for their turn), so
// memory stays bounded by the depth whatever the number of notes. A note's
// converter (with its record and attachment files) is destroyed on its worker
// as soon as its conversion ends.
//
// Threading: add(), takeNext(), isFull() and isEmpty() are called by one
// thread, the producer (the ENEX parser's thread); cancel() may come from any
// thread, also from inside the producer's own handling of a result. The
// destructor cancels what is left and joins the workers.
#pragma once

#include <QDateTime>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "enex/EvernoteNamingOrder.h"
#include "enex/EvernoteXMLItem.h"
#include "platform/apps/PelmoraLibraryQuery.h"
#include "platform/foundation/Error.h"
#include "platform/plist/PlistValue.h"

struct EvernoteConversionResult {
    QString title;                            // the note's title, for the log
    std::optional<PlistDictionary> itemDict;  // none when the note was skipped
    Error error;                              // why it was skipped, when it was
    // What the run's report tells of the note, whether it converted or not.
    QDateTime created;           // invalid when the note has none
    QDateTime updated;           // invalid when the note has none
    qsizetype attachments = 0;   // its attachments
    qint64 attachmentBytes = 0;  // their decoded bytes
    QStringList warnings;        // what its conversion logged for the user (ConversionWarnings)
    // Set when the note was not converted because the library holds it
    // already (itemDict is then none and error null).
    std::optional<PelmoraLibraryItem> duplicateOf;
    // An item of the same note before it changed, for the log.
    std::optional<PelmoraLibraryItem> earlierVersion;
};

class EvernoteConversionPool {
  public:
    // Converts one note on a worker; must not throw (the caller catches).
    using Convert = std::function<EvernoteConversionResult(EvernoteXMLItem& item)>;

    // A pool of `workers` threads (at least one) holding at most `depth`
    // notes (at least `workers`).
    EvernoteConversionPool(int workers, int depth, Convert convert);
    ~EvernoteConversionPool();

    EvernoteConversionPool(const EvernoteConversionPool&) = delete;
    EvernoteConversionPool& operator=(const EvernoteConversionPool&) = delete;

    // The number of workers for this machine: one per core.
    static int idealWorkerCount();

    // Queues `item` for conversion after every note added before it.
    // REQUIRES: !isFull(). After cancel() the item is dropped at once.
    void add(std::unique_ptr<EvernoteXMLItem> item);
    // Whether `depth` notes are out and none can be added before one is taken.
    bool isFull() const;
    // Whether every note added has been taken back (or dropped by a cancel).
    bool isEmpty() const;
    // The result of the oldest note not yet taken, once it is converted. With
    // `wait`, blocks until it is; without, none when it is not ready yet.
    // None as well after cancel() and when nothing is out.
    std::optional<EvernoteConversionResult> takeNext(bool wait);

    // Drops every queued note and every result not yet taken (removing the
    // files their conversion wrote, since no one will list them), lets the
    // running conversions end and drops their results too, and wakes a
    // waiting takeNext(). Final.
    void cancel();

  private:
    struct Job {
        quint64 sequence;
        std::unique_ptr<EvernoteXMLItem> item;
    };
    void work();
    static void discard(const EvernoteConversionResult& result);

    const int depth_;
    const Convert convert_;
    mutable std::mutex mutex_;
    std::condition_variable jobAvailable_;
    std::condition_variable resultReady_;
    std::deque<Job> queue_;
    std::map<quint64, EvernoteConversionResult> results_;  // converted, by sequence
    quint64 nextSequence_ = 0;                             // the sequence of the next note added
    quint64 nextToTake_ = 0;           // the sequence of the next result handed back
    EvernoteNamingOrder namingOrder_;  // file names are chosen in the order notes were added
    bool cancelled_ = false;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
