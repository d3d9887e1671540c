#include "submission/Endpoint.h"

#include "submission/BuildConfig.h"

namespace submission {

Endpoint Endpoint::system() {
    return Endpoint{build::kScoreServiceUrl, build::kScoreServiceCaFile, std::chrono::seconds(60)};
}

} // namespace submission
