// The passphrases of one import run, tried in order on every encrypted
// passage. They are secrets: they are held only here, in buffers this class
// owns and wipes (OPENSSL_cleanse) when it is destroyed, and nothing here
// ever writes them anywhere. Not copyable; shared by pointer.
//
// Errors: domain "PassphraseListErrorDomain", 1 for a file that cannot be
// read, 2 for a file larger than maximumFileBytes.
//
// Threading: filled on one thread before the run, then read from any number.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Error.h"

inline const QString kPassphraseListErrorDomain = QStringLiteral("PassphraseListErrorDomain");
enum PassphraseListErrorCode : long {
    PassphraseFileUnreadable = 1,
    PassphraseFileTooLarge = 2,
};

class PassphraseList {
  public:
    // A file of passphrases is a short text; anything larger is not one.
    static constexpr qint64 maximumFileBytes = 64 * 1024;

    PassphraseList() = default;
    ~PassphraseList();
    PassphraseList(const PassphraseList&) = delete;
    PassphraseList& operator=(const PassphraseList&) = delete;

    // Adds the passphrases of the file at `path`, one a line ("\n" or
    // "\r\n"), empty lines left out. False with the error when the file
    // cannot be read or is larger than maximumFileBytes; nothing is added then.
    bool addPassphrasesFromFileAtPath(const QString& path, Error* error = nullptr);
    // Adds one passphrase (UTF-8 bytes); an empty one is left out.
    void addPassphrase(QByteArrayView passphrase);

    bool isEmpty() const { return passphrases_.empty(); }
    qsizetype count() const { return qsizetype(passphrases_.size()); }
    // The passphrase at `index`, valid while the list lives.
    QByteArrayView at(qsizetype index) const;

  private:
    std::vector<std::vector<char>> passphrases_;
};
