// Base64 decoding as attachments need it: the standard alphabet, every
// character outside it (line breaks, spaces) ignored.
#pragma once

#include <QByteArray>
#include <optional>

// Decodes `text`. Fails (nullopt) when the text holds no base64 at all, when
// "=" padding is followed by more base64, when there is more padding than a
// final group allows, or when the last group is a single character (which
// cannot encode a byte). A final group without its padding is accepted.
std::optional<QByteArray> decodeBase64IgnoringUnknownCharacters(const QByteArray& text);
