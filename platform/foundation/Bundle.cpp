#include "platform/foundation/Bundle.h"

Bundle::Bundle(const QString& infoPlistPath) {
    if (auto value = PlistValue::readFromFile(infoPlistPath)) info_ = value->toDictionary();
}

const Bundle& Bundle::main() {
    static const Bundle bundle(QStringLiteral(":/Info.plist"));
    return bundle;
}

QString Bundle::applicationName() const {
    const QString name = stringForKey(QStringLiteral("CFBundleName"));
    return name.isEmpty() ? stringForKey(QStringLiteral("CFBundleExecutable")) : name;
}
