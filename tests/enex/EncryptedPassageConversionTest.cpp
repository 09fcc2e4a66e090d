// Encrypted passages in converted notes: opened ones read as the rest of the
// note, in place and with their formatting, in note packages and web
// archives alike; those no passphrase opens stay hidden, and nothing else of
// their note changes.
#include <gtest/gtest.h>

#include "formats/PMNoteFile.h"
#include "platform/foundation/Operation.h"
#include "tests/enex/ItemFixture.h"
#include "tests/support/PassageEncryptor.h"

namespace {

std::shared_ptr<EvernoteEncryptedPassages> passagesOpenedBy(const QList<QByteArray>& phrases) {
    auto list = std::make_shared<PassphraseList>();
    for (const QByteArray& phrase : phrases) list->addPassphrase(phrase);
    return std::make_shared<EvernoteEncryptedPassages>(list);
}

// The note package's text of `enml` converted with `passages` (may be null).
AttributedString convertedText(const QString& enml,
                               std::shared_ptr<EvernoteEncryptedPassages> passages) {
    ItemFixture f(QStringLiteral("Secrets"), enml, {});
    f.item->setEncryptedPassages(std::move(passages));
    Error error;
    const auto dict = f.item->itemDictInGroup(folderGroup(), &error);
    EXPECT_TRUE(dict) << error.description().toStdString();
    if (!dict) return AttributedString();
    const auto package = PMNoteFile::noteFileWithFileURL(
        QUrl::fromLocalFile(dict->value(QStringLiteral("absoluteFilename")).toString()), &error);
    EXPECT_NE(package, nullptr);
    return package ? *package->noteText() : AttributedString();
}

bool isBoldAt(const AttributedString& text, const QString& word) {
    const qsizetype at = text.string().indexOf(word);
    const auto& font = at >= 0 ? text.attributesAtIndex(at).font : std::nullopt;
    return font && font->isBold();
}

QString aesPassage(const QByteArray& plaintext, const QByteArray& phrase) {
    return PassageEncryptor::element(PassageEncryptor::aes(plaintext, phrase),
                                     QStringLiteral("AES"), QStringLiteral("128"),
                                     QStringLiteral("the usual"));
}

}  // namespace

TEST(EncryptedPassageConversion, OpensBothCiphersInPlaceWithTheirFormatting) {
    // RC2 without a "cipher" attribute, as older exports write it; the
    // plaintext holds an entity, several top-level nodes and zero bytes.
    const QString rc2 =
        PassageEncryptor::element(PassageEncryptor::rc2("<b>rc2word</b>&nbsp;tail", "second"),
                                  QString(), QStringLiteral("64"), QStringLiteral("old"));
    static const char aesPlaintext[] = "<div><b>aesword</b> plain</div>\0\0";
    const QString aes = aesPassage(QByteArray(aesPlaintext, sizeof aesPlaintext - 1), "first");
    auto passages = passagesOpenedBy({"wrong", "first", "second"});
    const AttributedString text = convertedText(
        QStringLiteral("<div>before</div>%1<div>middle %2 after</div>").arg(aes, rc2), passages);
    const QString string = text.string();
    EXPECT_FALSE(string.contains(QStringLiteral("********")));
    EXPECT_LT(string.indexOf(QStringLiteral("before")), string.indexOf(QStringLiteral("aesword")));
    EXPECT_LT(string.indexOf(QStringLiteral("plain")), string.indexOf(QStringLiteral("middle")));
    EXPECT_TRUE(string.contains(QStringLiteral(u"middle rc2word\u00A0tail after")));
    EXPECT_TRUE(isBoldAt(text, QStringLiteral("aesword")));
    EXPECT_TRUE(isBoldAt(text, QStringLiteral("rc2word")));
    EXPECT_FALSE(isBoldAt(text, QStringLiteral("plain")));
    EXPECT_FALSE(string.contains(QChar(0)));
    EXPECT_EQ(passages->decryptedCount(), 2u);
    EXPECT_EQ(passages->undecryptableCount(), 0u);
}

