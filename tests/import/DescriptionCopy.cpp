#include "tests/import/DescriptionCopy.h"

#include <QFile>

DescriptionCopy::DescriptionCopy(EvernoteExportOperation& operation) {
    operation.setDescriptionObserver([copy = path()](const QString& description) {
        QFile::remove(copy);
        QFile::copy(description, copy);
    });
}

PlistDictionary DescriptionCopy::read() const {
    const auto value = PlistValue::readFromFile(path());
    return value ? value->toDictionary() : PlistDictionary();
}
