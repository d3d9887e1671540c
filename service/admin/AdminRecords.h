#pragma once
// How the operator reads a record: a listing's line, the whole record, a CSV
// row and a JSON line.

#include "service/store/OperatorStore.h"

#include <iosfwd>

namespace service {

void writeListLine(std::ostream& out, const OperatorRecord& record);
void writeShow(std::ostream& out, const OperatorRecord& record);
void writeCsvHeader(std::ostream& out);
void writeCsv(std::ostream& out, const OperatorRecord& record);
void writeJsonl(std::ostream& out, const OperatorRecord& record);

} // namespace service
