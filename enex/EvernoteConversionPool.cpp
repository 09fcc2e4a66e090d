#include "enex/EvernoteConversionPool.h"

#include <QThread>
#include <algorithm>

#include "platform/foundation/FileOperations.h"

EvernoteConversionPool::EvernoteConversionPool(int workers, int depth, Convert convert)
    : depth_(std::max({depth, workers, 1})), convert_(std::move(convert)) {
    const int count = std::max(workers, 1);
    workers_.reserve(count);
    for (int i = 0; i < count; ++i) workers_.emplace_back([this] { work(); });
}

EvernoteConversionPool::~EvernoteConversionPool() {
    cancel();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    jobAvailable_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

int EvernoteConversionPool::idealWorkerCount() { return std::max(QThread::idealThreadCount(), 1); }

void EvernoteConversionPool::add(std::unique_ptr<EvernoteXMLItem> item) {
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return;  // the item goes here, with its attachment files
        queue_.push_back({nextSequence_++, std::move(item)});
    }
    jobAvailable_.notify_one();
}

bool EvernoteConversionPool::isFull() const {
    std::lock_guard lock(mutex_);
    return nextSequence_ - nextToTake_ >= static_cast<quint64>(depth_);
}

bool EvernoteConversionPool::isEmpty() const {
    std::lock_guard lock(mutex_);
    return cancelled_ || nextSequence_ == nextToTake_;
}

std::optional<EvernoteConversionResult> EvernoteConversionPool::takeNext(bool wait) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (cancelled_ || nextSequence_ == nextToTake_) return std::nullopt;
        const auto ready = results_.find(nextToTake_);
        if (ready != results_.end()) {
            auto taken = results_.extract(ready);
            ++nextToTake_;
            return std::move(taken.mapped());
        }
        if (!wait) return std::nullopt;
        resultReady_.wait(lock);
    }
}

void EvernoteConversionPool::cancel() {
    std::deque<Job> dropped;
    std::map<quint64, EvernoteConversionResult> untaken;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        dropped.swap(queue_);
        untaken.swap(results_);
    }
    resultReady_.notify_all();
    namingOrder_.cancel();  // conversions waiting for the turn of a dropped note go on
    // Outside the lock: destroying a record removes its attachment files.
    dropped.clear();
    for (const auto& [sequence, result] : untaken) discard(result);
}

void EvernoteConversionPool::work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            jobAvailable_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        job.item->setNamingTurn(&namingOrder_, job.sequence);
        EvernoteConversionResult result = convert_(*job.item);
        namingOrder_.pass(job.sequence);  // in case the note chose no name
        job.item.reset();  // the record and its attachment files go before the next note
        bool dropped = false;
        {
            std::lock_guard lock(mutex_);
            dropped = cancelled_;
            if (!dropped) results_.emplace(job.sequence, std::move(result));
        }
        if (dropped)
            discard(result);
        else
            resultReady_.notify_all();
    }
}

void EvernoteConversionPool::discard(const EvernoteConversionResult& result) {
    if (!result.itemDict) return;
    const QString path = result.itemDict->value(ItemKeys::AbsoluteFilename).toString();
    if (!path.isEmpty()) FileOperations::removeItem(path);
}
