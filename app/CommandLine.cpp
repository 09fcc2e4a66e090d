#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

#include "app/DefaultsCommand.h"
#include "app/ImportCommand.h"
#include "platform/foundation/Bundle.h"

namespace {

const char* const kUsage =
    "usage:\n"
    "  ferrymark import FILE.enex [--library DIR] [--debug] [--reload-from-web]\n"
    "  ferrymark defaults read|write|delete DOMAIN KEY [VALUE]\n"
    "  ferrymark --version\n"
    "\n"
    "ferrymark import --help explains the import.\n";

}  // namespace

int runCommandLine(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("defaults")) return runDefaultsCommand(args.mid(1), out, err);
    if (command == QLatin1String("import")) {
        if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
            out << kImportUsage;
            return 0;
        }
        return runImportCommand(args.mid(1), out, err);
    }
    if (command == QLatin1String("--version") || command == QLatin1String("version")) {
        out << "ferrymark " << Bundle::main().shortVersionString() << " ("
            << Bundle::main().stringForKey(QStringLiteral("CFBundleVersion")) << ")\n";
        return 0;
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        out << kUsage;
        return 0;
    }
    err << kUsage;
    return 2;
}
