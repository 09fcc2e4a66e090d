#include "enex/EvernoteReservedFileName.h"

#include <QSet>
#include <condition_variable>
#include <mutex>

#include "util/FileNameRules.h"

namespace {

// The paths reserved right now, in every folder.
struct Reservations {
    std::mutex mutex;
    std::condition_variable released;
    QSet<QString> paths;
};

Reservations& reservations() {
    static Reservations shared;
    return shared;
}

}  // namespace

EvernoteReservedFileName::EvernoteReservedFileName(const QString& name, const QString& folder) {
    Reservations& all = reservations();
    std::unique_lock lock(all.mutex);
    for (;;) {
        fileName_ = QVExtensions::makeFilenameUniqueInDirectoryAtURL(name, folder);
        path_ = folder + u'/' + fileName_;
        if (!all.paths.contains(path_)) break;
        // Another converter holds this very name: once it is on disk (or
        // given up), the choice is made again.
        all.released.wait(lock);
    }
    all.paths.insert(path_);
}

EvernoteReservedFileName::~EvernoteReservedFileName() {
    Reservations& all = reservations();
    {
        std::lock_guard lock(all.mutex);
        all.paths.remove(path_);
    }
    all.released.notify_all();
}
