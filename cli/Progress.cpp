#include "cli/Progress.h"

#include "model/Texts.h"

#include <algorithm>

namespace cli {
namespace {

constexpr int kCells = 24;

} // namespace

std::string progressLine(int finished, int total, double elapsedSeconds) {
    finished = std::clamp(finished, 0, std::max(total, 0));
    const int filled = total > 0 ? finished * kCells / total : kCells;
    std::string line = "[";
    for (int cell = 0; cell < kCells; ++cell) {
        line += cell < filled ? "█" : "░";
    }
    return line + "] " + model::texts::formatInteger(finished) + "/" +
           model::texts::formatInteger(total) + "  " +
           model::texts::formatOneDecimal(std::max(elapsedSeconds, 0.0)) + " sn";
}

} // namespace cli
