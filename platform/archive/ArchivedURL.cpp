#include "platform/archive/ArchivedURL.h"

#include "platform/archive/ArchivedInstance.h"
#include "platform/archive/KeyedArchiver.h"

namespace {

// Bases are followed this deep at most, so a malformed archive cannot loop.
constexpr int kMaxBaseDepth = 8;

QUrl resolve(const ArchiveValue& value, int depth) {
    auto instance = value.toObject<ArchivedInstance>();
    if (!instance || depth > kMaxBaseDepth) return QUrl(value.toString());
    const QUrl relative(instance->field(QStringLiteral("NS.relative")).toString());
    const ArchiveValue base = instance->field(QStringLiteral("NS.base"));
    return base.isNull() ? relative : resolve(base, depth + 1).resolved(relative);
}

}  // namespace

void ArchivedURL::encodeWithCoder(KeyedArchiver& coder) {
    coder.encodeObject(ArchiveValue(), QStringLiteral("NS.base"));
    coder.encodeObject(url_.toString(QUrl::FullyEncoded), QStringLiteral("NS.relative"));
}

QUrl ArchivedURL::urlFromArchive(const ArchiveValue& value) { return resolve(value, 0); }
