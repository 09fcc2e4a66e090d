#include "platform/foundation/Localization.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QMutex>

namespace {

struct Tables {
    QMutex mutex;
    QString language;  // empty: the user's locale
    bool loaded = false;
    QHash<QString, QString> strings;
};

Tables& tables() {
    static Tables instance;
    return instance;
}

QHash<QString, QString> loadTable(const QString& language) {
    QFile file(QStringLiteral(":/%1.lproj/Localizable.strings").arg(language));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return parseStringsTable(QString::fromUtf8(file.readAll()));
}

void skipSpaceAndComments(const QString& t, qsizetype& i) {
    while (i < t.size()) {
        if (t.at(i).isSpace()) {
            ++i;
        } else if (t.mid(i, 2) == QLatin1String("//")) {
            while (i < t.size() && t.at(i) != u'\n') ++i;
        } else if (t.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = t.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? t.size() : end + 2;
        } else {
            return;
        }
    }
}

bool readQuoted(const QString& t, qsizetype& i, QString& out) {
    if (i >= t.size() || t.at(i) != u'"') return false;
    out.clear();
    for (++i; i < t.size(); ++i) {
        QChar c = t.at(i);
        if (c == u'"') {
            ++i;
            return true;
        }
        if (c == u'\\' && i + 1 < t.size()) {
            QChar e = t.at(++i);
            if (e == u'n')
                out += u'\n';
            else if (e == u't')
                out += u'\t';
            else if ((e == u'U' || e == u'u') && i + 4 < t.size()) {
                out += QChar(t.mid(i + 1, 4).toUShort(nullptr, 16));
                i += 4;
            } else
                out += e;
        } else {
            out += c;
        }
    }
    return false;
}

}  // namespace

QHash<QString, QString> parseStringsTable(const QString& t) {
    QHash<QString, QString> result;
    qsizetype i = 0;
    QString key, value;
    while (true) {
        skipSpaceAndComments(t, i);
        if (!readQuoted(t, i, key)) break;
        skipSpaceAndComments(t, i);
        if (i >= t.size() || t.at(i) != u'=') break;
        ++i;
        skipSpaceAndComments(t, i);
        if (!readQuoted(t, i, value)) break;
        skipSpaceAndComments(t, i);
        if (i < t.size() && t.at(i) == u';') ++i;
        result.insert(key, value);
    }
    return result;
}

void setLocalizationLanguage(const QString& language) {
    Tables& t = tables();
    QMutexLocker lock(&t.mutex);
    t.language = language;
    t.loaded = false;
}

QString localizedString(const QString& key) {
    Tables& t = tables();
    QMutexLocker lock(&t.mutex);
    if (!t.loaded) {
        const QString language =
            t.language.isEmpty() ? QLocale().name().section(u'_', 0, 0) : t.language;
        t.strings =
            language == QLatin1String("en") ? QHash<QString, QString>() : loadTable(language);
        t.loaded = true;
    }
    return t.strings.value(key, key);
}
