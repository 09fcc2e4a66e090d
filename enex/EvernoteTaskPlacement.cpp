#include "enex/EvernoteTaskPlacement.h"

#include <QHash>
#include <QTimeZone>
#include <algorithm>

#include "platform/foundation/Format.h"
#include "platform/foundation/SystemLog.h"
#include "platform/richtext/CSSStyle.h"
#include "util/ConversionWarnings.h"

namespace EvernoteTaskPlacement {
namespace {

// The group identifier of a task-group block, or an empty text for any other element.
QString taskGroupOf(const XMLNode& element) {
    if (!element.isElement() || !element.hasAttribute(QStringLiteral("style"))) return QString();
    const CSSStyle style = CSSStyle::fromDeclarations(element.attribute(QStringLiteral("style")));
    if (style.keyword(QStringLiteral("--en-task-group")).trimmed() != QLatin1String("true"))
        return QString();
    return style.value(QStringLiteral("--en-id")).trimmed();
}

QList<XMLNode> taskGroupBlocks(XMLNode note) {
    QList<XMLNode> blocks;
    XMLNode node = note.firstChild();
    while (node && node != note) {
        const bool isGroup = !taskGroupOf(node).isEmpty();
        if (isGroup) blocks.append(node);
        if (!isGroup && node.firstChild()) {  // a group's placeholder is not searched
            node = node.firstChild();
            continue;
        }
        while (node != note && !node.nextSibling()) node = node.parent();
        if (node != note) node = node.nextSibling();
    }
    return blocks;
}

QString dateText(const QDateTime& date, const QString& timeZone, bool dayOnly) {
    const QTimeZone zone(timeZone.toUtf8());
    const QDateTime shown = zone.isValid() ? date.toTimeZone(zone) : date.toUTC();
    return shown.toString(dayOnly ? QStringLiteral("yyyy-MM-dd")
                                  : QStringLiteral("yyyy-MM-dd HH:mm"));
}

// The block holding one line per task, in the order the tasks are shown.
XMLNode taskBlock(XMLDocument& document, QList<const EvernoteXMLTask*> tasks) {
    std::stable_sort(tasks.begin(), tasks.end(),
                     [](const EvernoteXMLTask* a, const EvernoteXMLTask* b) {
                         return a->sortWeight < b->sortWeight;
                     });
    XMLNode block = document.createElement(QStringLiteral("div"));
    for (const EvernoteXMLTask* task : tasks) {
        XMLNode line = block.addChild(document.createElement(QStringLiteral("div")));
        XMLNode box = line.addChild(document.createElement(QStringLiteral("en-todo")));
        box.setAttribute(QStringLiteral("checked"),
                         task->isCompleted() ? QStringLiteral("true") : QStringLiteral("false"));
        line.addChild(document.createTextNode(lineText(*task)));
    }
    return block;
}

}  // namespace

QString lineText(const EvernoteXMLTask& task) {
    QStringList details;
    if (task.dueDate.isValid())
        details << QStringLiteral("due ") +
                       dateText(task.dueDate, task.timeZone,
                                task.dueDateUIOption == QLatin1String("date_only"));
    if (task.flagged) details << QStringLiteral("flagged");
    if (task.reminderDate.isValid())
        details << QStringLiteral("reminder ") + dateText(task.reminderDate,
                                                          task.reminderTimeZone.isEmpty()
                                                              ? task.timeZone
                                                              : task.reminderTimeZone,
                                                          false);
    const QString title = task.title.simplified();
    return details.isEmpty()
               ? title
               : title + QStringLiteral(" (") + details.join(QStringLiteral("; ")) + u')';
}

void placeTasks(XMLDocument& document, XMLNode note, const std::vector<EvernoteXMLTask>& tasks,
                const QString& noteTitle) {
    QHash<QString, QList<const EvernoteXMLTask*>> byGroup;
    for (const EvernoteXMLTask& task : tasks) byGroup[task.taskGroupNoteLevelID].append(&task);
    for (const XMLNode& group : taskGroupBlocks(note)) {
        const QString id = taskGroupOf(group);
        const XMLNode block = taskBlock(document, byGroup.take(id));
        group.replaceWith(block);
    }
    QList<const EvernoteXMLTask*> orphans;
    for (const EvernoteXMLTask& task : tasks) {
        if (!byGroup.contains(task.taskGroupNoteLevelID)) continue;
        ConversionWarnings::log(
            stringWithFormat(QStringLiteral("Task \"%@\" of note \"%@\" has no place in the "
                                            "note's text; it is added at the end."),
                             {task.title, noteTitle}));
        orphans.append(&task);
    }
    if (!orphans.isEmpty()) note.addChild(taskBlock(document, orphans));
}

}  // namespace EvernoteTaskPlacement
