// A thin hold on SQLite: a connection and its prepared statements, each
// closed by its destructor, errors given as text.
#pragma once

#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tav::db {

class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // `writable`: created when missing. False with `error` when it fails.
    bool open(const std::string& path, bool writable, std::string& error);
    // Runs statements that give no rows.
    bool run(const char* sql, std::string& error);
    std::string last_error() const;
    sqlite3* handle() const { return db_; }

private:
    sqlite3* db_ = nullptr;
};

class Statement {
public:
    Statement() = default;
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool prepare(Connection& connection, const char* sql, std::string& error);
    // Binds parameter `index` (from 1).
    void bind(int index, std::string_view text);
    void bind(int index, long long value);
    void bind_blob(int index, std::string_view bytes);
    // True while there is a row; `failed` tells an end from an error.
    bool step();
    bool failed() const { return failed_; }
    // Runs it to its end and makes it ready again; false on an error.
    bool run();
    void reset();
    long long integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    // A text or blob column's bytes, valid until the next step or reset.
    std::string_view bytes(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool failed_ = false;
};

}  // namespace tav::db
