#include "enex/EvernoteNoteLinkIndex.h"

#include "platform/foundation/DateText.h"

QString EvernoteNoteLinkIndex::titleKey(QStringView text) {
    // Trimmed, each run of white space one space.
    QString key = text.toString().simplified();
    // Plain ASCII is its own normal form: most titles skip the normalization.
    for (const QChar c : std::as_const(key))
        if (c.unicode() >= 0x80) return key.normalized(QString::NormalizationForm_C);
    return key;
}

void EvernoteNoteLinkIndex::addTitle(QStringView title, const QString& identifier) {
    ++titleCount_;
    const QString key = titleKey(title);
    if (key.isEmpty() || key.size() > maximumTitleLength) return;
    Entry& entry = byKey_[key];
    if (entry.count++ == 0) entry.identifier = identifier.isEmpty() ? makeUUIDString() : identifier;
    Entry& folded = byFoldedKey_[key.toCaseFolded()];
    if (folded.count++ == 0) folded.identifier = entry.identifier;
}

void EvernoteNoteLinkIndex::addGUIDEvidence(QStringView guid, QStringView text) {
    ++noteLinksSeen_;
    const QString key = titleKey(text);
    if (key.isEmpty() || key.size() > maximumTitleLength) return;
    QStringList& texts = evidence_[guid.toString().toLower()];
    if (texts.size() <= maximumEvidencePerGUID && !texts.contains(key)) texts.append(key);
}

void EvernoteNoteLinkIndex::tieGUID(QStringView guid, const QString& identifier) {
    ties_.insert(guid.toString().toLower(), {identifier, Miss::None});
}

void EvernoteNoteLinkIndex::seal() {
    for (auto it = evidence_.cbegin(); it != evidence_.cend(); ++it) {
        if (ties_.contains(it.key())) continue;  // tied by the note service itself
        Target tie;
        tie.miss = Miss::Untied;
        if (it.value().size() > maximumEvidencePerGUID) tie.miss = Miss::Conflicting;
        for (const QString& key : it.value()) {
            if (tie.miss == Miss::Conflicting) break;
            const Target target = targetForKey(key);
            if (!target.found()) continue;  // a text that names no note says nothing
            if (tie.found() && tie.identifier != target.identifier)
                tie = {QString(), Miss::Conflicting};
            else
                tie = target;
        }
        if (tie.miss != Miss::Untied) ties_.insert(it.key(), tie);
    }
    evidence_.clear();
    evidence_.squeeze();
}

EvernoteNoteLinkIndex::Target EvernoteNoteLinkIndex::targetForKey(const QString& key) const {
    if (key.isEmpty()) return {QString(), Miss::EmptyText};
    if (key.size() > maximumTitleLength) return {QString(), Miss::TooLong};
    const auto exact = byKey_.constFind(key);
    if (exact != byKey_.cend()) {
        if (exact->count == 1) return {exact->identifier, Miss::None};
        return {QString(), Miss::SharedTitle};
    }
    const auto folded = byFoldedKey_.constFind(key.toCaseFolded());
    if (folded == byFoldedKey_.cend()) return {QString(), Miss::NoTitle};
    if (folded->count == 1) return {folded->identifier, Miss::None};
    return {QString(), Miss::SharedTitle};
}

EvernoteNoteLinkIndex::Target EvernoteNoteLinkIndex::targetForText(QStringView text) const {
    // A text far beyond any title is refused before it is copied into a key.
    if (text.size() > 4 * maximumTitleLength) return {QString(), Miss::TooLong};
    return targetForKey(titleKey(text));
}

EvernoteNoteLinkIndex::Target EvernoteNoteLinkIndex::targetForGUID(QStringView guid) const {
    const auto tie = ties_.constFind(guid.toString().toLower());
    if (tie == ties_.cend()) return {QString(), Miss::Untied};
    return *tie;
}

std::optional<QString> EvernoteNoteLinkIndex::claimIdentifierForTitle(QStringView title) {
    if (title.size() > 4 * maximumTitleLength) return std::nullopt;
    const QString key = titleKey(title);
    const auto entry = byKey_.constFind(key);
    if (entry == byKey_.cend() || entry->count != 1) return std::nullopt;
    std::lock_guard lock(claimMutex_);
    if (claimed_.contains(key)) return std::nullopt;
    claimed_.insert(entry.key());
    return entry->identifier;
}
