#include "cli/Cli.h"
#include "cli/Progress.h"
#include "model/BenchmarkViewModel.h"
#include "model/Texts.h"
#include "submission/Payload.h"
#include "support/ExpectedTexts.h"
#include "support/FakeRoot.h"
#include "support/Peer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <system_error>

namespace {

using Strings = std::vector<std::string>;

struct Case {
    const char* name;
    Strings args;
    Strings peer; // peer.py's case and options
    bool interrupt = false;
    bool terminal = false;
    int status = 0;
    std::string outHas;
    std::string errHas;
    std::size_t sent = 0;
    bool noThread = false;
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

// clang-format off
const Case kCases[] = {
    {"Accepted", {}, {"reply", "--body", R"({"message":"Kaydedildi"})"}, false, true, 0, "✅ Kaydedildi\n", "24/24", 1},
    {"RefusedWithTheServiceTextMadeHarmless", {}, {"reply", "--status", "500", "--body", R"({"error":"Yasak\u001b[2J"})"},
     false, false, 1, "❌ Hata: Yasak\uFFFD[2J\n", "", 1},
    {"Unreachable", {}, {"not-http"}, false, false, 2, testsupport::texts::kConnectionFailure, "", 1},
    {"MeasuredOnly", {"--no-submit"}, {"reply"}, false, false, 0, "Derleme Skoru: ", "", 0},
    {"JsonKeysInTheDocumentedOrder", {"--json"}, {"reply"}, false, false, 0, R"({"facts":{"model":"Kart\u001b[2J","processor":"Apple T1","memory_gb":16},"elapsed_sec":)", "", 1},
    {"JsonGivesTheIdAndAddressReplied", {"--json"}, {"reply", "--body", R"({"message":"Skor kaydedildi","id":7,"url":"https://s.example/r/7","x":1})"}, false, false, 0, R"("text":"✅ Skor kaydedildi","id":7,"url":"https://s.example/r/7"})", "", 1},
    {"UsageError", {"--json", "-x"}, {"reply"}, false, false, 64, "", "bilinmeyen seçenek: -x", 0},
    {"Interrupted", {}, {"reply"}, true, true, 130, "tutuluyor", "durduruldu", 0},
    {"InterruptedJsonSaysSo", {"--json"}, {"reply"}, true, false, 130, R"("elapsed_sec":null,"score":null,"outcome":"stopped","text":"Test durduruldu)", "", 0},
    {"NoThreadInTheWindowsWords", {}, {"reply"}, false, false, 70, "", std::string(model::kNotStartedStatus) + "\n", 0, true},
};
// clang-format on

class CliTableTest : public testing::TestWithParam<Case> {};

// The record is the window's, and the score shown is the one submitted.
void expectShownAsSent(const Case& c, const std::string& out, const std::string& body) {
    const auto sent = submission::decodePayload(body);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(std::tie(sent->device_name, sent->chip_type, sent->ram_gb),
              std::make_tuple("Kart\x1b[2J", "T1", 16));
    if (c.args.empty()) {
        EXPECT_NE(out.find("Donanım Modeli:          Kart\uFFFD[2J\n"), std::string::npos);
        EXPECT_NE(out.find(model::texts::scoreText(sent->xcode_build_sec)), std::string::npos);
        return;
    }
    const auto json = nlohmann::json::parse(out);
    EXPECT_EQ(json["score"].dump(), model::texts::formatOneDecimal(sent->xcode_build_sec));
}

TEST_P(CliTableTest, ExitStatusOutputsAndWhatReachedThePeer) {
    const Case& c = GetParam();
    testsupport::FakeRoot root{{"proc/device-tree/model", "Kart\x1b[2J"},
                               {"proc/cpuinfo", "model name\t: Apple T1\n"}};
    testsupport::Peer peer(c.peer.front(), Strings(c.peer.begin() + 1, c.peer.end()));
    std::ostringstream out, err;
    cli::CliSeams seams{.system = {root.path(), [] { return std::uint64_t{16} << 30; }},
                        .endpoint = {peer.url(), peer.caFile(), std::chrono::seconds(10)},
                        .workload = {.tasks = 24, .steps = 1000},
                        .out = &out,
                        .err = &err,
                        .errIsTerminal = c.terminal};
    if (c.interrupt) {
        seams.waitForInterrupt = [](auto) { return true; };
    }
    if (c.noThread) {
        seams.startRun = [](auto) -> std::future<std::optional<double>> {
            throw std::system_error(EAGAIN, std::generic_category(), "platform text");
        };
    }

    EXPECT_EQ(cli::runCli(c.args, seams), c.status);
    EXPECT_NE(out.str().find(c.outHas), std::string::npos) << out.str();
    EXPECT_NE(err.str().find(c.errHas), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find_first_of("\r\x1b") != std::string::npos, c.terminal) << err.str();
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), c.sent);
    if (c.sent > 0) {
        expectShownAsSent(c, out.str(), requests[0].body);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CliTableTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressTest, OneCellPerChildTheCountAndTheSeconds) {
    const std::string full = "████████████", empty = "░░░░░░░░░░░░"; // half a bar each
    EXPECT_EQ(cli::progressLine(0, 24, 0.0), "[" + empty + empty + "] 0/24  0.0 sn");
    EXPECT_EQ(cli::progressLine(12, 24, 1.25), "[" + full + empty + "] 12/24  1.2 sn");
    EXPECT_EQ(cli::progressLine(30, 24, -1.0), "[" + full + full + "] 24/24  0.0 sn");
    EXPECT_EQ(cli::progressLine(1, 2, 7.06), "[" + full + empty + "] 1/2  7.1 sn");
}

} // namespace
