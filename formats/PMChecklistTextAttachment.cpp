#include "formats/PMChecklistTextAttachment.h"

#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"

const QString PMChecklistTextAttachment::fileTypeIdentifier =
    QStringLiteral("com.quorvel.checklist");
const QString PMChecklistTextAttachment::stringPasteboardType =
    QStringLiteral("NSStringPboardType");
const QString PMChecklistTextAttachment::checkedReplacementString =
    QStringLiteral(u"\u2611\uFE0E ");
const QString PMChecklistTextAttachment::uncheckedReplacementString = QStringLiteral(u"\u2610 ");

namespace {
const QString kCellKey = QStringLiteral("NSCell");
const QString kChecklistMIMEType = QStringLiteral("application/x-com.quorvel.checklist");
const QString kTextMIMEType = QStringLiteral("text/plain");
}  // namespace

PMChecklistTextAttachment::PMChecklistTextAttachment(bool on)
    : cell_(std::make_shared<PMChecklistAttachmentCell>(on)) {}

PMChecklistAttachmentCell& PMChecklistTextAttachment::cell() {
    if (!cell_) cell_ = std::make_shared<PMChecklistAttachmentCell>();
    return *cell_;
}

ParagraphStyle PMChecklistTextAttachment::checklistParagraphStyle() {
    const double width = cell().cellSize().width();
    ParagraphStyle style;
    style.headIndent = width;
    style.firstLineHeadIndent = -width;
    return style;
}

AttributedString PMChecklistTextAttachment::attributedString() {
    TextAttributes attributes;
    attributes.attachment = textAttachment();
    attributes.paragraphStyle = checklistParagraphStyle();
    return AttributedString(QString(QChar(TextAttachment::Character)), attributes);
}

TextAttachment PMChecklistTextAttachment::textAttachment() {
    TextAttachment attachment;
    attachment.setFileType(fileTypeIdentifier);
    attachment.setUserInfo(QVariant(on()));
    attachment.setDisplaySize(cell().cellSize());
    return attachment;
}

bool PMChecklistTextAttachment::isChecklistAttachment(const TextAttachment& attachment) {
    return attachment.fileType() == fileTypeIdentifier;
}

std::shared_ptr<PMChecklistTextAttachment> PMChecklistTextAttachment::fromTextAttachment(
    const TextAttachment& attachment) {
    if (!isChecklistAttachment(attachment)) return nullptr;
    return std::make_shared<PMChecklistTextAttachment>(attachment.userInfo().toBool());
}

// ---- pasteboard ----------------------------------------------------------------

QVariant PMChecklistTextAttachment::pasteboardPropertyListForType(const QString& type) {
    if (type == fileTypeIdentifier) {
        // The archiver uses the object only during the call.
        const std::shared_ptr<PMChecklistTextAttachment> self(this,
                                                              [](PMChecklistTextAttachment*) {});
        return QVariant(KeyedArchiver::archivedDataWithRootObject(self));
    }
    if (type == stringPasteboardType) return QVariant(replacementString());
    return QVariant();
}

std::shared_ptr<PMChecklistTextAttachment> PMChecklistTextAttachment::fromPasteboardPropertyList(
    const QVariant& propertyList, const QString& type) {
    if (type != fileTypeIdentifier || propertyList.typeId() != QMetaType::QByteArray)
        return nullptr;
    auto unarchiver = KeyedUnarchiver::unarchiverForReadingFromData(propertyList.toByteArray());
    if (!unarchiver) return nullptr;
    registerClasses(*unarchiver);
    return unarchiver->decodeObject(QStringLiteral("root")).toObject<PMChecklistTextAttachment>();
}

QString PMChecklistTextAttachment::mimeTypeForPasteboardType(const QString& type) {
    if (type == fileTypeIdentifier) return kChecklistMIMEType;
    if (type == stringPasteboardType) return kTextMIMEType;
    return QString();
}

std::unique_ptr<QMimeData> PMChecklistTextAttachment::mimeData() {
    auto data = std::make_unique<QMimeData>();
    for (const QString& type : writableTypes()) {
        const QVariant value = pasteboardPropertyListForType(type);
        if (type == stringPasteboardType)
            data->setText(value.toString());
        else
            data->setData(mimeTypeForPasteboardType(type), value.toByteArray());
    }
    return data;
}

std::shared_ptr<PMChecklistTextAttachment> PMChecklistTextAttachment::fromMimeData(
    const QMimeData* data) {
    if (!data) return nullptr;
    for (const QString& type : readableTypes()) {
        const QString mimeType = mimeTypeForPasteboardType(type);
        if (data->hasFormat(mimeType))
            return fromPasteboardPropertyList(QVariant(data->data(mimeType)), type);
    }
    return nullptr;
}

// ---- archiving -------------------------------------------------------------------

QStringList PMChecklistTextAttachment::classChain() const {
    return {className(), QStringLiteral("NSTextAttachment"), QStringLiteral("NSObject")};
}

void PMChecklistTextAttachment::encodeWithCoder(KeyedArchiver& coder) {
    cell();  // an attachment always archives a cell
    coder.encodeObject(ArchiveValue(cell_), kCellKey);
}

std::shared_ptr<ArchivableObject> PMChecklistTextAttachment::decode(KeyedUnarchiver& coder) {
    auto attachment = std::make_shared<PMChecklistTextAttachment>();
    auto cell = coder.decodeObject(kCellKey).toObject<PMChecklistAttachmentCell>();
    if (cell) attachment->setCell(std::move(cell));
    return attachment;
}

void PMChecklistTextAttachment::registerClasses(KeyedUnarchiver& coder) {
    coder.setClassFactory(QStringLiteral("PMChecklistTextAttachment"),
                          &PMChecklistTextAttachment::decode);
    coder.setClassFactory(QStringLiteral("PMChecklistAttachmentCell"),
                          &PMChecklistAttachmentCell::decode);
}
