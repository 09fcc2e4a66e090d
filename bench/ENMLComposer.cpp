#include "bench/ENMLComposer.h"

#include <iterator>

#include "bench/GeneratorOptions.h"
#include "bench/SeededRandom.h"
#include "bench/SyntheticAttachment.h"

namespace {

// Words with a few accents and scripts beyond ASCII, and escaped markup
// characters, as real notes have them.
const char* const kWords[] = {
    "the",         "project", "meeting", "notes",  "draft",   "review", "garden",  "recipe",
    "budget",      "travel",  "idea",    "list",   "before",  "after",  "weekly",  "summary",
    "call",        "client",  "invoice", "book",   "chapter", "quote",  "morning", "evening",
    "plan",        "café",    "naïve",   "Zürich", "façade",  "résumé", "東京",    "заметка",
    "R&amp;D",     "a",       "of",      "with",   "to",      "and",    "for",     "in",
    "&lt;tbd&gt;", "2024",    "price",   "€12.50", "résumés"};

const char* const kTags[] = {"work",    "home",    "ideas", "travel",   "recipes", "finance",
                             "reading", "archive", "todo",  "meetings", "health",  "photos"};

const char* const kCodeLines[] = {
    "int total = 0;",
    "for (int i = 0; i &lt; count; ++i) {",
    "total += values[i];",
    "}",
    "if (total &gt; limit &amp;&amp; !quiet) log(total);",
    "return total;",
    "SELECT title, updated FROM notes WHERE tag = 'work';",
    "echo \"done\" &gt;&gt; build.log",
};

const char* const kHighlights[] = {"--en-highlight:yellow;background-color: #ffef9e;",
                                   "--en-highlight:green;background-color: #b7f5c9;",
                                   "--en-highlight:red;background-color: #ffb4b4;",
                                   "--en-highlight:blue;background-color: #b8d8ff;"};

const char* const kFontFamilies[] = {"Georgia, serif",
                                     "&quot;Helvetica Neue&quot;, Helvetica, Arial, sans-serif",
                                     "&quot;Times New Roman&quot;, serif", "Verdana, sans-serif"};

const unsigned kConstructOrder[] = {ENMLConstructStyles,    ENMLConstructLists, ENMLConstructTable,
                                    ENMLConstructTodos,     ENMLConstructLinks, ENMLConstructCode,
                                    ENMLConstructHighlights};

QByteArray capitalized(QByteArray text) {
    if (!text.isEmpty() && text[0] >= 'a' && text[0] <= 'z') text[0] = char(text[0] - 'a' + 'A');
    return text;
}

}  // namespace

ENMLComposer::ENMLComposer(unsigned constructs, SeededRandom& random)
    : constructs_(constructs), random_(random) {}

QByteArray ENMLComposer::mediaElement(const SyntheticAttachment& attachment) {
    QByteArray element = "<en-media hash=\"" + attachment.md5Hex().toLatin1() + "\" type=\"" +
                         attachment.mime().toLatin1() + "\"";
    if (attachment.width() > 0)
        element += " style=\"--en-naturalWidth:" + QByteArray::number(attachment.width()) +
                   "; --en-naturalHeight:" + QByteArray::number(attachment.height()) + ";\"";
    return element + "/>";
}

QByteArray ENMLComposer::title() { return capitalized(words(int(random_.between(2, 6)))); }

QByteArray ENMLComposer::compose(qint64 targetBytes, qint64 todoLines,
                                 const QList<QByteArray>& media) {
    QByteArray body;
    qsizetype placed = 0;
    // Media i goes in once the body has (i + 1) / (count + 1) of its size.
    auto placeDueMedia = [&] {
        while (placed < media.size() &&
               body.size() * (media.size() + 1) >= targetBytes * (placed + 1))
            body += "<div>" + media[placed++] + "</div>";
    };
    auto append = [&](const QByteArray& block) {
        body += block;
        placeDueMedia();
    };
    if (targetBytes > 0 || constructs_) append(paragraph());
    for (unsigned construct : kConstructOrder)
        if (constructs_ & construct) append(constructBlock(construct));
    while (body.size() < targetBytes) append(randomBlock());
    while (placed < media.size()) body += "<div>" + media[placed++] + "</div>";
    // After the fill, so that they come on top of the asked size.
    for (qint64 i = 0; i < todoLines; ++i) body += todoLine();
    return body;
}

QByteArray ENMLComposer::words(int count) {
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        if (i) text += ' ';
        text += kWords[random_.below(std::size(kWords))];
    }
    return text;
}

QByteArray ENMLComposer::sentence() {
    return capitalized(words(int(random_.between(6, 18)))) + '.';
}

QByteArray ENMLComposer::paragraph() {
    // Empty lines between paragraphs are frequent in real notes.
    if (random_.chance(0.15)) return "<div><br/></div>";
    return "<div>" + sentence() + ' ' + sentence() + "</div>";
}

QByteArray ENMLComposer::styledParagraph() {
    QByteArray block;
    if (random_.chance(0.3)) {
        const QByteArray heading = "h" + QByteArray::number(random_.between(1, 3));
        block += "<" + heading + ">" + capitalized(words(int(random_.between(2, 5)))) + "</" +
                 heading + ">";
    }
    const QByteArray colour = "rgb(" + QByteArray::number(random_.below(256)) + ", " +
                              QByteArray::number(random_.below(256)) + ", " +
                              QByteArray::number(random_.below(256)) + ")";
    block += "<div><span style=\"font-size: " + QByteArray::number(random_.between(10, 24)) +
             "px; color: " + colour + ";\">" + capitalized(words(4)) + "</span> " + words(3) +
             " <b>" + words(2) + "</b> <i>" + words(2) + "</i> <u>" + words(2) +
             "</u> <span style=\"font-family: " +
             kFontFamilies[random_.below(std::size(kFontFamilies))] + ";\">" + words(3) +
             "</span> <s>" + words(2) +
             "</s> <span style=\"font-weight: bold; font-style: italic;\">" + words(2) +
             "</span>.</div>";
    return block;
}

