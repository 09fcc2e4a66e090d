// Runs a short Python script over a plist file with Python's plistlib, an
// independent reader of what our archives write. Tests skip when python3 is
// not installed.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>

inline bool hasPython() { return !QStandardPaths::findExecutable("python3").isEmpty(); }

// Writes `plist` to a file, runs `script` with the file's path as sys.argv[1]
// and the name `p` bound to the loaded plist, and returns what it printed
// (standard error appended after a marker when the script fails).
inline QString runPlistScript(const QByteArray& plist, const QString& script) {
    QTemporaryDir dir;
    const QString path = dir.filePath("data.plist");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return "cannot write";
    file.write(plist);
    file.close();
    const QString program =
        "import plistlib, sys\n"
        "p = plistlib.load(open(sys.argv[1], 'rb'))\n" +
        script;
    QProcess python;
    python.start("python3", {"-c", program, path});
    python.waitForFinished(30000);
    QString out = QString::fromUtf8(python.readAllStandardOutput()).trimmed();
    if (python.exitCode() != 0)
        out += "\nFAILED: " + QString::fromUtf8(python.readAllStandardError());
    return out;
}

#define SKIP_WITHOUT_PYTHON()                                  \
    do {                                                       \
        if (!hasPython()) GTEST_SKIP() << "python3 is absent"; \
    } while (0)
