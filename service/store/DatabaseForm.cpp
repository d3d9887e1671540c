#include "service/store/DatabaseForm.h"

#include "service/store/SqlScoreStore.h"

#include <cctype>
#include <libpq-fe.h>
#include <regex>
#include <string_view>

namespace service {
namespace {

// libpq's own reading, so that what it would refuse at connect time is refused
// here, before anything is opened.
std::variant<DatabaseForm, std::string> postgresForm(const std::string& value) {
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(value.c_str(), &error);
    if (parsed == nullptr) {
        std::string why = error ? error : "out of memory";
        PQfreemem(error);
        while (!why.empty() && std::isspace(static_cast<unsigned char>(why.back()))) {
            why.pop_back();
        }
        const bool url = value.starts_with("postgres");
        return "--database is not a PostgreSQL connection string libpq accepts: " + why +
               (url ? "" : " (a SQLite file whose name has '=' is given as ./NAME)");
    }
    DatabaseForm form{DatabaseEngine::postgres, false};
    for (const auto* option = parsed; option->keyword != nullptr; ++option) {
        form.passwordInline =
            form.passwordInline ||
            (std::string_view(option->keyword) == "password" && option->val && *option->val);
    }
    PQconninfoFree(parsed);
    return form;
}

} // namespace

std::variant<DatabaseForm, std::string> databaseForm(const std::string& value) {
    static const std::regex keywords(R"(^\s*[A-Za-z_]+\s*=)");
    static const std::regex scheme("^[A-Za-z][A-Za-z0-9+.-]*:");
    if (value.starts_with("postgresql://") || value.starts_with("postgres://") ||
        std::regex_search(value, keywords)) {
        return postgresForm(value);
    }
    if (value.empty()) {
        return std::string("--database needs a file path or a postgresql:// URL");
    }
    if (value == ":memory:") {
        return std::string("--database :memory: gives each pooled connection its own empty "
                           "database; give a file path");
    }
    if (std::regex_search(value, scheme)) {
        return "--database '" + value +
               "' is neither a postgresql:// URL nor a file path (write ./" + value +
               " for a file of that name)";
    }
    return DatabaseForm{};
}

std::string cannotOpen(const std::string& value) {
    const auto form = databaseForm(value);
    const auto* taken = std::get_if<DatabaseForm>(&form);
    return std::string("cannot open the database") +
           (taken && taken->engine == DatabaseEngine::sqlite ? " " + value : "");
}

Engine engineFor(const std::string& database) {
    const auto form = databaseForm(database);
    if (std::holds_alternative<DatabaseForm>(form) &&
        std::get<DatabaseForm>(form).engine == DatabaseEngine::postgres) {
        return Engine{postgresDialect(), [database] { return openPostgres(database); }, true};
    }
    return Engine{sqliteDialect(), [database] { return openSqlite(database, false); }, false};
}

} // namespace service
