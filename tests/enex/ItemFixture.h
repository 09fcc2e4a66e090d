// A note record as the ENEX parser fills it, over a temporary notebook
// folder, for tests of the note conversion.
#pragma once

#include <QDir>
#include <memory>

#include "enex/EvernoteXMLItem.h"
#include "tests/support/ENEXBuilder.h"
#include "tests/support/TestEnvironment.h"

struct ItemFixture {
    TestEnvironment env;
    QString folder = env.path(QStringLiteral("Notebook"));
    std::unique_ptr<EvernoteXMLItem> item;

    ItemFixture(const QString& title, const QString& enml,
                const QList<TestAttachment>& attachments) {
        QDir().mkpath(folder);
        item = std::make_unique<EvernoteXMLItem>(QUrl::fromLocalFile(folder));
        item->record().title = title;
        QString body = enml;
        for (int i = 0; i < attachments.size(); ++i)
            body.replace(QStringLiteral("%MEDIA%1%").arg(i), enMedia(attachments[i]));
        item->record().contentData =
            (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                            "<!DOCTYPE en-note SYSTEM \"http://xml.evernote.com/pub/enml2.dtd\">"
                            "<en-note>") +
             body + QStringLiteral("</en-note>"))
                .toUtf8();
        for (const TestAttachment& a : attachments) {
            auto r = std::make_unique<EvernoteXMLResource>();
            r->base64Data = a.bytes.toBase64();
            r->mime = a.mime;
            r->attributes.filename = a.fileName;
            item->record().resources.push_back(std::move(r));
        }
    }

    QStringList files() const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    }
};

inline PlistDictionary folderGroup() {
    PlistDictionary group;
    group.set(QStringLiteral("groupType"), 70);
    return group;
}
