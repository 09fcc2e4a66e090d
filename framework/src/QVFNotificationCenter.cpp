#include "Quorvel/QVFNotificationCenter.h"

#include <algorithm>

QVFNotificationCenter& QVFNotificationCenter::defaultCenter() {
    static QVFNotificationCenter center;
    return center;
}

QVFNotificationCenter::Token QVFNotificationCenter::addObserver(const QString& name,
                                                                const void* object,
                                                                Observer observer) {
    std::lock_guard lock(mutex_);
    const Token token = nextToken_++;
    registrations_.push_back(
        std::make_shared<Registration>(Registration{token, name, object, std::move(observer)}));
    return token;
}

void QVFNotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(registrations_.begin(), registrations_.end(),
                                    [token](const auto& r) { return r->token == token; });
    if (found == registrations_.end()) return;
    (*found)->removed = true;
    registrations_.erase(found);
}

void QVFNotificationCenter::postNotification(const QString& name, const void* object,
                                             const QVariantMap& userInfo) {
    std::vector<std::shared_ptr<Registration>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& registration : registrations_) {
            if (!registration->name.isEmpty() && registration->name != name) continue;
            if (registration->object && registration->object != object) continue;
            matching.push_back(registration);
        }
    }
    const QVFNotification notification{name, object, userInfo};
    for (const auto& registration : matching) {
        bool removed = false;
        {
            std::lock_guard lock(mutex_);
            removed = registration->removed;
        }
        if (!removed) registration->observer(notification);
    }
}
