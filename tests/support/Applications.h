// Builders for the outside applications that tests need: installed Pelmora
// and Evernote stand-ins, optionally marked as running.
#pragma once

#include <QString>

class TestEnvironment;

// Installs "Name.app" with the bundle identifier and version; returns its path.
// `extraKeys` is XML to add inside the Info.plist dictionary.
QString installApplication(const TestEnvironment& env, const QString& name,
                           const QString& identifier, const QString& version,
                           const QString& extraKeys = QString());
// Installs the Evernote stand-in (version 7.14 unless given) reading its
// notebooks, one ENEX file each, from `notebookFolder`; returns its path.
QString installEvernote(const TestEnvironment& env, const QString& notebookFolder,
                        const QString& version = QStringLiteral("7.14"));
// Marks an installed application as running in this process (it takes the
// bundle's lock until the process ends); false when the lock was refused.
bool markApplicationRunning(const QString& bundlePath);
