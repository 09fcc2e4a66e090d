#include "enex/EvernoteEncryptedPassages.h"

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SystemLog.h"
#include "util/Base64.h"
#include "util/ConversionWarnings.h"
#include "util/PassageCipher.h"

namespace {

enum class Cipher { AES, RC2, Unknown };

Cipher cipherOfPassage(const XMLNode& passage) {
    const QString name = passage.attribute(QStringLiteral("cipher")).trimmed();
    const QString length = passage.attribute(QStringLiteral("length")).trimmed();
    if (name.compare(QLatin1String("AES"), Qt::CaseInsensitive) == 0)
        return length.isEmpty() || length == QLatin1String("128") ? Cipher::AES : Cipher::Unknown;
    if (name.isEmpty() || name.compare(QLatin1String("RC2"), Qt::CaseInsensitive) == 0)
        return length.isEmpty() || length == QLatin1String("64") ? Cipher::RC2 : Cipher::Unknown;
    return Cipher::Unknown;
}

// The plaintext without the zero bytes that pad its end.
QByteArrayView withoutTrailingZeros(const QByteArray& plaintext) {
    qsizetype end = plaintext.size();
    while (end > 0 && plaintext.at(end - 1) == '\0') --end;
    return QByteArrayView(plaintext).first(end);
}

}  // namespace

EvernoteEncryptedPassages::EvernoteEncryptedPassages(
    std::shared_ptr<const PassphraseList> passphrases)
    : passphrases_(std::move(passphrases)) {}

void EvernoteEncryptedPassages::decryptPassagesInNote(XMLDocument& document, XMLNode note,
                                                      const QString& noteTitle) {
    std::shared_ptr<const PassphraseList> passphrases;
    {
        std::lock_guard lock(mutex_);
        passphrases = passphrases_;
    }
    if (!passphrases) return;
    // Collected first: the plaintext put in place is not searched again.
    const QList<XMLNode> passages = document.nodesForXPath(QStringLiteral(".//en-crypt"), note);
    for (const XMLNode& passage : passages) {
        QString reason;
        const auto plaintext = plaintextOfPassage(passage, *passphrases, &reason);
        if (!plaintext) {
            ++undecryptable_;
            ConversionWarnings::log(stringWithFormat(
                QStringLiteral("Encrypted passage (hint \"%@\") of note \"%@\" could not be "
                               "decrypted and stays hidden: %@"),
                {passage.attribute(QStringLiteral("hint")), noteTitle, reason}));
            continue;
        }
        replacePassage(document, passage, *plaintext);
        ++decrypted_;
    }
}

void EvernoteEncryptedPassages::forgetPassphrases() const {
    std::lock_guard lock(mutex_);
    passphrases_.reset();
}

std::optional<QByteArray> EvernoteEncryptedPassages::plaintextOfPassage(
    const XMLNode& passage, const PassphraseList& passphrases, QString* reason) const {
    const Cipher cipher = cipherOfPassage(passage);
    if (cipher == Cipher::Unknown) {
        *reason = stringWithFormat(localizedString("unknown cipher “%@” of length “%@”"),
                                   {passage.attribute(QStringLiteral("cipher")),
                                    passage.attribute(QStringLiteral("length"))});
        return std::nullopt;
    }
    const QString text = passage.textContent();
    if (text.size() > maximumPassageCharacters) {
        *reason = stringWithFormat(localizedString("the passage is larger than %lu characters"),
                                   {static_cast<unsigned long>(maximumPassageCharacters)});
        return std::nullopt;
    }
    Base64Decoder decoder;
    decoder.append(QStringView(text));
    const auto bytes = decoder.finish();
    if (!bytes) {
        *reason = localizedString("the passage is not valid base64");
        return std::nullopt;
    }
    Error error(kPassageCipherErrorDomain, PassageCipherWrongPassphrase,
                localizedString("no passphrase was given"));
    for (qsizetype i = 0; i < passphrases.count(); ++i) {
        auto plaintext = cipher == Cipher::AES
                             ? PassageCipher::decryptAES(*bytes, passphrases.at(i), &error)
                             : PassageCipher::decryptRC2(*bytes, passphrases.at(i), &error);
        if (plaintext) return plaintext;
        // A damaged passage stays damaged whatever the passphrase.
        if (error.code() != PassageCipherWrongPassphrase) break;
    }
    *reason = error.localizedDescription();
    return std::nullopt;
}

void EvernoteEncryptedPassages::replacePassage(XMLDocument& document, XMLNode passage,
                                               const QByteArray& plaintext) {
    XMLNode parent = passage.parent();
    const QByteArrayView text = withoutTrailingZeros(plaintext);
    // As the children of one element, so that several top-level nodes read too.
    QByteArray wrapped = QByteArrayLiteral("<en-note>");
    wrapped.append(text).append("</en-note>");
    const auto fragment = XMLDocument::parseXML(wrapped);
    if (fragment && !fragment->rootElement().isNull()) {
        for (const XMLNode& child : fragment->rootElement().children())
            parent.insertBefore(child, passage);
    } else {
        parent.insertBefore(document.createTextNode(QString::fromUtf8(text)), passage);
    }
    passage.remove();
}
