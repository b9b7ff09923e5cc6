#include "embedded/sqlitedatabase.h"

#include <sqlite3.h>

#include <stdexcept>

namespace Pinrova::Server {

namespace {

[[noreturn]] void fail(sqlite3 *db, const char *what)
{
    throw std::runtime_error(
        std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

} // namespace

SqliteStatement::SqliteStatement(sqlite3 *db, const char *sql)
    : db(db)
{
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr)
        != SQLITE_OK)
        fail(db, "prepare");
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(statement);
}

SqliteStatement &SqliteStatement::bind(int index, std::int64_t value)
{
    if (sqlite3_bind_int64(statement, index, value) != SQLITE_OK)
        fail(db, "bind");
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, double value)
{
    if (sqlite3_bind_double(statement, index, value) != SQLITE_OK)
        fail(db, "bind");
    return *this;
}

SqliteStatement &SqliteStatement::bind(int index, std::string_view value)
{
    if (sqlite3_bind_text(
            statement, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT)
        != SQLITE_OK)
        fail(db, "bind");
    return *this;
}

SqliteStatement &SqliteStatement::bindBlob(int index, const unsigned char *bytes, std::size_t size)
{
    if (sqlite3_bind_blob(statement, index, bytes, static_cast<int>(size), SQLITE_TRANSIENT)
        != SQLITE_OK)
        fail(db, "bind");
    return *this;
}

SqliteStatement &SqliteStatement::bindNull(int index)
{
    if (sqlite3_bind_null(statement, index) != SQLITE_OK)
        fail(db, "bind");
    return *this;
}

bool SqliteStatement::step()
{
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    fail(db, "step");
}

void SqliteStatement::reset()
{
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

std::int64_t SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(statement, column);
}

std::string SqliteStatement::blob(int column) const
{
    const void *bytes = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return bytes ? std::string(static_cast<const char *>(bytes), static_cast<std::size_t>(size))
                 : std::string();
}

double SqliteStatement::real(int column) const
{
    return sqlite3_column_double(statement, column);
}

std::string SqliteStatement::text(int column) const
{
    const auto *bytes = sqlite3_column_text(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return bytes ? std::string(reinterpret_cast<const char *>(bytes), size) : std::string();
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(statement, column) == SQLITE_NULL;
}

SqliteDatabase::SqliteDatabase(const std::string &path)
{
    if (sqlite3_open_v2(path.c_str(), &db,
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        std::string message = db ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        db = nullptr;
        throw std::runtime_error("cannot open " + path + ": " + message);
    }
}

SqliteDatabase::~SqliteDatabase()
{
    sqlite3_close(db);
}

void SqliteDatabase::execute(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error(std::string("execute: ") + text);
    }
}

} // namespace Pinrova::Server
