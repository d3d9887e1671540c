#pragma once

#include "service/admin/AdminCommand.h"

#include <iosfwd>
#include <string>
#include <variant>
#include <vector>

namespace service {

// The words after `admin` as a command, or why they are wrong.
std::variant<AdminCommand, std::string> parseAdmin(const std::vector<std::string>& args);

// Runs an operator command on the database a running service uses. Reports
// what it did on `out` (export writes its records there and its summary on
// `err`), and every failure on `err`. Returns the exit status: 0 done,
// 1 refused or failed, 2 a bad command line.
int runAdmin(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string adminUsage();

} // namespace service
