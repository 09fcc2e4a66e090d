#include "platform/archive/ArchivableObject.h"

QStringList ArchivableObject::classChain() const {
    return {className(), QStringLiteral("NSObject")};
}
