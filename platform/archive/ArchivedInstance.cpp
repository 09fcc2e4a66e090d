#include "platform/archive/ArchivedInstance.h"

#include "platform/archive/KeyedArchiver.h"

ArchivedInstance::ArchivedInstance(QString className, QStringList classChain,
                                   std::vector<Field> fields)
    : className_(std::move(className)),
      classChain_(std::move(classChain)),
      fields_(std::move(fields)) {}

void ArchivedInstance::encodeWithCoder(KeyedArchiver& coder) {
    for (const Field& field : fields_) {
        switch (field.kind) {
            case FieldKind::Inline:
                coder.encodePropertyList(field.value, field.key);
                break;
            case FieldKind::Object:
                coder.encodeObject(field.value, field.key);
                break;
            case FieldKind::ObjectArray:
                coder.encodeArrayOfObjects(field.value.arrayItems(), field.key);
                break;
        }
    }
}

ArchiveValue ArchivedInstance::field(const QString& key) const {
    for (const Field& field : fields_) {
        if (field.key == key) return field.value;
    }
    return {};
}
