#pragma once

#include <string>
#include <variant>

namespace service {

enum class DatabaseEngine { sqlite, postgres };

struct DatabaseForm {
    DatabaseEngine engine = DatabaseEngine::sqlite;
    bool passwordInline = false; // every local user can read it from the command line
};

// What a --database value names: a SQLite file path, or PostgreSQL as a
// postgresql:// URL or libpq's "host=... dbname=..." keywords; or why it
// cannot serve a pool of connections.
std::variant<DatabaseForm, std::string> databaseForm(const std::string& value);

// "cannot open the database PATH", naming a SQLite file; a PostgreSQL
// connection string may hold a password, so it is never repeated.
std::string cannotOpen(const std::string& value);

} // namespace service
