// The encrypted passages ("en-crypt") of a run's notes, opened with the
// passphrases the user gave. One object serves the whole run: the export
// operation makes it, every converter reads it, and it counts what became of
// the passages.
//
// A passage names its cipher ("AES", or "RC2" when the attribute is absent)
// and key length ("length": 128 for AES, 64 for RC2, or absent), and holds
// the base64 of its bytes (PassageCipher). The passphrases are tried in
// order; the first that opens it wins. Its plaintext is an ENML fragment
// (entities such as "&nbsp;", several top-level nodes, trailing zero bytes):
// its nodes take the passage's place in the note's tree, so that the note
// package and the web archive both show them with their formatting. A
// plaintext that is not well-formed stands there as plain text.
//
// A passage that none opens, that is damaged, too large (more than
// maximumPassageCharacters of base64) or of an unknown cipher or length stays
// in the tree and reads as "********" as without passphrases; it gets a line
// in the system log naming the note and the passage's hint, never a
// passphrase, and is counted. Nothing else of the note changes.
//
// Threading: decryptPassagesInNote may run on many converting threads at
// once; the counts are atomic.
#pragma once

#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

#include "platform/xml/XMLDocument.h"
#include "util/PassphraseList.h"

class EvernoteEncryptedPassages {
  public:
    // Base64 text beyond this is not read: 4 MB of passage, far beyond real ones.
    static constexpr qsizetype maximumPassageCharacters = 6 << 20;

    // Tries `passphrases` (shared; REQUIRES: not null) on every passage.
    explicit EvernoteEncryptedPassages(std::shared_ptr<const PassphraseList> passphrases);

    // Replaces every passage below `note` in `document` that a passphrase
    // opens by its plaintext's nodes; `noteTitle` names the note in log lines.
    void decryptPassagesInNote(XMLDocument& document, XMLNode note, const QString& noteTitle);

    // Drops the passphrases (the list wipes them when its last holder lets
    // go); later passages stay hidden. Safe while notes convert.
    void forgetPassphrases() const;

    unsigned long decryptedCount() const { return decrypted_.load(); }
    unsigned long undecryptableCount() const { return undecryptable_.load(); }

  private:
    // The passage's plaintext, or nullopt with the reason users read.
    std::optional<QByteArray> plaintextOfPassage(const XMLNode& passage,
                                                 const PassphraseList& passphrases,
                                                 QString* reason) const;
    // Puts the plaintext's nodes where `passage` stands and removes it.
    static void replacePassage(XMLDocument& document, XMLNode passage, const QByteArray& plaintext);

    mutable std::mutex mutex_;  // guards passphrases_
    mutable std::shared_ptr<const PassphraseList> passphrases_;
    std::atomic<unsigned long> decrypted_{0};
    std::atomic<unsigned long> undecryptable_{0};
};
