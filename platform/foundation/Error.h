// Error: the one failure type of the whole program. An error carries a domain,
// an integer code, the localized description that users see, and optionally the
// error that caused it. A default-constructed Error is "no error".
#pragma once

#include <QString>
#include <memory>

class Error {
  public:
    Error() = default;
    Error(QString domain, long code, QString localizedDescription = QString());
    Error(QString domain, long code, QString localizedDescription, const Error& underlying);

    bool isNull() const { return domain_.isEmpty(); }
    explicit operator bool() const { return !isNull(); }

    const QString& domain() const { return domain_; }
    long code() const { return code_; }
    // The message users see; for an error without one, a generic text naming the code.
    QString localizedDescription() const;
    // The error that caused this one, or nullptr.
    const Error* underlyingError() const { return underlying_.get(); }

    // The text that log lines print: Error Domain=D Code=N "message".
    QString description() const;

    // Stores *this into *out when out is not null; lets callers write
    // `return Error(...).report(error), false;` style code without branches.
    void report(Error* out) const {
        if (out) *out = *this;
    }

  private:
    QString domain_;
    long code_ = 0;
    QString description_;
    std::shared_ptr<const Error> underlying_;
};

// An error that wraps a system call's errno in the POSIX domain.
Error posixError(int errnoValue, const QString& context = QString());
