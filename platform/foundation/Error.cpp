#include "platform/foundation/Error.h"

#include <cstring>

Error::Error(QString domain, long code, QString localizedDescription)
    : domain_(std::move(domain)), code_(code), description_(std::move(localizedDescription)) {}

Error::Error(QString domain, long code, QString localizedDescription, const Error& underlying)
    : domain_(std::move(domain)), code_(code), description_(std::move(localizedDescription)) {
    if (!underlying.isNull()) underlying_ = std::make_shared<const Error>(underlying);
}

QString Error::localizedDescription() const {
    if (!description_.isEmpty()) return description_;
    return QStringLiteral("The operation couldn’t be completed. (%1 error %2.)")
        .arg(domain_)
        .arg(code_);
}

QString Error::description() const {
    QString text = QStringLiteral("Error Domain=%1 Code=%2 \"%3\"")
                       .arg(domain_)
                       .arg(code_)
                       .arg(localizedDescription());
    if (underlying_)
        text += QStringLiteral(" UserInfo={NSUnderlyingError=%1}").arg(underlying_->description());
    return text;
}

Error posixError(int errnoValue, const QString& context) {
    QString message = QString::fromLocal8Bit(std::strerror(errnoValue));
    if (!context.isEmpty()) message = context + QStringLiteral(": ") + message;
    return Error(QStringLiteral("NSPOSIXErrorDomain"), errnoValue, message);
}
