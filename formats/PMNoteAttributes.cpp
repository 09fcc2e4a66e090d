#include "formats/PMNoteAttributes.h"

#include "formats/PMCoderExtensions.h"
#include "platform/archive/KeyedArchiver.h"
#include "platform/archive/KeyedUnarchiver.h"
#include "platform/foundation/UserDefaults.h"

namespace {

const QString kFileVersion = QStringLiteral("fileVersion");
const QString kVisibleChars = QStringLiteral("visibleChars");
const QString kSelectedChars = QStringLiteral("selectedChars");
const QString kTypingAttributes = QStringLiteral("typingAttributes");
const QString kLayoutOrientation = QStringLiteral("layoutOrientation");
const QString kHyphenationFactor = QStringLiteral("hyphenationFactor");
const QString kScaleFactor = QStringLiteral("scaleFactor");
const QString kVisibleCGRect = QStringLiteral("visibleCGRect");
const QString kRulerVisible = QStringLiteral("rulerVisible");
const QString kBackgroundColorComponents = QStringLiteral("backgroundColorComponents");
const QString kChecklistItems = QStringLiteral("checklistItems");
const QString kOldVisibleRect = QStringLiteral("visibleRect");
const QString kOldBackgroundColor = QStringLiteral("backgroundColor");

}  // namespace

// ---- creation --------------------------------------------------------------------

PMNoteAttributes::PMNoteAttributes() : PMNoteAttributes(UserDefaults::standard()) {}

PMNoteAttributes::PMNoteAttributes(const UserDefaults& defaults) {
    fileVersion_ = currentFileVersion;
    scaleFactor_ =
        static_cast<float>(defaults.doubleForKey(QStringLiteral("DefaultNoteScaleFactor")));
    rulerVisible_ = defaults.boolForKey(QStringLiteral("NewNotesShowRuler"));
    backgroundColor_ = PMCoderExtensions::colorFromDefaultsValue(
        defaults.objectForKey(QStringLiteral("DefaultNoteBackgroundColor")));
}

PMNoteAttributes PMNoteAttributes::emptyAttributes() { return PMNoteAttributes(Empty{}); }

// ---- encoding --------------------------------------------------------------------

void PMNoteAttributes::encodeWithCoder(KeyedArchiver& coder) {
    coder.encodeInteger(currentFileVersion, kFileVersion);
    PMCoderExtensions::encodeRangeInPelmora(coder, visibleChars_, kVisibleChars);
    PMCoderExtensions::encodeRangeInPelmora(coder, selectedChars_, kSelectedChars);
    coder.encodeObject(typingAttributes_, kTypingAttributes);
    coder.encodeInteger(layoutOrientation_, kLayoutOrientation);
    coder.encodeFloat(static_cast<float>(hyphenationFactor_), kHyphenationFactor);
    coder.encodeDouble(scaleFactor_, kScaleFactor);
    PMCoderExtensions::encodeCGRectInPelmora(coder, visibleRect_, kVisibleCGRect);
    coder.encodeBool(rulerVisible_, kRulerVisible);
    encodeBackgroundColor(coder);

    ArchiveValue items;
    if (checklistItems_) {
        QList<ArchiveValue> objects;
        objects.reserve(checklistItems_->size());
        // Each item takes a slot, and its range string another.
        coder.expectObjects(2 * checklistItems_->size());
        for (const auto& item : *checklistItems_)
            objects << ArchiveValue(std::make_shared<PMNoteChecklistItem>(item));
        items = ArchiveValue::array(std::move(objects));
    }
    coder.encodeObject(items, kChecklistItems);
}

void PMNoteAttributes::encodeBackgroundColor(KeyedArchiver& coder) {
    if (!backgroundColor_) return;
    // Stored as device RGB; the converted colour is what the note keeps.
    const QColor rgb = backgroundColor_->isValid() ? backgroundColor_->toRgb() : QColor();
    float red = 0, green = 0, blue = 0, alpha = 0;
    if (rgb.isValid()) {
        rgb.getRgbF(&red, &green, &blue, &alpha);
        backgroundColor_ = rgb;
    } else {
        backgroundColor_.reset();
    }
    const ArchiveValue components = ArchiveValue::dictionary({
        {"red", red},
        {"green", green},
        {"blue", blue},
        {"alpha", alpha},
    });
    coder.encodeObject(components, kBackgroundColorComponents);
}

