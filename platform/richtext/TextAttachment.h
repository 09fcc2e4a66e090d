// TextAttachment: an attachment in rich text: the file it holds (a
// FileWrapper, possibly a folder) and how big it shows. It stands on one
// U+FFFC character. `fileType` and `userInfo` let higher layers mark special
// attachments (a checklist box sets its own type and keeps its state in
// userInfo) without the rich-text system knowing about them. A plain value.
#pragma once

#include <QSizeF>
#include <QString>
#include <QVariant>

#include "platform/richtext/FileWrapper.h"

class TextAttachment {
  public:
    TextAttachment() = default;
    explicit TextAttachment(const FileWrapper& fileWrapper) : fileWrapper_(fileWrapper) {}

    // The attachment character, U+FFFC.
    static constexpr char16_t Character = u'\uFFFC';

    const FileWrapper& fileWrapper() const { return fileWrapper_; }
    void setFileWrapper(const FileWrapper& wrapper) { fileWrapper_ = wrapper; }
    // A type identifier naming what kind of attachment this is; empty for a plain file.
    const QString& fileType() const { return fileType_; }
    void setFileType(const QString& type) { fileType_ = type; }
    // Free data for the layer that owns the type (for example a checked state).
    const QVariant& userInfo() const { return userInfo_; }
    void setUserInfo(const QVariant& info) { userInfo_ = info; }
    // The displayed size in points; empty when unknown.
    const QSizeF& displaySize() const { return displaySize_; }
    void setDisplaySize(const QSizeF& size) { displaySize_ = size; }

    friend bool operator==(const TextAttachment&, const TextAttachment&) = default;

  private:
    FileWrapper fileWrapper_;
    QString fileType_;
    QVariant userInfo_;
    QSizeF displaySize_;
};
