#include "app/PrivateRuntimeFolder.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/PrivateDirectory.h"

PrivateRuntimeFolder::PrivateRuntimeFolder(QTextStream& err) {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const QString preferred = preferredPath();
    Error error;
    if (PrivateDirectory::provide(preferred, &error)) {
        path_ = preferred;
    } else {
        // QTemporaryDir makes its folder with mkdtemp: a new name, mode 0700.
        fallback_ = std::make_unique<QTemporaryDir>(preferred + QStringLiteral("-XXXXXX"));
        path_ = fallback_->isValid() ? fallback_->path() : QString();
        err << stringWithFormat(
                   localizedString("ferrymark: not using %@ as the runtime folder: %@"),
                   {preferred, error.localizedDescription()})
            << "\n";
        if (!path_.isEmpty())
            err << stringWithFormat(localizedString("ferrymark: using %@ instead"), {path_})
                << "\n";
        err.flush();
    }
    if (!path_.isEmpty()) qputenv("XDG_RUNTIME_DIR", QFile::encodeName(path_));
}

PrivateRuntimeFolder::~PrivateRuntimeFolder() = default;

QString PrivateRuntimeFolder::preferredPath() {
    return QDir::tempPath() + QStringLiteral("/runtime-") + QString::number(::getuid());
}
