// The check that a file is a catalogue database, or an empty one.

#include "schema.h"

#include "sqlite.h"

namespace tav::db {

bool check_schema(Connection& db, bool& empty, std::string& error)
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
    empty = v == 0 && n == 0;
    if (v == kSchemaVersion || empty)
        return true;
    if (v > 0 && v < kSchemaVersion)
        error = "it was written by an older version of tav_convert (tables version " +
                std::to_string(v) + ", this one reads " + std::to_string(kSchemaVersion) +
                "): write it again into a new file with tav_convert --database";
    else
        error = "it is not a catalogue database of this program";
    return false;
}

}  // namespace tav::db
