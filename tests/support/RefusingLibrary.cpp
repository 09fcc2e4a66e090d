#include "tests/support/RefusingLibrary.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>

bool makeLibraryThatRefusesItem(const QString& library, const QString& itemName,
                                const QString& message) {
    const QString connection = QStringLiteral("refusing-library");
    bool made = false;
    {
        QDir().mkpath(library);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(library + QStringLiteral("/Library.sqlite"));
        QSqlQuery q(db);
        made = db.open() &&
               q.exec(QStringLiteral("CREATE TABLE items (identifier TEXT PRIMARY KEY, "
                                     "group_identifier TEXT, name TEXT, path TEXT, "
                                     "item_type INTEGER, date_created TEXT, date_modified TEXT, "
                                     "tags TEXT, comments TEXT)")) &&
               q.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON items WHEN "
                                     "NEW.name = '%1' BEGIN SELECT RAISE(ABORT, '%2'); END")
                          .arg(itemName, message));
    }
    QSqlDatabase::removeDatabase(connection);
    return made;
}
