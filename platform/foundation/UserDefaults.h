// User defaults: settings kept as one property-list file per domain under
// $XDG_CONFIG_HOME/preferences/<domain>.plist. A lookup searches the
// application's own domain, then each added suite in the order added. A key
// that is absent reads as off, 0 or empty. A value written through this class
// is seen by the next lookup; one written by another process (or by
// `ferrymark defaults`) within a second, because a domain's file is looked at
// again at most once a second (an import asks for several settings per note).
//
// Every write replaces the domain's file whole (a temporary file renamed into
// place), so a crash or a full disk leaves the old settings. A domain file
// that is there but cannot be read as a dictionary (damaged, unreadable) is
// never overwritten by a change: its settings read as unset, and setObject()
// and removeObject() fail with UserDefaultsErrorDomain kDamagedDomainError
// and a log line, leaving the file for the user to repair or remove. An empty
// file holds nothing to keep and is an empty domain.
// Thread-safe.
#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/plist/PlistValue.h"

class UserDefaults {
  public:
    // The defaults of the program's own domain (the main bundle's identifier).
    static UserDefaults& standard();
    explicit UserDefaults(const QString& domain);

    const QString& domain() const { return domain_; }
    // Adds a domain to the search list (once).
    void addSuiteNamed(const QString& suite);

    PlistValue objectForKey(const QString& key) const;
    bool boolForKey(const QString& key) const { return objectForKey(key).toBool(); }
    qint64 integerForKey(const QString& key) const { return objectForKey(key).toInteger(); }
    double doubleForKey(const QString& key) const { return objectForKey(key).toReal(); }
    QString stringForKey(const QString& key) const;

    // A value for this process only, searched before every domain (the command
    // line's settings). A null value removes it.
    void setVolatileValue(const PlistValue& value, const QString& key);

    static constexpr long kDamagedDomainError = 1;

    // Writes into the own domain's file (see above for a damaged file).
    bool setObject(const PlistValue& value, const QString& key, Error* error = nullptr);
    bool removeObject(const QString& key, Error* error = nullptr);

    // The file that holds a domain's settings.
    static QString pathForDomain(const QString& domain);
    // The whole dictionary of one domain (empty when there is no file).
    static PlistDictionary dictionaryForDomain(const QString& domain);
    // Replaces the domain's whole file with `dict`, whatever the file held.
    static bool writeDictionary(const PlistDictionary& dict, const QString& domain,
                                Error* error = nullptr);

  private:
    // The domain's settings as they are on disk now, to change and write
    // back; nullopt (with the error) when its file is damaged.
    static std::optional<PlistDictionary> dictionaryToChange(const QString& domain, Error* error);

    QString domain_;
    QStringList suites_;
    PlistDictionary volatile_;
    mutable QMutex mutex_;
};
