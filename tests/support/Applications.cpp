#include "tests/support/Applications.h"

#include <QFile>

#include "platform/apps/Workspace.h"
#include "tests/support/TestEnvironment.h"

QString installApplication(const TestEnvironment& env, const QString& name,
                           const QString& identifier, const QString& version,
                           const QString& extraKeys) {
    const QString bundle = env.applicationsDir() + u'/' + name + QStringLiteral(".app");
    const QString plist =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleIdentifier</key><string>%1</string>"
            "<key>CFBundleShortVersionString</key><string>%2</string>"
            "<key>CFBundleName</key><string>%3</string>%4</dict></plist>\n")
            .arg(identifier, version, name, extraKeys);
    env.writeFile(bundle.mid(env.root().size() + 1) + QStringLiteral("/Contents/Info.plist"),
                  plist.toUtf8());
    return bundle;
}

bool markApplicationRunning(const QString& bundlePath) {
    return Workspace::markRunning(ApplicationRecord{bundlePath, PlistDictionary()});
}

QString installEvernote(const TestEnvironment& env, const QString& notebookFolder,
                        const QString& version) {
    return installApplication(env, QStringLiteral("Evernote"),
                              QStringLiteral("com.evernote.Evernote"), version,
                              QStringLiteral("<key>EvernoteNotebookFolder</key><string>%1</string>")
                                  .arg(notebookFolder.toHtmlEscaped()));
}
