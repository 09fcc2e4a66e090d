#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>

QByteArray readWholeFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray fuzzSeed(const QString& relativePath) {
    const QString path = QStringLiteral(FERRYMARK_SOURCE_DIR "/fuzz/corpus/") + relativePath;
    EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    return readWholeFile(path);
}
