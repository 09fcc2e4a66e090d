// ArchivedInstance: an instance of a class that the unarchiver has no factory
// for (a font, a paragraph style, any class of another program). It keeps the
// class name, the class chain and every field as read, so that the object can
// be inspected and archived again with its content intact.
#pragma once

#include <vector>

#include "platform/archive/ArchiveValue.h"

class ArchivedInstance : public ArchivableObject {
  public:
    enum class FieldKind {
        Inline,       // a plain value stored in the instance itself
        Object,       // a reference to an object
        ObjectArray,  // an array of references (value is an array of the objects)
    };
    struct Field {
        QString key;  // unescaped
        FieldKind kind = FieldKind::Inline;
        ArchiveValue value;
    };

    ArchivedInstance(QString className, QStringList classChain, std::vector<Field> fields);

    QString className() const override { return className_; }
    QStringList classChain() const override { return classChain_; }
    // Writes every field back with the kind it was read with.
    void encodeWithCoder(KeyedArchiver& coder) override;

    const std::vector<Field>& fields() const { return fields_; }
    // The value of the field named key, or nil.
    ArchiveValue field(const QString& key) const;

  private:
    QString className_;
    QStringList classChain_;
    std::vector<Field> fields_;
};
