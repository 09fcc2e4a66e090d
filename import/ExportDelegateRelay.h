// Carries an import run's callbacks to its delegate on the main thread, in
// the order issued, each exactly once. The end of a run and the other
// announcements wait for the main thread; a finished record does not: the
// worker counts it and goes on, and the main thread calls
// exportOperationDidExportRecord once for every count, always before any
// later callback. So a busy main thread slows the display, never the import.
//
// Threading: any thread. From the main thread every callback runs at once,
// after the records still on their way (never a deadlock).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "import/EvernoteExportOperationDelegate.h"

class ExportDelegateRelay {
  public:
    using Callback = std::function<void(EvernoteExportOperationDelegate*)>;

    // `operation` is the first argument of every callback.
    explicit ExportDelegateRelay(EvernoteExportOperation* operation);
    // Records still on their way are dropped: nothing reaches a delegate after.
    ~ExportDelegateRelay();
    ExportDelegateRelay(const ExportDelegateRelay&) = delete;
    ExportDelegateRelay& operator=(const ExportDelegateRelay&) = delete;

    // Read when a callback runs, not when it is issued.
    EvernoteExportOperationDelegate* delegate() const { return shared_->delegate.load(); }
    void setDelegate(EvernoteExportOperationDelegate* delegate) {
        shared_->delegate.store(delegate);
    }

    // Runs `callback` with the delegate (when there is one) on the main
    // thread after every record issued before it, and returns once it has run.
    void deliverAndWait(const Callback& callback);
    // One finished record: exportOperationDidExportRecord reaches the main
    // thread later, in order; returns at once (unless waitsForRecords).
    void deliverRecord();
    // When set, a record waits for its callback like the other callbacks: for
    // a delegate that must act on the run at an exact count, before the
    // worker goes on. Off by default. Set before the run.
    bool waitsForRecords() const { return waitsForRecords_.load(); }
    void setWaitsForRecords(bool waits) { waitsForRecords_.store(waits); }

  private:
    struct Shared {
        std::recursive_mutex mutex;  // a delegate may run the event loop inside a callback
        EvernoteExportOperation* operation = nullptr;
        std::atomic<EvernoteExportOperationDelegate*> delegate{nullptr};
        std::atomic<unsigned long> pendingRecords{0};
    };
    // Main thread: sends the records counted so far.
    static void deliverPendingRecords(Shared& shared);

    std::shared_ptr<Shared> shared_;
    std::atomic<bool> waitsForRecords_{false};
};
