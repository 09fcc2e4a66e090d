// Operations and operation queues with the semantics the import relies on:
// start/main, cancellation that the work itself looks at, executing and
// finished states, waiting, serial queues and the main queue.
//
// Ownership: operations are held by std::shared_ptr; a queue keeps an
// operation alive until it has finished.
#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class Operation : public std::enable_shared_from_this<Operation> {
  public:
    Operation() = default;
    virtual ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Runs the operation on the calling thread. A cancelled operation finishes
    // without running main(); a synchronous one is finished when main()
    // returns; an asynchronous one finishes itself through setFinished().
    virtual void start();
    // The work. The default does nothing.
    virtual void main() {}
    // Marks the operation cancelled; the work looks at isCancelled(). Any thread.
    virtual void cancel();

    bool isCancelled() const { return cancelled_.load(); }
    bool isExecuting() const;
    bool isFinished() const;
    // An asynchronous operation stays executing after main() returns until it
    // calls setFinished(true).
    virtual bool isAsynchronous() const { return false; }

    // Blocks until the operation has finished. REQUIRES: it was started or
    // added to a queue, and finishing does not need the calling thread.
    void waitUntilFinished() const;

  protected:
    void setExecuting(bool executing);
    void setFinished(bool finished);

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::atomic<bool> cancelled_{false};
    bool executing_ = false;
    bool finished_ = false;
};

// An operation that runs one block.
class BlockOperation : public Operation {
  public:
    explicit BlockOperation(std::function<void()> block) : block_(std::move(block)) {}
    void main() override {
        if (block_) block_();
    }

  private:
    std::function<void()> block_;
};

// A queue that runs operations on worker threads, at most
// maxConcurrentOperationCount at once, in the order added. The main queue runs
// them on the main thread through the Qt event loop. The worker threads belong
// to the queue: they wait for work while it lives, and its destructor joins them.
class OperationQueue {
  public:
    explicit OperationQueue(const QString& name = QString());
    // Cancels what has not run and waits for the running operations to finish.
    virtual ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    // The queue of the main thread.
    static OperationQueue& mainQueue();
    // True on the thread that runs the Qt event loop (the main thread).
    static bool isMainThread();

    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;

    void addOperation(std::shared_ptr<Operation> operation);
    void addOperationWithBlock(std::function<void()> block);
    // Adds all; with `wait`, returns when all have finished. On the main queue,
    // called from the main thread, the operations run at once, inline (never a
    // deadlock).
    void addOperations(const std::vector<std::shared_ptr<Operation>>& operations, bool wait);

    // Cancels every operation not yet finished, the running ones included.
    void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();
    // Operations added and not yet finished.
    size_t operationCount() const;

  private:
    struct State;
    explicit OperationQueue(bool isMain);
    static void runWorker(State& state);
    void startWorkersIfNeeded(std::unique_lock<std::mutex>& lock);
    void stopWorkers();

    std::shared_ptr<State> state_;
    bool isMain_ = false;
};
