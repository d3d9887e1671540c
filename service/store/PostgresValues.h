#pragma once

#include "service/store/Sql.h"

#include <libpq-fe.h>
#include <string>
#include <string_view>

namespace service {

// `?` placeholders become libpq's numbered ones; the store's SQL has no `?`
// inside literals.
std::string numbered(std::string_view sql);
// A parameter as libpq's text format takes it; a null is passed as no text.
std::string paramText(const SqlValue& value);
// One cell of a result, typed by its column.
SqlValue cell(PGresult* result, int row, int column);

} // namespace service
