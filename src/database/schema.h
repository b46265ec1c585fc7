// The database's tables, one definition for its writer and its readers.
#pragma once

#include <string>

namespace tav::db {

class Connection;

// The tables, made when missing:
//   incipits             one row per incipit, unique by identifier and number;
//   documents            its document (the format the run chose), deflated
//                        with the dictionary (document_codec.h), and file name;
//   document_dictionary  that dictionary, one row, made from the first
//                        documents written into the database;
//   melodic_keys         its keys, once: the JSON object of the report's
//                        --keys fields;
//   ngrams               per trigram of chromatic intervals, the incipits
//                        holding it and the note it starts on (postings.h).
// The tables' version, kSchema's user_version (3: documents deflated, the
// keys once, postings a blob per trigram); a file of another is refused.
inline constexpr long long kSchemaVersion = 3;
inline constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS incipits (id INTEGER PRIMARY KEY, identifier TEXT NOT NULL,"
    " number TEXT NOT NULL, control_number TEXT, occurrence INTEGER, composer TEXT,"
    " work_title TEXT, movement_title TEXT, siglum TEXT, shelfmark TEXT, clef TEXT, key TEXT,"
    " key_or_mode TEXT, time TEXT, music TEXT, status TEXT, messages TEXT,"
    " UNIQUE (identifier, number));"
    "CREATE TABLE IF NOT EXISTS documents (incipit INTEGER PRIMARY KEY, file_name TEXT,"
    " document BLOB);"
    "CREATE TABLE IF NOT EXISTS document_dictionary (id INTEGER PRIMARY KEY CHECK (id = 1),"
    " dictionary BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS melodic_keys (incipit INTEGER PRIMARY KEY, keys TEXT);"
    "CREATE TABLE IF NOT EXISTS ngrams (gram INTEGER PRIMARY KEY, postings BLOB NOT NULL);"
    "PRAGMA user_version = 3;";

inline constexpr const char* kInsertIncipit =
    "INSERT INTO incipits (identifier, number, control_number, occurrence, composer, work_title,"
    " movement_title, siglum, shelfmark, clef, key, key_or_mode, time, music, status, messages)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// False, saying why, when the file is not a database of these tables (an
// empty one is). `empty` tells which.
bool check_schema(Connection& db, bool& empty, std::string& error);

}  // namespace tav::db
