#include "cli/Arguments.h"

namespace cli {

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
    Options options;
    bool help = false;
    bool version = false;
    for (const std::string& argument : arguments) {
        if (argument == "--no-submit") {
            options.submit = false;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else {
            const bool option = argument.starts_with("-");
            return {std::nullopt,
                    (option ? "bilinmeyen seçenek: " : "beklenmeyen argüman: ") + argument};
        }
    }
    if (help) {
        options.action = Options::Action::Help;
    } else if (version) {
        options.action = Options::Action::Version;
    }
    return {options, {}};
}

std::string usageText() {
    return "Kullanım: benchmark-companion-cli [--no-submit] [--json]\n"
           "          benchmark-companion-cli --help | --version\n"
           "\n"
           "Donanım bilgilerini yazar, 24 görevlik stres testini çalıştırır, skoru\n"
           "gösterir ve sonucu skor servisine gönderir.\n"
           "\n"
           "  --no-submit  yalnızca ölçer; sonucu göndermez\n"
           "  --json       sonucu tek bir JSON nesnesi olarak yazar\n"
           "  --help       bu yardımı gösterir\n"
           "  --version    sürümü gösterir\n"
           "\n"
           "İlerleme çubuğu, standart hata bir terminal olduğunda gösterilir.\n"
           "Ctrl-C testi durdurur; hiçbir şey gönderilmez.\n"
           "\n"
           "Çıkış durumu: 0 kabul edildi (ya da --no-submit), 1 reddedildi,\n"
           "2 bağlantı hatası, 64 kullanım hatası, 70 iç hata, 130 Ctrl-C.\n";
}

std::string versionText() {
    return "benchmark-companion-cli " BENCHMARK_COMPANION_VERSION "\n";
}

} // namespace cli
