#include "enex/EvernoteNamingOrder.h"

void EvernoteNamingOrder::waitForTurn(quint64 turn) {
    std::unique_lock lock(mutex_);
    passed_.wait(lock, [&] { return cancelled_ || firstOpen_ >= turn; });
}

void EvernoteNamingOrder::pass(quint64 turn) {
    {
        std::lock_guard lock(mutex_);
        if (turn < firstOpen_) return;
        passedAhead_.insert(turn);
        while (!passedAhead_.empty() && *passedAhead_.begin() == firstOpen_) {
            passedAhead_.erase(passedAhead_.begin());
            ++firstOpen_;
        }
    }
    passed_.notify_all();
}

void EvernoteNamingOrder::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    passed_.notify_all();
}
