// The check that a file is a catalogue database, or an empty one.

#include "schema.h"

#include "sqlite.h"

namespace tav::db {

bool check_schema(Connection& db, std::string& error)
{
    Statement version, tables;
    if (!version.prepare(db, "PRAGMA user_version", error) ||
        !tables.prepare(db, "SELECT count(*) FROM sqlite_schema", error))
        return false;
    long long v = version.step() ? version.integer(0) : -1;
    long long n = tables.step() ? tables.integer(0) : -1;
    if (version.failed() || tables.failed()) {
        error = db.last_error();
        return false;
    }
    if (v == kSchemaVersion || (v == 0 && n == 0))
        return true;
    error = "it is not a catalogue database of this program";
    return false;
}

}  // namespace tav::db
