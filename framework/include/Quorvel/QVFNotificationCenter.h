// The framework's notification centre: named notifications, each with the
// object that sent it and a dictionary of user information, delivered to the
// observers registered for that name and sender. The framework's services
// announce their steps through the default centre (see QVFSWUpdateChecker).
//
// Delivery is synchronous, on the thread that posts, to matching observers in
// the order they were added. Thread-safe: observers may be added and removed
// from any thread, during a delivery too (an observer removed meanwhile is not
// called again).
#pragma once

#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Quorvel/QVFExport.h"

struct QVFNotification {
    QString name;
    const void* object = nullptr;  // the sender; compared by identity only
    QVariantMap userInfo;
};

class QUORVEL_EXPORT QVFNotificationCenter {
  public:
    using Observer = std::function<void(const QVFNotification&)>;
    using Token = quint64;

    // The process's centre, kept until the process ends.
    static QVFNotificationCenter& defaultCenter();

    QVFNotificationCenter() = default;
    QVFNotificationCenter(const QVFNotificationCenter&) = delete;
    QVFNotificationCenter& operator=(const QVFNotificationCenter&) = delete;

    // Calls `observer` for each notification named `name` (any name when
    // empty) sent by `object` (any sender when null). Returns the token that
    // removes it.
    Token addObserver(const QString& name, const void* object, Observer observer);
    // Stops the observer; an unknown token is ignored.
    void removeObserver(Token token);

    void postNotification(const QString& name, const void* object,
                          const QVariantMap& userInfo = {});

  private:
    struct Registration {
        Token token;
        QString name;
        const void* object;
        Observer observer;
        bool removed = false;
    };

    std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
    Token nextToken_ = 1;
};
