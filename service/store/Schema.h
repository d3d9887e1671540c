#pragma once

#include "service/store/Sql.h"

#include <cstdint>

namespace service {

// The schema version this build writes; a newer one is refused at start.
inline constexpr std::int64_t kSchemaVersion = 7;

// The version a database's schema has. Throws as the connection does, also
// when there is no schema yet (no table).
std::int64_t readSchemaVersion(SqlConnection& connection);

// Brings the database on `connection` up to kSchemaVersion in one write
// transaction, waiting for another instance's migration; refuses (throws) a
// newer schema.
void migrateSchema(SqlConnection& connection, const Dialect& dialect);

// Brings a database of schema `version` (0: none yet) up to kSchemaVersion,
// inside the caller's transaction. Throws as the connection does.
void upgradeSchema(SqlConnection& connection, const Dialect& dialect, std::int64_t version);

} // namespace service
