#include "util/PassphraseList.h"

#include <openssl/crypto.h>

#include <QFile>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace {

Error fileError(long code, const QString& message) {
    return Error(kPassphraseListErrorDomain, code, message);
}

void wipe(QByteArray& buffer) {
    if (!buffer.isEmpty()) OPENSSL_cleanse(buffer.data(), size_t(buffer.size()));
}

}  // namespace

PassphraseList::~PassphraseList() {
    for (std::vector<char>& passphrase : passphrases_)
        OPENSSL_cleanse(passphrase.data(), passphrase.size());
}

void PassphraseList::addPassphrase(QByteArrayView passphrase) {
    if (passphrase.isEmpty()) return;
    // Sized once, so that no copy of the secret is left behind by a reallocation.
    passphrases_.emplace_back(passphrase.begin(), passphrase.end());
}

QByteArrayView PassphraseList::at(qsizetype index) const {
    const std::vector<char>& passphrase = passphrases_.at(size_t(index));
    return QByteArrayView(passphrase.data(), qsizetype(passphrase.size()));
}

bool PassphraseList::addPassphrasesFromFileAtPath(const QString& path, Error* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fileError(PassphraseFileUnreadable,
                  stringWithFormat(localizedString("The passphrase file “%@” cannot be read: %@"),
                                   {path, file.errorString()}))
            .report(error);
        return false;
    }
    // Read at most one byte beyond the limit: a device or a huge file is
    // refused without reading it all.
    QByteArray text = file.read(maximumFileBytes + 1);
    const bool failed = text.isNull() && file.error() != QFileDevice::NoError;
    if (failed || text.size() > maximumFileBytes) {
        wipe(text);
        fileError(failed ? PassphraseFileUnreadable : PassphraseFileTooLarge,
                  failed ? stringWithFormat(
                               localizedString("The passphrase file “%@” cannot be read: %@"),
                               {path, file.errorString()})
                         : stringWithFormat(localizedString("The passphrase file “%@” is larger "
                                                            "than %lu bytes; it holds one "
                                                            "passphrase a line."),
                                            {path, static_cast<unsigned long>(maximumFileBytes)}))
            .report(error);
        return false;
    }
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) end = text.size();
        QByteArrayView line = QByteArrayView(text).sliced(start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        addPassphrase(line);
        start = end + 1;
    }
    wipe(text);
    return true;
}