TEST(EncryptedPassageConversion, UnopenedAndDamagedPassagesChangeNothingElse) {
    const QByteArray good = PassageEncryptor::aes("<b>hidden</b>", "key");
    QByteArray badMAC = QByteArray::fromBase64(good);
    badMAC[badMAC.size() - 1] = char(badMAC.back() ^ 0x55);
    // Wrong passphrase, unknown length, bad HMAC, bad base64, wrong cipher, too large.
    const QString attributes[][2] = {{"AES", "128"}, {"AES", "256"}, {"AES", "128"},
                                     {"AES", "128"}, {"RC2", "64"},  {"AES", "128"}};
    const QByteArray bodies[] = {
        good,   good, badMAC.toBase64(),
        "!!!!", good, QByteArray(EvernoteEncryptedPassages::maximumPassageCharacters + 1, 'A')};
    for (int i = 0; i < 6; ++i) {
        const QString enml =
            QStringLiteral("<div><i>one</i> %1 <b>two</b></div><div>three</div>")
                .arg(PassageEncryptor::element(bodies[i], attributes[i][0], attributes[i][1],
                                               QStringLiteral("hint")));
        // "key" opens only the first passage's bytes read as AES of length 128.
        auto passages = passagesOpenedBy({i == 0 ? QByteArray("other") : QByteArray("key")});
        const AttributedString hidden = convertedText(enml, nullptr);
        const AttributedString tried = convertedText(enml, passages);
        EXPECT_EQ(tried.string(), hidden.string()) << i;
        EXPECT_TRUE(tried.string().contains(QStringLiteral("one ******** two"))) << i;
        EXPECT_TRUE(isBoldAt(tried, QStringLiteral("two"))) << i;
        EXPECT_EQ(passages->undecryptableCount(), 1u) << i;
        EXPECT_EQ(passages->decryptedCount(), 0u) << i;
    }
}

TEST(EncryptedPassageConversion, AnOpenedPassageReachesTheWebArchive) {
    ItemFixture f(QStringLiteral("Clip"),
                  QStringLiteral("<div>clipped %1</div>")
                      .arg(aesPassage("<span style=\"color:red\">redword</span>", "key")),
                  {});
    f.item->record().noteAttributes.source = QStringLiteral("web.clip");
    f.item->record().noteAttributes.sourceURL = QStringLiteral("https://example.com/page");
    f.item->setEncryptedPassages(passagesOpenedBy({"key"}));
    std::optional<PlistDictionary> dict;
    Error error;
    OperationQueue worker;  // the web archive is made off the main thread
    worker.addOperationWithBlock([&] { dict = f.item->itemDictInGroup(folderGroup(), &error); });
    ASSERT_TRUE(runEventLoopUntil([&] { return worker.operationCount() == 0; }, 60000));
    ASSERT_TRUE(dict.has_value()) << error.description().toStdString();
    const auto archive =
        PlistValue::readFromFile(dict->value(QStringLiteral("absoluteFilename")).toString());
    ASSERT_TRUE(archive.has_value());
    const QString page = QString::fromUtf8(archive->toDictionary()
                                               .value(QStringLiteral("WebMainResource"))
                                               .toDictionary()
                                               .value(QStringLiteral("WebResourceData"))
                                               .toData());
    EXPECT_TRUE(page.contains(QStringLiteral("clipped <span style=\"color:red\">redword</span>")))
        << page.toStdString();
    EXPECT_FALSE(page.contains(QStringLiteral("********")));
}

TEST(EncryptedPassageConversion, ForgottenPassphrasesAreReleasedAndOpenNothing) {
    auto list = std::make_shared<PassphraseList>();
    list->addPassphrase("key");
    const std::weak_ptr<PassphraseList> watched = list;
    auto passages = std::make_shared<EvernoteEncryptedPassages>(std::move(list));
    passages->forgetPassphrases();
    EXPECT_TRUE(watched.expired());
    const AttributedString text =
        convertedText(QStringLiteral("<div>%1</div>").arg(aesPassage("<b>x</b>", "key")), passages);
    EXPECT_EQ(text.string().trimmed(), QStringLiteral("********"));
}
