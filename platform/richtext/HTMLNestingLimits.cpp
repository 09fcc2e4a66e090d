#include "platform/richtext/HTMLNestingLimits.h"

namespace HTMLNestingLimits {
namespace {

constexpr long kTooDeepError = 1;

struct Depths {
    int elements = 0;
    int lists = 0;
    int tables = 0;
};

bool isList(const QString& name) {
    return name.compare(QLatin1String("ul"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("ol"), Qt::CaseInsensitive) == 0;
}

bool isTable(const QString& name) {
    return name.compare(QLatin1String("table"), Qt::CaseInsensitive) == 0;
}

// Adds (`step` 1) or removes (-1) the levels that `node` opens.
void count(const XMLNode& node, int step, Depths& depths) {
    if (!node.isElement()) return;
    const QString name = node.name();
    depths.elements += step;
    if (isList(name)) depths.lists += step;
    if (isTable(name)) depths.tables += step;
}

bool tooDeep(const char* what, int limit, Error* error) {
    Error(kHTMLNestingErrorDomain, kTooDeepError,
          QStringLiteral("The document nests %1 more than %2 levels deep.")
              .arg(QLatin1String(what))
              .arg(limit))
        .report(error);
    return false;
}

}  // namespace

bool check(XMLNode root, Error* error) {
    if (!root) return true;
    Depths depths;
    XMLNode node = root;
    for (;;) {
        count(node, 1, depths);
        if (depths.elements > maximumElementDepth)
            return tooDeep("elements", maximumElementDepth, error);
        if (depths.lists > maximumListDepth) return tooDeep("lists", maximumListDepth, error);
        if (depths.tables > maximumTableDepth) return tooDeep("tables", maximumTableDepth, error);
        if (node.isElement() && node.firstChild()) {
            node = node.firstChild();
            continue;
        }
        count(node, -1, depths);
        while (node != root && !node.nextSibling()) {
            node = node.parent();
            count(node, -1, depths);
        }
        if (node == root) return true;
        node = node.nextSibling();
    }
}

}  // namespace HTMLNestingLimits
