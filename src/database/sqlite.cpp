// The connection and statements over SQLite's C interface.

#include "sqlite.h"

#include <sqlite3.h>

namespace tav::db {

Connection::~Connection()
{
    if (db_ != nullptr)
        sqlite3_close_v2(db_);
}

bool Connection::open(const std::string& path, bool writable, std::string& error)
{
    int flags = writable ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        error = "cannot open the database " + path + ": " +
                (db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory");
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    return true;
}

bool Connection::run(const char* sql, std::string& error)
{
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    error = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return false;
}

std::string Connection::last_error() const { return sqlite3_errmsg(db_); }

Statement::~Statement() { sqlite3_finalize(stmt_); }

bool Statement::prepare(Connection& connection, const char* sql, std::string& error)
{
    if (sqlite3_prepare_v2(connection.handle(), sql, -1, &stmt_, nullptr) == SQLITE_OK)
        return true;
    error = connection.last_error();
    return false;
}

void Statement::bind(int index, std::string_view text)
{
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void Statement::bind(int index, long long value) { sqlite3_bind_int64(stmt_, index, value); }

void Statement::bind_blob(int index, std::string_view bytes)
{
    sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

bool Statement::step()
{
    int rc = sqlite3_step(stmt_);
    failed_ = rc != SQLITE_ROW && rc != SQLITE_DONE;
    return rc == SQLITE_ROW;
}

bool Statement::run()
{
    while (step()) {
    }
    bool ok = !failed_;
    reset();
    return ok;
}

void Statement::reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

long long Statement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

double Statement::real(int column) const { return sqlite3_column_double(stmt_, column); }

std::string Statement::text(int column) const { return std::string(bytes(column)); }

std::string_view Statement::bytes(int column) const
{
    const void* b = sqlite3_column_blob(stmt_, column);
    return b != nullptr ? std::string_view(static_cast<const char*>(b),
                                           static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)))
                        : std::string_view();
}

}  // namespace tav::db
