// Hermetic surroundings for one test: XDG_DATA_HOME, XDG_CONFIG_HOME, XDG_STATE_HOME, TMPDIR
// and the application folders all point into a fresh temporary folder, which
// is removed afterwards.
#pragma once

#include <QByteArray>
#include <QEventLoop>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

class TestEnvironment {
  public:
    TestEnvironment();
    ~TestEnvironment();

    QString root() const { return dir_.path(); }
    QString path(const QString& relative) const { return dir_.filePath(relative); }
    QString dataHome() const { return path(QStringLiteral("data")); }
    QString configHome() const { return path(QStringLiteral("config")); }
    QString tempDir() const { return path(QStringLiteral("tmp")); }
    QString applicationsDir() const { return path(QStringLiteral("Applications")); }
    QString stateHome() const { return path(QStringLiteral("state")); }

    // Writes a file (creating folders); returns its path.
    QString writeFile(const QString& relative, const QByteArray& contents) const;

  private:
    QTemporaryDir dir_;
    QByteArray saved_[5];
    int savedStandardError_;
};

// Runs the Qt event loop until `done` returns true or `timeoutMs` passes;
// returns whether it became true.
bool runEventLoopUntil(const std::function<bool()>& done, int timeoutMs = 30000);
