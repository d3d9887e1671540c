#include "cli/Arguments.h"

#include "submission/CommandLine.h"

#include <CLI/CLI.hpp>

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

} // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
    Options options;
    CLI::App app(kAbout, "benchmark-companion-cli");
    app.footer(kFooter);
    addFlags(app, options);
    const auto read = submission::readCommandLine(app, arguments, [](const std::string& word) {
        return (word.starts_with("-") ? "bilinmeyen seçenek: " : "beklenmeyen argüman: ") + word;
    });
    using Kind = submission::CommandLineRead::Kind;
    if (read.kind == Kind::printed) {
        return Shown{read.text};
    }
    if (read.kind == Kind::refused) {
        return Refused{read.text};
    }
    return options;
}

} // namespace cli
