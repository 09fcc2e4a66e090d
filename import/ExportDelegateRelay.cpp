#include "import/ExportDelegateRelay.h"

#include "platform/foundation/Operation.h"
#include "util/QueueUtilities.h"

ExportDelegateRelay::ExportDelegateRelay(EvernoteExportOperation* operation)
    : shared_(std::make_shared<Shared>()) {
    shared_->operation = operation;
}

ExportDelegateRelay::~ExportDelegateRelay() {
    std::lock_guard lock(shared_->mutex);
    shared_->operation = nullptr;
}

void ExportDelegateRelay::deliverPendingRecords(Shared& shared) {
    std::lock_guard lock(shared.mutex);
    // Taking the whole count at once: every record counted before this
    // exchange is sent now, every later one by the delivery its count posted.
    for (unsigned long n = shared.pendingRecords.exchange(0); n > 0 && shared.operation; --n)
        if (EvernoteExportOperationDelegate* d = shared.delegate.load())
            d->exportOperationDidExportRecord(shared.operation);
}

void ExportDelegateRelay::deliverAndWait(const Callback& callback) {
    auto run = [shared = shared_, callback] {
        deliverPendingRecords(*shared);
        std::lock_guard lock(shared->mutex);
        if (!shared->operation) return;
        if (EvernoteExportOperationDelegate* d = shared->delegate.load()) callback(d);
    };
    if (OperationQueue::isMainThread())
        run();
    else
        PMExtensions::addOperationWithBlockAndWaitUntilFinished(OperationQueue::mainQueue(), run);
}

void ExportDelegateRelay::deliverRecord() {
    if (waitsForRecords()) {
        deliverAndWait([operation = shared_->operation](auto* d) {
            d->exportOperationDidExportRecord(operation);
        });
        return;
    }
    // Only the count that finds none pending posts a delivery: at most one is
    // ever queued, however far the main thread falls behind.
    if (shared_->pendingRecords.fetch_add(1) != 0) return;
    if (OperationQueue::isMainThread()) {
        deliverPendingRecords(*shared_);
        return;
    }
    OperationQueue::mainQueue().addOperationWithBlock(
        [shared = shared_] { deliverPendingRecords(*shared); });
}
