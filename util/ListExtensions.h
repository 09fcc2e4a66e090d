// List utilities. Each takes the list it works on first and returns a new
// list in the order of the original; equality is the elements' own, and the
// elements must be hashable (qHash). Stateless, any thread.
#pragma once

#include <QList>
#include <QSet>
#include <memory>

namespace QVExtensions {

// `list` without every element equal to one of `removed` (all occurrences).
template <typename T>
QList<T> arrayByRemovingObjectsFromArray(const QList<T>& list, const QList<T>& removed) {
    const QSet<T> unwanted(removed.begin(), removed.end());
    QList<T> result;
    for (const T& element : list)
        if (!unwanted.contains(element)) result.append(element);
    return result;
}

// The elements that are a `Kind` or derive from it; null elements are none.
template <typename Kind, typename Base>
QList<Kind*> objectsOfKindOfClass(const QList<Base*>& list) {
    QList<Kind*> result;
    for (Base* element : list)
        if (auto* kind = dynamic_cast<Kind*>(element)) result.append(kind);
    return result;
}
template <typename Kind, typename Base>
QList<std::shared_ptr<Kind>> objectsOfKindOfClass(const QList<std::shared_ptr<Base>>& list) {
    QList<std::shared_ptr<Kind>> result;
    for (const auto& element : list)
        if (auto kind = std::dynamic_pointer_cast<Kind>(element)) result.append(kind);
    return result;
}

// `list` with later duplicates dropped: the first occurrence of each kept.
template <typename T>
QList<T> arrayOfUniqueStrings(const QList<T>& list) {
    QSet<T> seen;
    QList<T> result;
    for (const T& element : list) {
        if (seen.contains(element)) continue;
        seen.insert(element);
        result.append(element);
    }
    return result;
}

}  // namespace QVExtensions
