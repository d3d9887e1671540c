#include "service/store/RecordColumns.h"

namespace service {

const std::string kPayloadColumns =
    "device_name, chip_type, ram_gb, xcode_build_sec, resin_slicer_sec, max_temp_c, swap_used_mb";

const std::string kRecordColumns = "id, received_at, " + kPayloadColumns +
                                   ", client_product, client_version, review_reason, "
                                   "review_figures, submission_key";

std::string storedColumns(const Dialect& dialect) {
    return "id, " + dialect.receivedAtText + ", " + kPayloadColumns +
           ", client_product, client_version";
}

StoredScore storedScore(const SqlRow& row) {
    return StoredScore{asInteger(row[0]), asText(row[1]),
                       submission::Payload{asText(row[2]), asText(row[3]), asInteger(row[4]),
                                           asNumber(row[5]), asNumber(row[6]), asInteger(row[7]),
                                           asInteger(row[8])},
                       ClientVersion{asTextOrEmpty(row[9]), asTextOrEmpty(row[10])}};
}

} // namespace service
