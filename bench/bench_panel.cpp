// Reading a panel file and building its live entries, against the same work done with inih.
#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"

#include <benchmark/benchmark.h>
#include <ini.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

using namespace zelvar;

namespace {

QByteArray panelFile(int buttons)
{
    PanelConfig config;
    for (int k = 1; k <= buttons; ++k) {
        ButtonConfig b;
        b.mode = 1 + k % 5;
        b.relay = 1 + k % 16;
        b.prontoCode = "0000 006D 0000 0022 0156 00AB 0015 0015 0015 0040";
        b.left = (k * 80) % 600;
        b.top = (k * 30) % 350;
        b.caption = QString("Bouton %1").arg(k);
        b.description = QString::fromUtf8("Relais n°%1 du séjour").arg(k);
        b.shortcut = 0x41 + k % 26;
        b.shortcutName = "VK_A";
        config.buttons.push_back(b);
    }
    config.texts.push_back({"Titre", 10, 10});
    return writePanelConfig(config).toBytes();
}

void BM_PanelLoad(benchmark::State &state)
{
    const QByteArray bytes = panelFile(int(state.range(0)));
    for (auto _ : state) {
        const PanelConfig config = readPanelConfig(ProfileFile::fromBytes(bytes), PanelReader::Panel);
        PanelButtons entries = buildPanelButtons(config.buttons);
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetComplexityN(state.range(0));
}

using IniMap = std::map<std::string, std::map<std::string, std::string>>;

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string trimmed(const std::string &s)
{
    const auto b = s.find_first_not_of(" \t");
    const auto e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

int handler(void *user, const char *section, const char *name, const char *value)
{
    (*static_cast<IniMap *>(user))[lower(section)][lower(name)] = value;
    return 1;
}

const std::string *lookup(const IniMap &map, const std::string &section, const std::string &key)
{
    const auto s = map.find(lower(trimmed(section)));
    if (s == map.end())
        return nullptr;
    const auto k = s->second.find(lower(trimmed(key)));
    return k == s->second.end() ? nullptr : &k->second;
}

int integer(const IniMap &map, const std::string &section, const std::string &key, int def)
{
    const std::string *v = lookup(map, section, key);
    return v ? std::atoi(v->c_str()) : def;
}

void BM_InihLoad(benchmark::State &state)
{
    const QByteArray bytes = panelFile(int(state.range(0)));
    for (auto _ : state) {
        IniMap map;
        ini_parse_string(bytes.constData(), handler, &map);
        const int n = integer(map, "Reglages", "Nombre total de boutons", 0);
        lookup(map, "Reglages du Com", "n\xB0 du Port ");
        lookup(map, "Reglages du Com", "Vitesse du Port ");
        integer(map, "Reglages", "Activation des menus de sortie", 1);
        integer(map, "Reglages", "Reduction dans la barre des taches", 1);
        integer(map, "Reglages", "Depla\xE7" "er la fenetre principale", 0);
        std::vector<std::string> seen;
        for (int k = 1; k <= n; ++k) {
            const std::string section = "Bouton " + std::to_string(k), s = std::to_string(k);
            int sum = integer(map, section, "Mode btn" + s, 0) + integer(map, section, "Code btn" + s, 0);
            const std::string *pronto = lookup(map, section, "CodePronto btn" + s);
            sum += integer(map, section, "Left btn" + s, 0) + integer(map, section, "Top  btn" + s, 0);
            const std::string *caption = lookup(map, section, "Caption  btn" + s);
            sum += integer(map, section, "Raccourci btn" + s, 0);
            const std::string *description = lookup(map, section, "Description  btn" + s);
            seen.push_back((pronto ? *pronto : "") + (caption ? *caption : "") + (description ? *description : ""));
            benchmark::DoNotOptimize(sum);
        }
        const int m = integer(map, "Reglages", "Nombre total de Textes", 0);
        for (int k = 1; k <= m; ++k) {
            const std::string section = "Textes " + std::to_string(k), s = std::to_string(k);
            lookup(map, section, "Texte  " + s);
            integer(map, section, "Left Txt" + s, 0);
            integer(map, section, "Top  Txt" + s, 0);
        }
        benchmark::DoNotOptimize(seen.data());
    }
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_PanelLoad)->Arg(10)->Arg(100)->Arg(1000)->Complexity(benchmark::oN);
BENCHMARK(BM_InihLoad)->Arg(10)->Arg(100)->Arg(1000)->Complexity(benchmark::oN);
BENCHMARK_MAIN();
