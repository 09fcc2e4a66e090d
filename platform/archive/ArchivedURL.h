// A URL as the platform's keyed archives hold it: an "NSURL" instance with no
// base ("NS.base" nil) and the absolute text as "NS.relative". Reading also
// resolves an archived base, as the platform's own archives may carry one.
#pragma once

#include <QUrl>

#include "platform/archive/ArchiveValue.h"

class ArchivedURL : public ArchivableObject {
  public:
    explicit ArchivedURL(QUrl url) : url_(std::move(url)) {}
    QString className() const override { return QStringLiteral("NSURL"); }
    void encodeWithCoder(KeyedArchiver& coder) override;

    // The URL of an archived URL object (an instance read back by the
    // unarchiver); a plain string reads as a URL too; anything else is empty.
    static QUrl urlFromArchive(const ArchiveValue& value);

  private:
    QUrl url_;
};
