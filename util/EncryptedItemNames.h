// The names of Pelmora's encrypted items: a note, document, image, movie,
// sound, bookmark or web page stored encrypted carries one of seven
// extensions. Stateless, any thread.
#pragma once

#include <QString>
#include <QStringList>

namespace PMExtensions {

// The extensions of encrypted items, in Pelmora's order of item types.
const QStringList& encryptedItemExtensions();

// True when the extension of `name` (a file name or path; the text after its
// last ".") is exactly, case included, one of encryptedItemExtensions. A name
// without "." has no extension.
bool isEncryptedFile(const QString& name);

}  // namespace PMExtensions
