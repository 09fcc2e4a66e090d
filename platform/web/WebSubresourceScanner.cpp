#include "platform/web/WebSubresourceScanner.h"

#include <QRegularExpression>
#include <QSet>

#include "platform/xml/XMLDocument.h"

namespace {

using Reference = WebSubresourceScanner::Reference;

bool isBlank(QChar c) { return c.isSpace(); }

bool isNameCharacter(QChar c) { return c.isLetterOrNumber() || c == u'-' || c == u'_'; }

bool startsAt(const QString& text, qsizetype at, QLatin1StringView word) {
    return text.mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

// Index just past the quoted string that starts at `at` (its quote character).
qsizetype skipString(const QString& css, qsizetype at, QString* value = nullptr) {
    const QChar quote = css[at];
    qsizetype i = at + 1;
    for (; i < css.size() && css[i] != quote; ++i) {
        if (css[i] == u'\\' && i + 1 < css.size()) ++i;
        if (value) value->append(css[i]);
    }
    return i < css.size() ? i + 1 : i;
}

qsizetype skipBlanks(const QString& css, qsizetype i) {
    while (i < css.size() && isBlank(css[i])) ++i;
    return i;
}

// Reads the inside of "url(" (at points just past the parenthesis); returns
// the index past the closing parenthesis.
qsizetype readURLToken(const QString& css, qsizetype at, QString* value) {
    qsizetype i = skipBlanks(css, at);
    if (i < css.size() && (css[i] == u'"' || css[i] == u'\'')) {
        i = skipString(css, i, value);
    } else {
        for (; i < css.size() && css[i] != u')'; ++i) {
            if (css[i] == u'\\' && i + 1 < css.size()) ++i;
            value->append(css[i]);
        }
        *value = value->trimmed();
    }
    const qsizetype close = css.indexOf(u')', i);
    return close < 0 ? css.size() : close + 1;
}

// Collects resolved, loadable URLs once each.
class ReferenceList {
  public:
    explicit ReferenceList(QList<Reference>* out) : out_(out) {}

    void add(const QUrl& base, const QString& text, Reference::Kind kind, bool fromDocument) {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#')) return;
        const QUrl url = base.resolved(QUrl(trimmed)).adjusted(QUrl::RemoveFragment);
        if (!WebSubresourceScanner::isLoadableURL(url)) return;
        const QString key = url.toString(QUrl::FullyEncoded);
        if (seen_.contains(key)) return;
        seen_.insert(key);
        out_->append({url, kind, fromDocument});
    }
    void addAll(const QList<Reference>& references) {
        for (const Reference& r : references)
            add(QUrl(), r.url.toString(QUrl::FullyEncoded), r.kind, r.fromDocument);
    }

  private:
    QList<Reference>* out_;
    QSet<QString> seen_;
};

QString charsetFromContentType(const QString& contentType) {
    static const QRegularExpression charset(QStringLiteral("charset\\s*=\\s*[\"']?([^\"';\\s]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = charset.match(contentType);
    return match.hasMatch() ? match.captured(1) : QString();
}

QUrl baseURLOf(const XMLDocument& document, const QUrl& pageURL) {
    const QList<XMLNode> bases = document.nodesForXPath(QStringLiteral("//base[@href]"));
    if (bases.isEmpty()) return pageURL;
    const QUrl base =
        pageURL.resolved(QUrl(bases.first().attribute(QStringLiteral("href")).trimmed()));
    return WebSubresourceScanner::isLoadableURL(base) ? base : pageURL;
}

void scanLink(const XMLNode& link, const QUrl& base, ReferenceList& list) {
    const QStringList rel =
        link.attribute(QStringLiteral("rel"))
            .toLower()
            .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    const QString href = link.attribute(QStringLiteral("href"));
    if (rel.contains(QStringLiteral("stylesheet")) && !rel.contains(QStringLiteral("alternate")))
        list.add(base, href, Reference::Kind::StyleSheet, true);
    else if (std::any_of(rel.begin(), rel.end(),
                         [](const QString& r) { return r.contains(u"icon"); }))
        list.add(base, href, Reference::Kind::Resource, true);
}

void scanMeta(const XMLNode& meta, QString* encoding) {
    if (!encoding->isEmpty()) return;
    const QString charset = meta.attribute(QStringLiteral("charset")).trimmed();
    if (!charset.isEmpty())
        *encoding = charset;
    else if (meta.attribute(QStringLiteral("http-equiv"))
                 .compare(u"content-type", Qt::CaseInsensitive) == 0)
        *encoding = charsetFromContentType(meta.attribute(QStringLiteral("content")));
}

}  // namespace

bool WebSubresourceScanner::isLoadableURL(const QUrl& url) {
    if (!url.isValid() || url.isRelative()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"file") return !url.path().isEmpty();
    return (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

QStringList WebSubresourceScanner::srcsetURLs(const QString& srcset) {
    // Candidates: a URL (no blanks), optional descriptors, then a comma.
    QStringList urls;
    qsizetype i = 0;
    const qsizetype n = srcset.size();
    while (i < n) {
        while (i < n && (isBlank(srcset[i]) || srcset[i] == u',')) ++i;
        const qsizetype start = i;
        while (i < n && !isBlank(srcset[i])) ++i;
        QString url = srcset.mid(start, i - start);
        const bool endsCandidate = url.endsWith(u',');
        while (url.endsWith(u',')) url.chop(1);
        if (!url.isEmpty()) urls.append(url);
        if (endsCandidate) continue;
        int depth = 0;  // descriptors run to the next comma outside parentheses
        for (; i < n && !(srcset[i] == u',' && depth == 0); ++i) {
            if (srcset[i] == u'(')
                ++depth;
            else if (srcset[i] == u')' && depth > 0)
                --depth;
        }
    }
    return urls;
}

QList<Reference> WebSubresourceScanner::scanStyleSheet(const QString& css, const QUrl& baseURL) {
    QList<Reference> references;
    ReferenceList list(&references);
    qsizetype i = 0;
    const qsizetype n = css.size();
    while (i < n) {
        const QChar c = css[i];
        if (c == u'/' && i + 1 < n && css[i + 1] == u'*') {
            const qsizetype end = css.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else if (c == u'"' || c == u'\'') {
            i = skipString(css, i);
        } else if (c == u'@' && startsAt(css, i, QLatin1StringView("@import"))) {
            i = skipBlanks(css, i + 7);
            QString target;
            if (startsAt(css, i, QLatin1StringView("url(")))
                i = readURLToken(css, i + 4, &target);
            else if (i < n && (css[i] == u'"' || css[i] == u'\''))
                i = skipString(css, i, &target);
            list.add(baseURL, target, Reference::Kind::StyleSheet, true);
        } else if ((c == u'u' || c == u'U') && startsAt(css, i, QLatin1StringView("url(")) &&
                   (i == 0 || !isNameCharacter(css[i - 1]))) {
            QString target;
            i = readURLToken(css, i + 4, &target);
            list.add(baseURL, target, Reference::Kind::Resource, true);
        } else {
            ++i;
        }
    }
    return references;
}

WebSubresourceScanner::PageReferences WebSubresourceScanner::scanHTML(const QByteArray& html,
                                                                      const QUrl& pageURL) {
    PageReferences page;
    auto document = XMLDocument::parseHTML(html);
    if (!document) return page;
    const QUrl base = baseURLOf(*document, pageURL);
    ReferenceList list(&page.subresources);
    auto attribute = [](const XMLNode& node, const char* name) {
        return node.attribute(QString::fromLatin1(name));
    };

    for (const XMLNode& element : document->nodesForXPath(QStringLiteral("//*"))) {
        const QString name = element.name().toLower();
        if (name == u"img") {
            list.add(base, attribute(element, "src"), Reference::Kind::Resource, true);
            for (const QString& url : srcsetURLs(attribute(element, "srcset")))
                list.add(base, url, Reference::Kind::Resource, true);
        } else if (name == u"source") {
            for (const QString& url : srcsetURLs(attribute(element, "srcset")))
                list.add(base, url, Reference::Kind::Resource, true);
        } else if (name == u"input") {
            if (attribute(element, "type").compare(u"image", Qt::CaseInsensitive) == 0)
                list.add(base, attribute(element, "src"), Reference::Kind::Resource, true);
        } else if (name == u"link") {
            scanLink(element, base, list);
        } else if (name == u"body" || name == u"table" || name == u"td" || name == u"th") {
            list.add(base, attribute(element, "background"), Reference::Kind::Resource, true);
        } else if (name == u"style") {
            list.addAll(scanStyleSheet(element.textContent(), base));
        } else if (name == u"frame" || name == u"iframe") {
            const QString src = attribute(element, "src").trimmed();
            const QUrl url = base.resolved(QUrl(src)).adjusted(QUrl::RemoveFragment);
            if (!src.isEmpty() && isLoadableURL(url))
                page.frames.append({url, attribute(element, "name")});
        } else if (name == u"meta") {
            scanMeta(element, &page.declaredTextEncoding);
        }
        if (element.hasAttribute(QStringLiteral("style")))
            list.addAll(scanStyleSheet(attribute(element, "style"), base));
    }
    return page;
}
