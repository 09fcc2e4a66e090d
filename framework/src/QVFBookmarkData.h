// The bytes of a sandbox bookmark: what the sandbox manager stores to find a
// granted item again in a later launch. Two kinds, both a binary property list:
//
// - Outside a sandbox: the item's absolute path with its device and inode
//   numbers. Resolution finds the item at that path and checks that it is
//   still the same item, so a granted item that was moved away (or deleted)
//   or replaced by another item at its path no longer resolves.
// - Inside a sandbox: the document id the document portal gave the item,
//   plus its original path. Resolution asks the portal where the document is
//   visible now.
//
// Errors: domain errorDomain() with the codes below, or the portal's own
// (PortalUnavailable also when portal data meets no portal).
// Stateless; the portal, when given, is used from the caller's thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "platform/foundation/Error.h"

class QVFDocumentPortal;

namespace QVFBookmarkData {

QString errorDomain();
enum ErrorCode : long {
    ItemMissing = 1,   // nothing at the path (when making data), or it moved away
    ItemReplaced = 2,  // another item now stands at the granted item's path
    NotBookmarkData = 3,
};

// Data for the item at `path`: registered with `portal` when one is given,
// else its path, device and inode.
std::optional<QByteArray> create(const QString& path, bool isDirectory, bool readOnly,
                                 QVFDocumentPortal* portal, Error* error = nullptr);

// The path at which the item of `data` is reachable now. Portal data needs
// `portal`; without one it fails.
std::optional<QString> resolve(const QByteArray& data, QVFDocumentPortal* portal,
                               Error* error = nullptr);

}  // namespace QVFBookmarkData
