#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace Pinrova::Server {

// One prepared statement; reset after each use so it can be run again.
class SqliteStatement
{
public:
    SqliteStatement(sqlite3 *db, const char *sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    SqliteStatement &bind(int index, std::int64_t value);
    SqliteStatement &bind(int index, double value);
    SqliteStatement &bind(int index, std::string_view value);
    // Bytes as a blob; with no value, NULL.
    SqliteStatement &bindBlob(int index, const unsigned char *bytes, std::size_t size);
    SqliteStatement &bindNull(int index);
    // True while there is a row; false when done. Throws on failure.
    bool step();
    void reset();

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    std::string blob(int column) const;
    bool isNull(int column) const;

private:
    sqlite3 *db;
    sqlite3_stmt *statement = nullptr;
};

// An open SQLite file. Throws std::runtime_error with SQLite's message on any failure.
class SqliteDatabase
{
public:
    explicit SqliteDatabase(const std::string &path);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase &) = delete;
    SqliteDatabase &operator=(const SqliteDatabase &) = delete;

    void execute(const char *sql);
    sqlite3 *handle() const { return db; }

private:
    sqlite3 *db = nullptr;
};

} // namespace Pinrova::Server
