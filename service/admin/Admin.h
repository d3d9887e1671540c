#pragma once

#include "service/admin/AdminCommand.h"
#include "service/rules/Flags.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace service {

// The words after `admin` as a command, read from the commands' one table.
CommandLine<AdminCommand> parseAdmin(const std::vector<std::string>& args);

// Runs an operator command on the database a running service uses. Reports
// what it did on `out` (list and export write their records there and their
// count on `err`), and every failure on `err`. Returns the exit status: 0 done,
// 1 refused or failed, 2 a bad command line.
int runAdmin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace service
