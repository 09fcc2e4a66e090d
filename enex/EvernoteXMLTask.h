// One task of a note as newer ENEX exports carry it (a <task> element beside
// the note's content): a to-do with a state and an optional due date, shown
// in the note at the place of its task group.
#pragma once

#include <QDateTime>
#include <QString>

struct EvernoteXMLTask {
    QString title;
    QString status;                // "open" or "completed"
    QString sortWeight;            // orders the tasks of a group, compared as text
    QString taskGroupNoteLevelID;  // the "--en-id" of the group's block in the content
    QDateTime dueDate;             // invalid when the task has none
    QString dueDateUIOption;       // "date_only" shows the day alone
    QString timeZone;              // IANA name the due date is shown in; UTC when absent
    bool flagged = false;
    QDateTime reminderDate;    // invalid when the task has no reminder
    QString reminderTimeZone;  // the zone the reminder is shown in; else the task's

    bool isCompleted() const { return status.trimmed() == QLatin1String("completed"); }
};
