#include "formats/PMWelcomeNote.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

#include "formats/PMChecklistTextAttachment.h"
#include "formats/PMNoteFile.h"
#include "platform/foundation/FileOperations.h"
#include "platform/foundation/Format.h"
#include "platform/foundation/SystemLog.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/richtext/FontRegistry.h"

namespace PMWelcomeNote {
namespace {

QString resourceFolder() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return QDir(cache).filePath(QStringLiteral("ferrymark/Resources"));
}

TextAttributes bodyAttributes(double size = 14, bool bold = false) {
    TextAttributes attributes;
    attributes.font = FontRegistry::fontWithFamily(QStringLiteral("Helvetica"), size, bold);
    return attributes;
}

void appendChecklistLine(AttributedString& text, bool on, const QString& line) {
    PMChecklistTextAttachment box(on);
    AttributedString boxText = box.attributedString();
    boxText.addAttributes(bodyAttributes(), {0, 1});
    text.append(boxText);
    TextAttributes attributes = bodyAttributes();
    attributes.paragraphStyle = box.checklistParagraphStyle();
    text.append(line + QLatin1Char('\n'), attributes);
}

}  // namespace

QString resourceName() { return QStringLiteral("Welcome to Pelmora"); }

AttributedString text() {
    AttributedString text;
    text.append(resourceName() + QLatin1Char('\n'), bodyAttributes(20, true));
    text.append(QStringLiteral("Notes keep rich text, pictures, documents and checklists. "
                               "Click a box to tick it off.\n"),
                bodyAttributes());
    appendChecklistLine(text, true, QStringLiteral("Import my notes"));
    appendChecklistLine(text, false, QStringLiteral("Write a new note"));
    return text;
}

std::optional<QString> resourcePath() {
    static QMutex mutex;
    const QMutexLocker lock(&mutex);
    const QString path =
        QDir(resourceFolder())
            .filePath(resourceName() + QLatin1Char('.') + PMNoteFile::fileExtension);
    if (QFileInfo(path).isDir()) return path;

    Error error;
    if (!FileOperations::makeDirectory(resourceFolder(), true, &error)) {
        systemLog(
            stringWithFormat(QStringLiteral("Couldn't create %@: %@"), {resourceFolder(), error}));
        return std::nullopt;
    }
    // Fixed settings, so the resource does not depend on the user's defaults.
    PMNoteFile note{UserDefaults(QStringLiteral("com.quorvel.Ferrymark.WelcomeNote"))};
    note.setNoteText(std::make_shared<AttributedString>(text()));
    if (!note.writeToFile(path, &error)) return std::nullopt;  // logged by the note
    return path;
}

}  // namespace PMWelcomeNote
