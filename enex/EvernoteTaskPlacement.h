// Tasks in the note's text. Newer exports keep a note's tasks beside its
// content, and mark where they belong with a task-group block (a div styled
// "--en-task-group:true; --en-id:<id>") that holds only a placeholder. Before
// the note is read, each group block is replaced by its tasks, one check box
// line each, so they become checklist items like any other to-do.
#pragma once

#include <vector>

#include "enex/EvernoteXMLTask.h"
#include "platform/xml/XMLDocument.h"

namespace EvernoteTaskPlacement {

// Replaces every task-group block of `note` by the lines of the tasks whose
// group it is, in "sortWeight" order (file order among equal weights). A line
// is an "en-todo" (checked when the task is completed) and the task's title,
// followed by what else the task says: its due date (in its time zone; the
// day alone for a date-only due date), a flag, a reminder date. Tasks whose
// group is not in the note are added at the end of the note, and logged with
// `noteTitle`. Does nothing when there are no tasks and no group blocks.
void placeTasks(XMLDocument& document, XMLNode note, const std::vector<EvernoteXMLTask>& tasks,
                const QString& noteTitle);

// The text of a task's line after its check box.
QString lineText(const EvernoteXMLTask& task);

}  // namespace EvernoteTaskPlacement
