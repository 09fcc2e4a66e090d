#include "platform/foundation/Format.h"

#include <QDateTime>
#include <QUrl>

#include "platform/foundation/DateText.h"
#include "platform/foundation/Error.h"

FormatArgument::FormatArgument(const Error& e) : text_(e.description()), kind_(Kind::Text) {}
FormatArgument::FormatArgument(const QDateTime& d)
    : text_(d.isValid() ? standardDateDescription(d) : QStringLiteral("(null)")),
      kind_(Kind::Text) {}
FormatArgument::FormatArgument(const QUrl& u)
    : text_(u.isLocalFile() ? u.toString(QUrl::FullyEncoded) : u.toString()), kind_(Kind::Text) {}

QString FormatArgument::objectText() const {
    switch (kind_) {
        case Kind::Text:
            return text_;
        case Kind::Signed:
            return QString::number(integer_);
        case Kind::Unsigned:
            return QString::number(unsigned_);
        case Kind::Real:
            return QString::number(real_, 'g', 17);
    }
    return {};
}

long long FormatArgument::signedValue() const {
    switch (kind_) {
        case Kind::Signed:
            return integer_;
        case Kind::Unsigned:
            return static_cast<long long>(unsigned_);
        case Kind::Real:
            return static_cast<long long>(real_);
        case Kind::Text:
            return text_.toLongLong();
    }
    return 0;
}

unsigned long long FormatArgument::unsignedValue() const {
    switch (kind_) {
        case Kind::Signed:
            return static_cast<unsigned long long>(integer_);
        case Kind::Unsigned:
            return unsigned_;
        case Kind::Real:
            return static_cast<unsigned long long>(real_);
        case Kind::Text:
            return text_.toULongLong();
    }
    return 0;
}

double FormatArgument::realValue() const {
    switch (kind_) {
        case Kind::Signed:
            return static_cast<double>(integer_);
        case Kind::Unsigned:
            return static_cast<double>(unsigned_);
        case Kind::Real:
            return real_;
        case Kind::Text:
            return text_.toDouble();
    }
    return 0;
}

namespace {

bool isLengthModifier(QChar c) {
    return c == u'l' || c == u'h' || c == u'q' || c == u'z' || c == u't' || c == u'j' || c == u'L';
}

QString convert(QChar conversion, const FormatArgument* argument, int precision) {
    if (!argument) return conversion == u'@' ? QStringLiteral("(null)") : QStringLiteral("0");
    switch (conversion.unicode()) {
        case u'@':
            return argument->objectText();
        case u'd':
        case u'i':
            return QString::number(argument->signedValue());
        case u'u':
            return QString::number(argument->unsignedValue());
        case u'x':
            return QString::number(argument->unsignedValue(), 16);
        case u'X':
            return QString::number(argument->unsignedValue(), 16).toUpper();
        case u'f':
            return QString::number(argument->realValue(), 'f', precision < 0 ? 6 : precision);
        case u'g':
            return QString::number(argument->realValue(), 'g', precision < 0 ? 6 : precision);
        case u's':
            return argument->objectText();
    }
    return {};
}

}  // namespace

QString stringWithFormat(const QString& format, std::initializer_list<FormatArgument> arguments) {
    return stringWithFormat(format, QList<FormatArgument>(arguments));
}

QString stringWithFormat(const QString& format, const QList<FormatArgument>& arguments) {
    QString result;
    result.reserve(format.size() + 16 * arguments.size());
    qsizetype next = 0;  // index of the next sequential argument
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = format.at(i);
        if (c != u'%' || i + 1 >= n) {
            result += c;
            continue;
        }
        qsizetype j = i + 1;
        if (format.at(j) == u'%') {
            result += u'%';
            i = j;
            continue;
        }
        // Optional position "N$".
        qsizetype position = -1;
        qsizetype k = j;
        while (k < n && format.at(k).isDigit()) ++k;
        if (k > j && k < n && format.at(k) == u'$') {
            position = format.mid(j, k - j).toLongLong() - 1;
            j = k + 1;
        }
        int precision = -1;
        while (j < n && (format.at(j).isDigit() || format.at(j) == u'-' || format.at(j) == u'+' ||
                         format.at(j) == u' ' || format.at(j) == u'#'))
            ++j;
        if (j < n && format.at(j) == u'.') {
            qsizetype p = ++j;
            while (j < n && format.at(j).isDigit()) ++j;
            precision = format.mid(p, j - p).toInt();
        }
        while (j < n && isLengthModifier(format.at(j))) ++j;
        if (j >= n) {
            result += format.mid(i);
            break;
        }
        const qsizetype index = position >= 0 ? position : next++;
        const FormatArgument* argument =
            index >= 0 && index < arguments.size() ? &arguments[index] : nullptr;
        result += convert(format.at(j), argument, precision);
        i = j;
    }
    return result;
}
