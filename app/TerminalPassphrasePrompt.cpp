#include "app/TerminalPassphrasePrompt.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <termios.h>
#include <unistd.h>

#include <array>

#include "platform/foundation/Localization.h"

namespace {

const QString kDomain = QStringLiteral("TerminalPassphrasePromptErrorDomain");

// Turns the terminal's echo off for its lifetime; nothing for other input.
class EchoOff {
  public:
    explicit EchoOff(int descriptor) : descriptor_(descriptor) {
        if (::tcgetattr(descriptor_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        active_ = ::tcsetattr(descriptor_, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (active_) ::tcsetattr(descriptor_, TCSAFLUSH, &saved_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    int descriptor_;
    termios saved_{};
    bool active_ = false;
};

void writeAll(int descriptor, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(descriptor, bytes.constData() + written, size_t(bytes.size() - written));
        if (n <= 0) return;  // the prompt is a courtesy; the answer is what counts
        written += n;
    }
}

}  // namespace

bool TerminalPassphrasePrompt::askInto(PassphraseList& passphrases, const QString& prompt,
                                       int inputDescriptor, int outputDescriptor, Error* error) {
    writeAll(outputDescriptor, prompt.toUtf8());
    std::array<char, maximumPassphraseBytes + 1> line{};
    size_t length = 0;
    bool ended = false, sawAny = false;
    {
        const EchoOff echoOff(inputDescriptor);
        // One byte at a time: nothing after the line is taken from the input.
        char c = 0;
        while (::read(inputDescriptor, &c, 1) == 1) {
            sawAny = true;
            if (c == '\n') {
                ended = true;
                break;
            }
            if (length < line.size()) line[length] = c;
            ++length;
        }
        c = 0;
    }
    writeAll(outputDescriptor, QByteArrayLiteral("\n"));
    bool taken = false;
    if (!sawAny) {
        Error(kDomain, 1, localizedString("No passphrase was entered.")).report(error);
    } else if (length > maximumPassphraseBytes) {
        Error(kDomain, 2, localizedString("The passphrase is longer than 4096 bytes."))
            .report(error);
    } else {
        if (length > 0 && line[length - 1] == '\r' && ended) --length;
        passphrases.addPassphrase(QByteArrayView(line.data(), qsizetype(length)));
        taken = true;
    }
    OPENSSL_cleanse(line.data(), line.size());
    return taken;
}

bool TerminalPassphrasePrompt::askOnTerminalInto(PassphraseList& passphrases, const QString& prompt,
                                                 Error* error) {
    const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (terminal < 0) {
        Error(kDomain, 3, localizedString("--ask-passphrase needs a terminal to ask on."))
            .report(error);
        return false;
    }
    const bool taken = askInto(passphrases, prompt, terminal, terminal, error);
    ::close(terminal);
    return taken;
}
