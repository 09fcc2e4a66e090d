#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "import/ExportDelegateRelay.h"
#include "tests/support/RecordingDelegate.h"
#include "tests/support/TestEnvironment.h"

namespace {

// A one-shot signal between threads. wait() gives up after a long guard so
// that a broken relay fails the test instead of hanging it.
class Latch {
  public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool wait() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(60), [this] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

// The order of the callbacks, records included.
struct OrderDelegate : RecordingDelegate {
    QStringList order;
    void exportOperationDidExportRecord(EvernoteExportOperation* operation) override {
        order << QStringLiteral("record");
        RecordingDelegate::exportOperationDidExportRecord(operation);
    }
    void exportOperationWillExportRecordsFromNotebook(EvernoteExportOperation* operation,
                                                      unsigned long count,
                                                      const QString& name) override {
        order << QStringLiteral("notebook");
        RecordingDelegate::exportOperationWillExportRecordsFromNotebook(operation, count, name);
    }
    void exportOperationDidEnd(EvernoteExportOperation* operation) override {
        order << QStringLiteral("end");
        RecordingDelegate::exportOperationDidEnd(operation);
    }
};

QStringList expectedOrder(const QStringList& head, int records, const QString& tail) {
    QStringList order = head;
    for (int i = 0; i < records; ++i) order << QStringLiteral("record");
    return order << tail;
}

auto* const kOperation =
    reinterpret_cast<EvernoteExportOperation*>(0x1);  // only passed on, never used

}  // namespace

// The worker hands 1,000 records to a main thread that is stuck in the first
// one's callback: it still gets through all of them (it never waits per
// record), and the delegate then sees every count, in order, and the end last.
TEST(ExportDelegateRelayTest, RecordsDoNotWaitForTheMainThreadAndAllArriveBeforeTheEnd) {
    constexpr int kRecords = 1000;
    OrderDelegate delegate;
    ExportDelegateRelay relay(kOperation);
    relay.setDelegate(&delegate);
    Latch allIssued;
    bool workerGotThrough = false;
    delegate.onRecord = [&](int exported) {
        if (exported == 1) workerGotThrough = allIssued.wait();
    };
    std::thread worker([&] {
        relay.deliverAndWait([](auto* d) {
            d->exportOperationWillExportRecordsFromNotebook(kOperation, kRecords,
                                                            QStringLiteral("N"));
        });
        for (int i = 0; i < kRecords; ++i) relay.deliverRecord();
        allIssued.open();
        relay.deliverAndWait([](auto* d) { d->exportOperationDidEnd(kOperation); });
    });
    EXPECT_TRUE(runEventLoopUntil([&] { return delegate.ended.load(); }, 120000));
    worker.join();
    EXPECT_TRUE(workerGotThrough);
    EXPECT_EQ(delegate.exported, kRecords);
    EXPECT_EQ(delegate.order,
              expectedOrder({QStringLiteral("notebook")}, kRecords, QStringLiteral("end")));
    EXPECT_TRUE(delegate.allOnMainThread);
}

// Called on the main thread itself, every callback runs at once, and still
// after the records issued before it.
TEST(ExportDelegateRelayTest, OnTheMainThreadCallbacksRunAtOnceInOrder) {
    OrderDelegate delegate;
    ExportDelegateRelay relay(kOperation);
    relay.setDelegate(&delegate);
    for (int i = 0; i < 3; ++i) relay.deliverRecord();
    relay.deliverAndWait([](auto* d) { d->exportOperationDidEnd(kOperation); });
    EXPECT_EQ(delegate.order, expectedOrder({}, 3, QStringLiteral("end")));
}

// Records from a worker while the main thread is busy elsewhere pile up as a
// count, not as queued events; a relay destroyed before they arrive sends
// nothing more to its delegate.
TEST(ExportDelegateRelayTest, RecordsOfADestroyedRelayAreDropped) {
    OrderDelegate delegate;
    {
        ExportDelegateRelay relay(kOperation);
        relay.setDelegate(&delegate);
        std::thread worker([&] {
            for (int i = 0; i < 5; ++i) relay.deliverRecord();
        });
        worker.join();
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.exported, 0);
}
