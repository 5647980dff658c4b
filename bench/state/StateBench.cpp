// Loads and saves quimbrel.xml, events.xml with 100 events and names.xml with 1000 templates, each on its own
// and all three the way the recorder saves them at close.
#include "ports/MessagePort.h"
#include "state/config.h"
#include "state/daynumber.h"
#include "state/names.h"
#include "state/recevent.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace {

using namespace quimbrel;

// One data folder for the whole run, removed at exit.
struct Folder {
    Folder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "quimbrel-bench-XXXXXX").string();
        if (!::mkdtemp(tmpl.data()))
            std::abort();
        root = tmpl + "/";
        ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
        data = dataFolder();
        std::filesystem::create_directories(data);
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    std::string root;
    std::string data;
};

Folder& folder() {
    static Folder f;
    return f;
}

eventtable hundredEvents() {
    eventtable table;
    for (int i = 0; i < 100; ++i) {
        recevent e;
        e.name = "Programme " + std::to_string(i + 1);
        e.repeat = i % 3;
        e.starttime = makeTimeOfDay(i % 24, (i * 7) % 60, 0);
        e.stoptime = makeTimeOfDay((i + 1) % 24, (i * 7) % 60, 30);
        e.startdate = makeDayNumber(2024, 1 + i % 12, 1 + i % 28) + (e.repeat == 1 ? e.starttime : 0.0);
        e.stopdate = makeDayNumber(2024, 1 + i % 12, 1 + i % 28) + (e.repeat == 1 ? e.stoptime : 0.0);
        for (int d = 1; d <= 7; ++d)
            e.day[static_cast<std::size_t>(d)] = e.repeat == 2 || (e.repeat == 0 && (i + d) % 2 == 0);
        e.filename = i % 2 ? e.name : "";
        e.URL = "https://radio.invalid/stream/" + std::to_string(i);
        e.Appname = "xdg-open";
        e.Task = i % 4 == 0;
        e.Enabled = true;
        table.push_back(e);
    }
    return table;
}

std::vector<std::string> thousandNames() {
    std::vector<std::string> names;
    for (int i = 0; i < 1000; ++i)
        names.push_back("rec-" + std::to_string(i) + "-YY-MM-DD-HH-NN-SS-NUM-EVENT");
    return names;
}

config someConfig() {
    config c;
    c.datafolder = folder().data;
    c.archive.dir = folder().root + "Music/";
    c.path.dir = "/usr/lib/quimbrel/";
    return c;
}

void BM_SaveConfig(benchmark::State& state) {
    const config c = someConfig();
    const std::string path = folder().data + "quimbrel.xml";
    for (auto _ : state)
        benchmark::DoNotOptimize(writeConfigFile(path, c));
}

void BM_LoadConfig(benchmark::State& state) {
    const std::string path = folder().data + "quimbrel.xml";
    writeConfigFile(path, someConfig());
    for (auto _ : state) {
        config c;
        benchmark::DoNotOptimize(readConfigFile(path, c));
    }
}

void BM_SaveEvents100(benchmark::State& state) {
    const eventtable table = hundredEvents();
    const std::string path = folder().data + "events.xml";
    for (auto _ : state)
        benchmark::DoNotOptimize(writeeventsfile(path, table));
}

void BM_LoadEvents100(benchmark::State& state) {
    const std::string path = folder().data + "events.xml";
    writeeventsfile(path, hundredEvents());
    RecordingMessagePort port;
    for (auto _ : state) {
        config c;
        eventtable table;
        benchmark::DoNotOptimize(readeventsfile(path, table, c, port));
    }
    if (port.count() != 0)
        state.SkipWithError("events.xml did not load");
}

void BM_SaveNames1000(benchmark::State& state) {
    const std::vector<std::string> names = thousandNames();
    const std::string path = folder().data + "names.xml";
    for (auto _ : state)
        benchmark::DoNotOptimize(writenamesfile(path, names));
}

void BM_LoadNames1000(benchmark::State& state) {
    const std::string path = folder().data + "names.xml";
    writenamesfile(path, thousandNames());
    RecordingMessagePort port;
    for (auto _ : state) {
        std::vector<std::string> names;
        benchmark::DoNotOptimize(readnamesfile(path, names, port));
    }
    if (port.count() != 0)
        state.SkipWithError("names.xml did not load");
}

// The close of the recorder: all three documents.
void BM_SaveAll(benchmark::State& state) {
    const eventtable events = hundredEvents();
    const std::vector<std::string> names = thousandNames();
    const config c = someConfig();
    std::ostringstream sink;
    StreamMessagePort port(sink);
    for (auto _ : state) {
        benchmark::DoNotOptimize(saveconfig(c, port));
        benchmark::DoNotOptimize(writeeventsfile(c.datafolder + "events.xml", events));
        benchmark::DoNotOptimize(writenamesfile(c.datafolder + "names.xml", names));
    }
}

// The start of the recorder: all three documents.
void BM_LoadAll(benchmark::State& state) {
    std::ostringstream sink;
    StreamMessagePort port(sink);
    const config saved = someConfig();
    saveconfig(saved, port);
    writeeventsfile(saved.datafolder + "events.xml", hundredEvents());
    writenamesfile(saved.datafolder + "names.xml", thousandNames());
    for (auto _ : state) {
        config c;
        loadconfig(c, port);
        eventtable table;
        readeventsfile(c.datafolder + "events.xml", table, c, port);
        std::vector<std::string> names;
        readnamesfile(c.datafolder + "names.xml", names, port);
        benchmark::DoNotOptimize(names.size() + table.size());
    }
}

BENCHMARK(BM_SaveConfig)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadConfig)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveEvents100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadEvents100)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveNames1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadNames1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveAll)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadAll)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
