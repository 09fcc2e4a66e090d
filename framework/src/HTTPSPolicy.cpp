#include "HTTPSPolicy.h"

#include "platform/foundation/Format.h"
#include "platform/foundation/SystemLog.h"

namespace {

QUrl& allowedTestOrigin() {
    static QUrl origin;
    return origin;
}

bool isLoopbackHost(const QString& host) {
    return host == QLatin1String("127.0.0.1") || host == QLatin1String("::1") ||
           host == QLatin1String("localhost");
}

bool hasSameOrigin(const QUrl& url, const QUrl& origin) {
    return url.scheme() == origin.scheme() && url.host() == origin.host() &&
           url.port() == origin.port();
}

}  // namespace

namespace HTTPSPolicy {

bool isAllowed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty()) return false;
    if (url.scheme() == QLatin1String("https")) return true;
    const QUrl& origin = allowedTestOrigin();
    return !origin.isEmpty() && hasSameOrigin(url, origin);
}

void setAllowedTestOrigin(const QUrl& origin) {
    if (origin.isEmpty()) {
        allowedTestOrigin() = QUrl();
        return;
    }
    if (origin.scheme() != QLatin1String("http") || !isLoopbackHost(origin.host()) ||
        origin.port() < 0) {
        systemLog(stringWithFormat(
            QStringLiteral("Ignored test origin %@: only http on a loopback address and port"),
            {origin.toString()}));
        return;
    }
    allowedTestOrigin() = origin;
}

}  // namespace HTTPSPolicy