QByteArray ENMLComposer::list(int depth) {
    const QByteArray tag = random_.chance(0.5) ? "ul" : "ol";
    QByteArray block = "<" + tag + ">";
    const int items = int(random_.between(2, 4));
    for (int i = 0; i < items; ++i) {
        block += "<li><div>" + capitalized(words(int(random_.between(3, 8)))) + "</div>";
        // The first item of the outer list always nests, so every list shows nesting.
        if (depth < 3 && ((depth == 1 && i == 0) || random_.chance(0.25))) block += list(depth + 1);
        block += "</li>";
    }
    return block + "</" + tag + ">";
}

QByteArray ENMLComposer::table() {
    const int rows = int(random_.between(2, 5));
    const int columns = int(random_.between(2, 4));
    QByteArray block =
        "<div><table style=\"border-collapse: collapse; min-width: 100%;\"><colgroup>";
    for (int c = 0; c < columns; ++c) block += "<col style=\"width: 130px;\"/>";
    block += "</colgroup><tbody>";
    for (int r = 0; r < rows; ++r) {
        block += "<tr>";
        for (int c = 0; c < columns; ++c) {
            const QByteArray fill = r == 0 ? " background-color: rgb(239, 239, 239);" : "";
            block +=
                "<td style=\"width: 130px; padding: 8px; border: 1px solid rgb(204, 204, 204);" +
                fill + "\"><div>" +
                (r == 0 ? "<b>" + capitalized(words(1)) + "</b>"
                        : words(int(random_.between(1, 4)))) +
                "</div></td>";
        }
        block += "</tr>";
    }
    return block + "</tbody></table></div>";
}

QByteArray ENMLComposer::todos() {
    QByteArray block;
    const int items = int(random_.between(2, 5));
    // Both forms occur: the en-todo check box and the newer checklist.
    if (random_.chance(0.5)) {
        block += "<ul style=\"--en-todo:true;\">";
        for (int i = 0; i < items; ++i)
            block += QByteArray("<li style=\"--en-checked:") +
                     (random_.chance(0.4) ? "true" : "false") + ";\"><div>" +
                     capitalized(words(int(random_.between(2, 7)))) + "</div></li>";
        return block + "</ul>";
    }
    for (int i = 0; i < items; ++i)
        block += QByteArray("<div><en-todo checked=\"") + (random_.chance(0.4) ? "true" : "false") +
                 "\"/>" + capitalized(words(int(random_.between(2, 7)))) + "</div>";
    return block;
}

QByteArray ENMLComposer::todoLine() {
    return QByteArray("<div><en-todo checked=\"") + (random_.chance(0.4) ? "true" : "false") +
           "\"/>" + capitalized(words(int(random_.between(1, 3)))) + "</div>";
}

QByteArray ENMLComposer::linkParagraph() {
    const QByteArray href = "https://example.com/notes/" + QByteArray::number(++linkCounter_) +
                            "?ref=bench&amp;page=" + QByteArray::number(random_.between(1, 99));
    return "<div>" + sentence() + " <a href=\"" + href +
           "\" rel=\"noopener noreferrer\" rev=\"en_rl_none\">" +
           words(int(random_.between(1, 4))) + "</a> " + sentence() + "</div>";
}

QByteArray ENMLComposer::codeBlock() {
    QByteArray block =
        "<div style=\"box-sizing: border-box; padding: 8px; font-family: Monaco, Menlo, Consolas, "
        "&quot;Courier "
        "New&quot;, monospace; font-size: 12px; color: rgb(51, 51, 51); border-radius: 4px; "
        "background-color: "
        "rgb(251, 250, 248); border: 1px solid rgba(0, 0, 0, 0.15);--en-codeblock:true;\">";
    const int lines = int(random_.between(3, 8));
    for (int i = 0; i < lines; ++i)
        block += QByteArray("<div>") + kCodeLines[random_.below(std::size(kCodeLines))] + "</div>";
    block += "</div><div>" + sentence() + " <code style=\"--en-code:true;\">" + words(1) +
             "</code>.</div>";
    return block;
}

QByteArray ENMLComposer::highlightParagraph() {
    return "<div>" + sentence() + " <span style=\"" +
           kHighlights[random_.below(std::size(kHighlights))] + "\">" +
           words(int(random_.between(2, 6))) + "</span> " + sentence() + "</div>";
}

QByteArray ENMLComposer::constructBlock(unsigned construct) {
    switch (construct) {
        case ENMLConstructStyles:
            return styledParagraph();
        case ENMLConstructLists:
            return list(1);
        case ENMLConstructTable:
            return table();
        case ENMLConstructTodos:
            return todos();
        case ENMLConstructLinks:
            return linkParagraph();
        case ENMLConstructCode:
            return codeBlock();
        case ENMLConstructHighlights:
            return highlightParagraph();
        default:
            return paragraph();
    }
}

QByteArray ENMLComposer::randomBlock() {
    // Plain paragraphs stay the most common block, as in real notes.
    QList<unsigned> choices;
    for (unsigned construct : kConstructOrder)
        if (constructs_ & construct) choices << construct;
    if (choices.isEmpty() || random_.chance(0.5)) return paragraph();
    return constructBlock(choices[qsizetype(random_.below(quint64(choices.size())))]);
}

QByteArray ENMLComposer::tagName() { return kTags[random_.below(std::size(kTags))]; }
