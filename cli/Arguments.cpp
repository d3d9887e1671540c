#include "cli/Arguments.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <sstream>

namespace cli {
namespace {

constexpr const char* kAbout =
    "Donanım bilgilerini yazar, 24 görevlik stres testini çalıştırır, skoru\n"
    "gösterir ve sonucu skor servisine gönderir.";
constexpr const char* kFooter =
    "İlerleme çubuğu, standart hata bir terminal olduğunda gösterilir.\n"
    "Ctrl-C testi durdurur; hiçbir şey gönderilmez.\n"
    "\n"
    "Çıkış durumu: 0 kabul edildi (ya da --no-submit), 1 reddedildi,\n"
    "2 bağlantı hatası, 64 kullanım hatası, 70 iç hata, 130 Ctrl-C.";

// The program's one table of flags, with the help it prints in Turkish.
void addFlags(CLI::App& app, Options& options) {
    app.get_formatter()->label("Usage", "Kullanım");
    app.get_formatter()->label("OPTIONS", "SEÇENEKLER");
    app.option_defaults()->group("Seçenekler")->disable_flag_override();
    app.set_help_flag("-h,--help", "bu yardımı gösterir");
    app.set_version_flag("--version", "benchmark-companion-cli " BENCHMARK_COMPANION_VERSION,
                         "sürümü gösterir");
    app.add_flag_callback(
        "--no-submit", [&options] { options.submit = false; }, "yalnızca ölçer; sonucu göndermez");
    app.add_flag("--json", options.json, "sonucu tek bir JSON nesnesi olarak yazar");
}

std::optional<Refused> unknownWord(const CLI::App& app) {
    const auto words = app.remaining();
    if (words.empty()) {
        return std::nullopt;
    }
    const bool option = words.front().starts_with("-");
    return Refused{(option ? "bilinmeyen seçenek: " : "beklenmeyen argüman: ") + words.front()};
}

} // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
    Options options;
    CLI::App app(kAbout, "benchmark-companion-cli");
    app.footer(kFooter);
    addFlags(app, options);
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend()); // read from the back
    try {
        app.parse(reversed);
    } catch (const CLI::Success& asked) {
        if (auto refused = unknownWord(app)) {
            return *refused;
        }
        std::ostringstream out, ignored;
        app.exit(asked, out, ignored);
        return Shown{out.str()};
    } catch (const CLI::ParseError& error) {
        return unknownWord(app).value_or(Refused{error.what()});
    }
    return options;
}

} // namespace cli
