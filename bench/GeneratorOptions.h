// GeneratorOptions: everything that shapes a synthetic ENEX corpus, read from
// the generator's command line. Every option has a default except --output.
//
//   --notes N                       notes in the export (at least 1; default 100)
//   --enml-bytes B                  approximate size of each note's body (default 2K)
//   --constructs LIST               formatting in the bodies: comma-separated
//                                   styles, lists, table, todos, links, code,
//                                   highlights; or "all" or "none" (default none)
//   --todos-per-note N              en-todo check boxes in each ordinary note, one
//                                   per line, besides the body (default 0)
//   --attachments-per-note K        attachments of an ordinary note (default 0)
//   --attachment-bytes S            size of each attachment (default 16K)
//   --attachment-kind KIND          image/png, application/pdf or mixed (default image/png)
//   --single-attachment-share P     share of notes, 0 to 1, that are one attachment
//                                   and nothing else (default 0)
//   --seed X                        seed of every random choice (default 1)
//   --output FILE                   where to write; "-" is standard output
//
// Sizes accept the suffixes K, M and G (powers of 1024). A later occurrence of
// an option replaces an earlier one, so presets can be followed by overrides.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "platform/foundation/Error.h"

enum class AttachmentKind { PNG, PDF, Mixed };

// The formatting constructs that note bodies may contain, as bit flags.
enum ENMLConstruct : unsigned {
    ENMLConstructStyles = 1u << 0,      // spans with inline CSS, bold, italic, headings
    ENMLConstructLists = 1u << 1,       // nested bulleted and numbered lists
    ENMLConstructTable = 1u << 2,       // a table with styled cells
    ENMLConstructTodos = 1u << 3,       // en-todo check boxes and checklist items
    ENMLConstructLinks = 1u << 4,       // links to web pages
    ENMLConstructCode = 1u << 5,        // code blocks and inline code
    ENMLConstructHighlights = 1u << 6,  // highlighted text
    ENMLConstructAll = (1u << 7) - 1,
};

struct GeneratorOptions {
    qint64 notes = 100;
    qint64 enmlBytes = 2048;
    unsigned constructs = 0;
    qint64 todosPerNote = 0;
    qint64 attachmentsPerNote = 0;
    qint64 attachmentBytes = 16 * 1024;
    AttachmentKind attachmentKind = AttachmentKind::PNG;
    double singleAttachmentShare = 0;
    quint64 seed = 1;
    QString outputPath;
    bool helpRequested = false;
};

// The error domain of option parsing; every problem has code 1 and a message
// that names the option.
extern const char* const kGeneratorOptionsErrorDomain;
// The usage text printed for --help and after a usage error.
extern const char* const kGeneratorUsage;

// Reads `arguments` (without the program name). Returns the options, or none
// with `error` set when an option is unknown, lacks its value, has a value out
// of range, or --output is missing (unless --help was asked for).
std::optional<GeneratorOptions> parseGeneratorOptions(const QStringList& arguments,
                                                      Error* error = nullptr);

// The names of the constructs set in `constructs`, comma-separated, or "none".
QString constructNames(unsigned constructs);
