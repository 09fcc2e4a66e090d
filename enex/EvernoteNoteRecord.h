// One note as the ENEX parser reads it: its fields and its attachments,
// nothing converted yet. The parser fills a record; the converter
// (EvernoteXMLItem) turns it into the note's item.
//
// Threading: a record belongs to one thread at a time; the parser hands it
// over whole to the worker that converts it.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "enex/EvernoteXMLItemNoteAttributes.h"
#include "enex/EvernoteXMLResource.h"
#include "enex/EvernoteXMLTask.h"
#include "platform/foundation/DateText.h"

struct EvernoteNoteRecord {
    QString identifier = makeUUIDString();  // names the item; fresh and upper-case
    QString title;
    QByteArray contentData;  // the ENML, UTF-8, as read
    QDateTime created;
    QDateTime updated;
    QStringList tags;
    std::vector<std::unique_ptr<EvernoteXMLResource>> resources;
    std::vector<EvernoteXMLTask> tasks;
    EvernoteXMLItemNoteAttributes noteAttributes;
};
