#include "app/PassphrasePrompt.h"

#include <openssl/crypto.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/foundation/Format.h"
#include "platform/foundation/Localization.h"

namespace {

// Takes the field's text into a list and wipes every copy we hold.
std::shared_ptr<const PassphraseList> takePassphrase(QLineEdit& field) {
    QString text = field.text();
    field.clear();  // our copy is now the only one, so fill() wipes it in place
    QByteArray bytes = text.toUtf8();
    text.fill(QChar(0));
    if (bytes.isEmpty()) return nullptr;
    auto passphrases = std::make_shared<PassphraseList>();
    passphrases->addPassphrase(bytes);
    OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    return passphrases;
}

}  // namespace

std::shared_ptr<const PassphraseList> PassphrasePrompt::ask(QWidget* parent, unsigned long count) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("PassphrasePrompt"));
    dialog.setWindowTitle(localizedString("Encrypted Passages"));
    dialog.setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(&dialog);
    auto* message = new QLabel(
        stringWithFormat(localizedString("The export holds %lu encrypted passages. Enter their "
                                         "passphrase to import them as text, or skip them to "
                                         "keep them hidden (“********”)."),
                         {count}),
        &dialog);
    message->setWordWrap(true);
    layout->addWidget(message);
    auto* field = new QLineEdit(&dialog);
    field->setObjectName(QStringLiteral("PassphraseField"));
    field->setEchoMode(QLineEdit::Password);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* decrypt =
        buttons->addButton(localizedString("Decrypt"), QDialogButtonBox::AcceptRole);
    buttons->addButton(localizedString("Skip"), QDialogButtonBox::RejectRole);
    decrypt->setDefault(true);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (!accepted) {
        field->clear();
        return nullptr;
    }
    return takePassphrase(*field);
}
