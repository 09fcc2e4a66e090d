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
    int maxConcurrent = 1;
    int workers = 0;
    size_t unfinished = 0;
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

void OperationQueue::startWorkersIfNeeded(std::unique_lock<std::mutex>&) {
    while (state_->workers < state_->maxConcurrent &&
           static_cast<size_t>(state_->workers) < state_->pending.size()) {
        ++state_->workers;
        std::thread([state = state_] {
            while (true) {
                std::shared_ptr<Operation> op;
                {
                    std::unique_lock lock(state->mutex);
                    if (state->pending.empty()) {
                        --state->workers;
                        state->idle.notify_all();
                        return;
                    }
                    op = state->pending.front();
                    state->pending.pop_front();
                    state->running.push_back(op);
                }
                op->start();
                op->waitUntilFinished();  // an asynchronous operation occupies its slot until done
                std::lock_guard lock(state->mutex);
                std::erase(state->running, op);
                --state->unfinished;
                state->idle.notify_all();
            }
        }).detach();
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
    state_->idle.wait(lock, [this] { return state_->unfinished == 0 && state_->workers == 0; });
}

size_t OperationQueue::operationCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->unfinished;
}