QByteArray PMNoteAttributes::archivedData() {
    // The archiver only uses the object during this call, so a non-owning
    // pointer to it is enough.
    const std::shared_ptr<PMNoteAttributes> self(this, [](PMNoteAttributes*) {});
    return KeyedArchiver::archivedDataWithRootObject(self);
}

// ---- decoding --------------------------------------------------------------------

std::shared_ptr<ArchivableObject> PMNoteAttributes::decode(KeyedUnarchiver& coder) {
    auto attributes = std::make_shared<PMNoteAttributes>(emptyAttributes());
    attributes->fileVersion_ = coder.decodeInteger(kFileVersion);
    attributes->visibleChars_ = PMCoderExtensions::decodeRangeInPelmora(coder, kVisibleChars);
    attributes->selectedChars_ = PMCoderExtensions::decodeRangeInPelmora(coder, kSelectedChars);
    attributes->typingAttributes_ = coder.decodeObject(kTypingAttributes);
    attributes->layoutOrientation_ = coder.decodeInteger(kLayoutOrientation);
    attributes->hyphenationFactor_ = coder.decodeFloat(kHyphenationFactor);
    attributes->scaleFactor_ = coder.decodeDouble(kScaleFactor);
    attributes->rulerVisible_ = coder.decodeBool(kRulerVisible);
    attributes->decodeRectangleAndColor(coder);

    const ArchiveValue items = coder.decodeObject(kChecklistItems);
    if (items.type() == ArchiveValue::Type::Array) {
        QList<PMNoteChecklistItem> list;
        for (const auto& item : items.arrayItems()) {
            if (auto checklistItem = item.toObject<PMNoteChecklistItem>()) list << *checklistItem;
        }
        attributes->checklistItems_ = std::move(list);
    }
    return attributes;
}

void PMNoteAttributes::decodeRectangleAndColor(KeyedUnarchiver& coder) {
    if (fileVersion_ < firstVersionWithComponents) {
        visibleRect_ = coder.decodeRect(kOldVisibleRect);
        const QColor color = coder.decodeObject(kOldBackgroundColor).toColor();
        if (color.isValid()) backgroundColor_ = color;
        return;
    }
    visibleRect_ = PMCoderExtensions::decodeCGRectInPelmora(coder, kVisibleCGRect);
    const ArchiveValue components = coder.decodeObject(kBackgroundColorComponents);
    if (components.type() != ArchiveValue::Type::Dictionary) return;
    auto component = [&](const char* name) {
        return static_cast<float>(components.value(name).toDouble());
    };
    backgroundColor_ = QColor::fromRgbF(component("red"), component("green"), component("blue"),
                                        component("alpha"));
}

void PMNoteAttributes::registerClasses(KeyedUnarchiver& coder) {
    coder.setClassFactory(QStringLiteral("PMNoteAttributes"), &PMNoteAttributes::decode);
    coder.setClassFactory(QStringLiteral("PMNoteChecklistItem"), &PMNoteChecklistItem::decode);
}

std::optional<PMNoteAttributes> PMNoteAttributes::fromArchivedData(const QByteArray& data,
                                                                   Error* error) {
    auto unarchiver = KeyedUnarchiver::unarchiverForReadingFromData(data, error);
    if (!unarchiver) return std::nullopt;
    registerClasses(*unarchiver);
    const ArchiveValue root = unarchiver->decodeObject(QStringLiteral("root"));
    if (unarchiver->error()) {
        unarchiver->error().report(error);
        return std::nullopt;
    }
    const auto attributes = root.toObject<PMNoteAttributes>();
    if (!attributes) {
        Error(KeyedUnarchiver::errorDomain, KeyedUnarchiver::CorruptArchive,
              QStringLiteral("The archive does not hold note attributes."))
            .report(error);
        return std::nullopt;
    }
    return *attributes;
}
