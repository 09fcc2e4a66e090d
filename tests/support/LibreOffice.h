// Reading our files with LibreOffice, as a user's office suite would.
#pragma once

#include <QByteArray>
#include <QString>

class TestEnvironment;

// Converts the file at `path` with LibreOffice (`soffice`) into `format`
// ("html", "fodt", "txt:Text") in the environment's "out" folder, with a
// private profile, and returns what it wrote. Writing nothing fails the test.
QByteArray convertWithLibreOffice(const QString& soffice, const TestEnvironment& env,
                                  const QString& path, const QString& format);
