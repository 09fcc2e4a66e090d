#include "platform/foundation/Operation.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <thread>

// ---- Operation ---------------------------------------------------------------

Operation::~Operation() = default;

void Operation::start() {
    if (isFinished() || isExecuting()) return;
    if (isCancelled()) {
        setFinished(true);
        return;
    }
    setExecuting(true);
    main();
    if (!isAsynchronous()) {
        setExecuting(false);
        setFinished(true);
    }
}

void Operation::cancel() { cancelled_.store(true); }

bool Operation::isExecuting() const {
    std::lock_guard lock(mutex_);
    return executing_;
}

bool Operation::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

void Operation::waitUntilFinished() const {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return finished_; });
}

void Operation::setExecuting(bool executing) {
    std::lock_guard lock(mutex_);
    executing_ = executing;
    changed_.notify_all();
}

void Operation::setFinished(bool finished) {
    std::lock_guard lock(mutex_);
    finished_ = finished;
    if (finished) executing_ = false;
    changed_.notify_all();
}

// ---- OperationQueue ------------------------------------------------------------

struct OperationQueue::State {
    QString name;
    std::mutex mutex;
    std::condition_variable idle;
    std::deque<std::shared_ptr<Operation>> pending;
    std::vector<std::shared_ptr<Operation>> running;
    std::condition_variable work;  // pending work or stopping
    int maxConcurrent = 1;
    int busy = 0;  // workers running an operation
    size_t unfinished = 0;
    bool stopping = false;
    std::vector<std::thread> workers;  // joined by the queue's destructor
};

OperationQueue::OperationQueue(const QString& name) : state_(std::make_shared<State>()) {
    state_->name = name;
}

OperationQueue::OperationQueue(bool isMain) : state_(std::make_shared<State>()), isMain_(isMain) {
    state_->name = QStringLiteral("main");
}

OperationQueue::~OperationQueue() {
    if (isMain_) return;
    cancelAllOperations();
    waitUntilAllOperationsAreFinished();
    stopWorkers();
}

// Joins the worker threads, so that none outlives the queue: each one's
// thread-local state (the digest engine's among it) is released as it exits,
// before the process can reach its own cleanup.
void OperationQueue::stopWorkers() {
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        workers.swap(state_->workers);
    }
    state_->work.notify_all();
    for (std::thread& worker : workers) worker.join();
}

OperationQueue& OperationQueue::mainQueue() {
    static OperationQueue* queue = new OperationQueue(true);  // lives until exit
    return *queue;
}

bool OperationQueue::isMainThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
    std::unique_lock lock(state_->mutex);
    state_->maxConcurrent = count < 1 ? 1 : count;
    startWorkersIfNeeded(lock);
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->maxConcurrent;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation) {
    addOperations({std::move(operation)}, false);
}

void OperationQueue::addOperationWithBlock(std::function<void()> block) {
    addOperation(std::make_shared<BlockOperation>(std::move(block)));
}

namespace {

// Runs an operation on the main thread and, if asynchronous, leaves it to finish itself.
void postToMainThread(const std::shared_ptr<Operation>& operation) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        operation->start();
        return;
    }
    QMetaObject::invokeMethod(
        app, [operation] { operation->start(); }, Qt::QueuedConnection);
}

}  // namespace

void OperationQueue::addOperations(const std::vector<std::shared_ptr<Operation>>& operations,
                                   bool wait) {
    if (isMain_) {
        const bool inline_ = wait && isMainThread();
        for (const auto& op : operations) {
            if (inline_)
                op->start();
            else
                postToMainThread(op);
        }
        if (wait)
            for (const auto& op : operations) op->waitUntilFinished();
        return;
    }
    {
        std::unique_lock lock(state_->mutex);
        for (const auto& op : operations) {
            state_->pending.push_back(op);
            ++state_->unfinished;
        }
        startWorkersIfNeeded(lock);
    }
    if (wait)
        for (const auto& op : operations) op->waitUntilFinished();
}

// Wakes the idle workers and starts more while the pending operations
// outnumber them, up to maxConcurrent workers.
void OperationQueue::startWorkersIfNeeded(std::unique_lock<std::mutex>&) {
    State& state = *state_;
    state.work.notify_all();
    while (state.workers.size() < static_cast<size_t>(state.maxConcurrent) &&
           state.workers.size() - static_cast<size_t>(state.busy) < state.pending.size())
        state.workers.emplace_back([shared = state_] { runWorker(*shared); });
}

// A worker takes the oldest pending operation while fewer than maxConcurrent
// run, and waits for more until the queue stops.
void OperationQueue::runWorker(State& state) {
    std::unique_lock lock(state.mutex);
    while (true) {
        state.work.wait(lock, [&] {
            return state.stopping || (!state.pending.empty() && state.busy < state.maxConcurrent);
        });
        if (state.stopping) return;
        std::shared_ptr<Operation> op = state.pending.front();
        state.pending.pop_front();
        state.running.push_back(op);
        ++state.busy;
        lock.unlock();
        op->start();
        op->waitUntilFinished();  // an asynchronous operation occupies its slot until done
        lock.lock();
        std::erase(state.running, op);
        op.reset();  // the queue's last hold on it, before anyone waiting wakes
        --state.busy;
        --state.unfinished;
        state.idle.notify_all();
    }
}

void OperationQueue::cancelAllOperations() {
    std::lock_guard lock(state_->mutex);
    for (const auto& op : state_->pending) op->cancel();
    for (const auto& op : state_->running) op->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    if (isMain_) return;
    std::unique_lock lock(state_->mutex);
    state_->idle.wait(lock, [this] { return state_->unfinished == 0; });
}

size_t OperationQueue::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->unfinished;
}
