#include "util/EncryptedItemNames.h"

namespace PMExtensions {

const QStringList& encryptedItemExtensions() {
    static const QStringList extensions = {
        QStringLiteral("pmencryptnote"),   QStringLiteral("pmencryptdocument"),
        QStringLiteral("pmencryptimage"),  QStringLiteral("pmencryptmovie"),
        QStringLiteral("pmencryptsound"),  QStringLiteral("pmencryptbookmark"),
        QStringLiteral("pmencryptwebpage")};
    return extensions;
}

bool isEncryptedFile(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 && encryptedItemExtensions().contains(name.mid(dot + 1), Qt::CaseSensitive);
}

}  // namespace PMExtensions
