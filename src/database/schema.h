// The database's tables, one definition for its writer and its readers.
#pragma once

#include <string>

namespace tav::db {

class Connection;

// The tables, made when missing:
//   incipits      one row per incipit, unique by identifier and number;
//   documents     its document (the format the run chose) and file name;
//   melodic_keys  its keys: MIDI keys, chromatic intervals and the notes'
//                 lengths as number lists (",60,62,"), the gross contour,
//                 and every key as JSON (the report's --keys fields);
//   ngrams        each trigram of its chromatic intervals, with the note
//                 it starts on (from 0).
// The tables' version, kSchema's user_version (2: the key or mode apart
// from the key signature); a file of another version is refused.
inline constexpr long long kSchemaVersion = 2;
inline constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS incipits (id INTEGER PRIMARY KEY, identifier TEXT NOT NULL,"
    " number TEXT NOT NULL, control_number TEXT, occurrence INTEGER, composer TEXT,"
    " work_title TEXT, movement_title TEXT, siglum TEXT, shelfmark TEXT, clef TEXT, key TEXT,"
    " key_or_mode TEXT, time TEXT, music TEXT, status TEXT, messages TEXT,"
    " UNIQUE (identifier, number));"
    "CREATE TABLE IF NOT EXISTS documents (incipit INTEGER PRIMARY KEY, file_name TEXT,"
    " document BLOB);"
    "CREATE TABLE IF NOT EXISTS melodic_keys (incipit INTEGER PRIMARY KEY, midi TEXT,"
    " intervals TEXT, durations TEXT, contour TEXT, keys TEXT);"
    "CREATE TABLE IF NOT EXISTS ngrams (gram INTEGER, incipit INTEGER, position INTEGER,"
    " PRIMARY KEY (gram, incipit, position)) WITHOUT ROWID;"
    "PRAGMA user_version = 2;";

inline constexpr const char* kInsertIncipit =
    "INSERT INTO incipits (identifier, number, control_number, occurrence, composer, work_title,"
    " movement_title, siglum, shelfmark, clef, key, key_or_mode, time, music, status, messages)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// False, saying why, when the file is not a database of these tables (an
// empty one is).
bool check_schema(Connection& db, std::string& error);

}  // namespace tav::db
