// ArchivableObject: the interface of an object that the keyed archiver can
// store as an instance of a named class (the platform's NSCoding). A class
// writes its state into the archiver in encodeWithCoder(); the unarchiver
// rebuilds it through a factory registered for its class name (see
// KeyedUnarchiver). Objects are held by std::shared_ptr; the archiver keeps
// identity, so one object reachable twice is archived once.
#pragma once

#include <QString>
#include <QStringList>

class KeyedArchiver;

class ArchivableObject {
  public:
    virtual ~ArchivableObject() = default;

    // The name written as "$classname".
    virtual QString className() const = 0;
    // The class and its superclasses, most derived first, written as
    // "$classes". The default is {className(), "NSObject"}.
    virtual QStringList classChain() const;
    // Writes the object's state with the archiver's encode… calls. May update
    // the object (a class may normalise a field as it stores it). Runs on the
    // archiving thread.
    virtual void encodeWithCoder(KeyedArchiver& coder) = 0;
};
