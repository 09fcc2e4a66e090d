// Cocoa-style format strings: "%@" (any object, by its text), "%ld"/"%d"/"%i"
// (signed), "%lu"/"%u" (unsigned), "%f", "%x", "%%", and positional forms such
// as "%1$@" or "%2$ld". Translations may reorder arguments with positions.
#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>

class Error;
class QDateTime;
class QUrl;

// One argument of a format; converts implicitly from the types the program logs.
class FormatArgument {
  public:
    FormatArgument(const QString& s) : text_(s), kind_(Kind::Text) {}
    FormatArgument(const char* s) : text_(QString::fromUtf8(s)), kind_(Kind::Text) {}
    FormatArgument(int v) : integer_(v), kind_(Kind::Signed) {}
    FormatArgument(long v) : integer_(v), kind_(Kind::Signed) {}
    FormatArgument(long long v) : integer_(v), kind_(Kind::Signed) {}
    FormatArgument(unsigned v) : unsigned_(v), kind_(Kind::Unsigned) {}
    FormatArgument(unsigned long v) : unsigned_(v), kind_(Kind::Unsigned) {}
    FormatArgument(unsigned long long v) : unsigned_(v), kind_(Kind::Unsigned) {}
    FormatArgument(double v) : real_(v), kind_(Kind::Real) {}
    FormatArgument(const Error& e);
    FormatArgument(const QDateTime& d);
    FormatArgument(const QUrl& u);

    // The text of "%@": strings as they are, numbers in decimal, errors by
    // their description, dates in the log's date form, URLs as text.
    QString objectText() const;
    long long signedValue() const;
    unsigned long long unsignedValue() const;
    double realValue() const;

  private:
    enum class Kind { Text, Signed, Unsigned, Real };
    QString text_;
    long long integer_ = 0;
    unsigned long long unsigned_ = 0;
    double real_ = 0;
    Kind kind_;
};

// Fills `format` with `arguments`. A missing argument gives "(null)" for %@
// and 0 for numbers; never crashes on a malformed format.
QString stringWithFormat(const QString& format, std::initializer_list<FormatArgument> arguments);
QString stringWithFormat(const QString& format, const QList<FormatArgument>& arguments);
