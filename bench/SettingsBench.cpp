// Settings store timings: restoring the main window from a settings file of 500 keys, and
// successive single writes (each one replaces the file on the disk atomically).
#include "app/App.h"
#include "settings/SettingsStore.h"
#include "text/Paths.h"
#include "ui/MainWindow.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace quillet;

// A folder with a settings file of 500 keys: the main window's own keys plus other sections.
struct BenchFiles {
    fs::path folder;
    GbkText settingsPath;

    BenchFiles()
    {
        // QUILLET_BENCH_DIR picks the disk to measure on (the flush before each rename is
        // most of a write's cost); the system's temporary folder otherwise.
        const char* where = std::getenv("QUILLET_BENCH_DIR");
        const fs::path base = (where && *where) ? fs::path(where) : fs::temp_directory_path();
        folder = base / ("quillet-settings-bench-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        settingsPath = text::fromNativePath(folder / "bench.ini");
        settings::SettingsStore store;
        store.openStore(settingsPath);
        ui::Window w = ui::makeMainWindow();
        store.saveWindowControls(w, ui::mainWindowSection());
        int keys = 0;
        for (std::size_t i = 0; i < w.size(); ++i)
            keys += w.at(i).kind() == ui::ControlKind::Button || w.at(i).kind() == ui::ControlKind::EditBox
                || w.at(i).kind() == ui::ControlKind::CheckBox || w.at(i).kind() == ui::ControlKind::ComboBox;
        for (int i = 0; keys < 500; ++i, ++keys) {
            store.selectSection(gbk("分区") + std::to_string(i / 50));
            store.writeText(gbk("键") + std::to_string(i), gbk("一个普通长度的设置值，第") + std::to_string(i) + gbk("个"));
        }
    }
    ~BenchFiles()
    {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

BenchFiles& files()
{
    static BenchFiles f;
    return f;
}

void BM_RestoreMainWindow(benchmark::State& state)
{
    settings::SettingsStore store;
    store.openStore(files().settingsPath);
    const ui::Window prototype = ui::makeMainWindow();
    for (auto _ : state) {
        ui::Window w = prototype;
        store.restoreWindowControls(w, ui::mainWindowSection());
        benchmark::DoNotOptimize(w);
    }
    state.counters["file_bytes"] = static_cast<double>(store.wholeText().size());
}
BENCHMARK(BM_RestoreMainWindow)->Unit(benchmark::kMicrosecond);

void BM_WriteText(benchmark::State& state)
{
    settings::SettingsStore store;
    store.openStore(files().settingsPath);
    store.selectSection(ui::mainWindowSection());
    int i = 0;
    for (auto _ : state) {
        const bool ok = store.writeText(gbk("编辑框商品ID文件"), "/home/user/ids-" + std::to_string(i++) + ".txt");
        benchmark::DoNotOptimize(ok);
    }
    state.counters["file_bytes"] = static_cast<double>(store.wholeText().size());
}
BENCHMARK(BM_WriteText)->Iterations(1000)->Unit(benchmark::kMicrosecond);

void BM_SaveMainWindow(benchmark::State& state)
{
    settings::SettingsStore store;
    store.openStore(files().settingsPath);
    ui::Window w = ui::makeMainWindow();
    int i = 0;
    for (auto _ : state) {
        w.find(gbk("编辑框序号"))->setText(std::to_string(i++));
        store.saveWindowControls(w, ui::mainWindowSection());
    }
}
BENCHMARK(BM_SaveMainWindow)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
