// A Pelmora library whose index refuses one item: its items table of the
// first layout (without the fingerprint columns, which the next import adds)
// and a trigger that fails the insert of the item named `itemName` with
// `message`, as a full disk would. For tests of how a refusal is reported.
#pragma once

#include <QString>

// Creates the library folder and its index; false when the index cannot be made.
bool makeLibraryThatRefusesItem(const QString& library, const QString& itemName,
                                const QString& message);
