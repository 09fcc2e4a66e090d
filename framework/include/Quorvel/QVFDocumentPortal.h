// The sandbox's document portal: inside a Flatpak sandbox, files and folders
// outside the application's own data are reached through the desktop's
// document store ("org.freedesktop.portal.Documents" on the session bus).
// Registering an item there gives it a stable document id and makes it
// visible to the application below the store's mount point as
// "<mount point>/<document id>/<item name>", across launches.
//
// Every call waits at most timeoutMs() for the portal's answer; a portal that
// does not answer, answers with an error or is missing gives a failure with
// an error in QVFDocumentPortal::errorDomain(), never a hang. After a call
// that got no answer, further calls fail at once for kSilenceBackOffMs, so
// that a launch resolving many grants waits for one time-out, not one each.
// PortalUnavailable says nothing about the document, which may well be found
// later; DocumentUnknown says the portal does not know it. Callers log the error.
//
// Not thread-safe: use one instance from one thread (the main thread, for the
// sandbox manager). The connection is shared, as QDBusConnection is.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QString>
#include <memory>
#include <optional>

#include "Quorvel/QVFExport.h"

class Error;

class QUORVEL_EXPORT QVFDocumentPortal {
  public:
    // Error domain of the portal's failures.
    static QString errorDomain();
    enum ErrorCode : long {
        PortalUnavailable = 1,  // no bus, no answer in time, or an answer of the wrong shape
        ItemUnreadable = 2,     // the item to register cannot be opened
        DocumentUnknown = 3,    // the portal answered that it has no such document
    };

    // The time each call waits for an answer unless told otherwise.
    static constexpr int kDefaultTimeoutMs = 10000;
    // How long calls fail at once after one went unanswered.
    static constexpr int kSilenceBackOffMs = 60000;

    // A portal reached over `connection`, registering items for the
    // application `applicationID` (may be empty: the portal then grants the
    // calling sandboxed application).
    QVFDocumentPortal(const QDBusConnection& connection, const QString& applicationID,
                      int timeoutMs = kDefaultTimeoutMs);

    // True when this process runs inside a Flatpak sandbox ("/.flatpak-info" exists).
    static bool isInsideSandbox();
    // The portal on the session bus for this sandboxed application (its id
    // read from "/.flatpak-info"); nullptr outside a sandbox.
    static std::unique_ptr<QVFDocumentPortal> sandboxPortal();

    int timeoutMs() const { return timeoutMs_; }

    // Registers the item at `path` (a folder as a whole folder) persistently,
    // reusing an existing registration, with read access and, unless
    // `readOnly`, write access. Returns the document id.
    std::optional<QString> addDocument(const QString& path, bool isDirectory, bool readOnly,
                                       Error* error = nullptr);

    // Where the application sees the document `documentID`:
    // "<mount point>/<document id>/<name of the registered item>". Fails when
    // the portal no longer knows the document.
    std::optional<QString> documentPath(const QString& documentID, Error* error = nullptr);

  private:
    std::optional<QString> mountPoint(Error* error);
    // Sends `call` and waits for the answer; `what` names the request in errors.
    std::optional<QDBusMessage> answerTo(const QDBusMessage& call, const QString& what,
                                         Error* error);

    QDBusConnection connection_;
    QString applicationID_;
    int timeoutMs_;
    QString mountPoint_;         // asked once
    QElapsedTimer lastSilence_;  // since the last call that got no answer
};
