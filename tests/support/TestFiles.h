// Reading files in tests: whole files, and the inputs kept in the fuzz seed
// corpora (fuzz/corpus/<target>/), which double as regression fixtures.
#pragma once

#include <QByteArray>
#include <QString>

// The whole file; empty when it cannot be read.
QByteArray readWholeFile(const QString& path);

// A seed of the fuzz corpora by its path under fuzz/corpus, such as
// "rtf/rtf_itap_huge.rtf". Fails the test when it is missing.
QByteArray fuzzSeed(const QString& relativePath);
