// Bundle information. Each deliverable compiles its Info.plist in as a Qt
// resource: the program at ":/Info.plist", the framework at
// ":/Quorvel/Info.plist". Values are read once and cached.
#pragma once

#include <QString>

#include "platform/plist/PlistValue.h"

class Bundle {
  public:
    // The program's bundle (":/Info.plist").
    static const Bundle& main();
    // The bundle whose Info.plist is the resource at `infoPlistPath`.
    explicit Bundle(const QString& infoPlistPath);

    PlistDictionary infoDictionary() const { return info_; }
    QString stringForKey(const QString& key) const { return info_.value(key).toString(); }
    QString bundleIdentifier() const { return stringForKey(QStringLiteral("CFBundleIdentifier")); }
    QString shortVersionString() const {
        return stringForKey(QStringLiteral("CFBundleShortVersionString"));
    }
    // "CFBundleName", or "CFBundleExecutable" when the name is missing or empty.
    QString applicationName() const;

  private:
    PlistDictionary info_;
};
