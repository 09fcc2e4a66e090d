// The order in which notes converting in parallel choose their file names:
// the file's order. Two notes with the same title get "T" and "T 1" in the
// order they stand in the file, as one conversion after the other would give
// them, however the workers are scheduled.
//
// Each note has a turn, numbered in document order from 0. A note waits for
// its turn before it chooses its first name, and passes its turn once it has
// chosen (or when its conversion ends without choosing).
//
// Threading: any thread.
#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <mutex>
#include <set>

class EvernoteNamingOrder {
  public:
    // Blocks until every turn before `turn` has been passed, or the order is cancelled.
    void waitForTurn(quint64 turn);
    // Marks `turn` as done; passing a turn again has no effect.
    void pass(quint64 turn);
    // Lets every waiting and later turn go at once (the results no longer count).
    void cancel();

  private:
    std::mutex mutex_;
    std::condition_variable passed_;
    quint64 firstOpen_ = 0;          // the earliest turn not passed
    std::set<quint64> passedAhead_;  // turns passed while an earlier one is open
    bool cancelled_ = false;
};
