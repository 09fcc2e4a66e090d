// enex_generator: writes a synthetic ENEX export for benchmarks. See
// GeneratorOptions.h for the options. Exit status: 0 written, 1 the output
// could not be written, 2 usage error.
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include "bench/CorpusGenerator.h"

namespace {

// A file is written under a temporary name and renamed at the end, so that a
// failed or interrupted run never leaves a truncated export behind.
int writeToFile(CorpusGenerator& generator, const QString& path, Error* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = Error(QStringLiteral("EnexGenerator"), 1,
                       QStringLiteral("Could not create “%1”: %2").arg(path, file.errorString()));
        return 1;
    }
    if (!generator.write(file, error)) {
        file.cancelWriting();
        return 1;
    }
    if (!file.commit()) {
        *error = Error(QStringLiteral("EnexGenerator"), 1,
                       QStringLiteral("Could not finish “%1”: %2").arg(path, file.errorString()));
        return 1;
    }
    return 0;
}

int writeToStandardOutput(CorpusGenerator& generator, Error* error) {
    QFile out;
    if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly) || !generator.write(out, error)) return 1;
    if (!out.flush()) {
        *error = Error(QStringLiteral("EnexGenerator"), 1,
                       QStringLiteral("Could not write the export: %1").arg(out.errorString()));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTextStream err(stderr);
    Error error;
    const auto options = parseGeneratorOptions(QCoreApplication::arguments().mid(1), &error);
    if (!options) {
        err << "enex_generator: " << error.localizedDescription()
            << "\n\nusage: " << kGeneratorUsage;
        return 2;
    }
    if (options->helpRequested) {
        QTextStream(stdout) << "usage: " << kGeneratorUsage;
        return 0;
    }
    CorpusGenerator generator(*options);
    const bool toStandardOutput = options->outputPath == QLatin1String("-");
    const int status = toStandardOutput ? writeToStandardOutput(generator, &error)
                                        : writeToFile(generator, options->outputPath, &error);
    if (status != 0) {
        err << "enex_generator: " << error.localizedDescription() << "\n";
        return status;
    }
    err << "enex_generator: wrote " << generator.notesWritten() << " notes with "
        << generator.attachmentsWritten() << " attachments (" << generator.bytesWritten()
        << " bytes; constructs " << constructNames(options->constructs) << ") to "
        << options->outputPath << "\n";
    return 0;
}
