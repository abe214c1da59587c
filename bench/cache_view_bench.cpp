// Time from selecting the cache tab, or from a keystroke in its search field, until the
// first rows of the list are painted, over a cache of 100 000 entries (offscreen platform).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QHeaderView>
#include <QTreeView>
#include <filesystem>
#include <memory>
#include <string>

#include "app/relay/dns_codec.h"
#include "app/views/cache_list_model.h"

namespace quenda {
namespace {

constexpr int kEntries = 100000;

// A cache of kEntries entries (every tenth an MX, every 50th spanning several records) and
// the list over it as the cache tab lays it out, shown offscreen.
class FilledView {
  public:
    FilledView() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quenda-bench-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) return;
        directory_ = pattern;
        cache_ = std::make_unique<CacheDatabase>(directory_, [](const std::string&, int) {});
        cache_->OpenCacheDatabase();
        cache_->SetStoreBatching(true);
        for (int i = 0; i < kEntries; ++i) {
            const std::string name =
                "host" + std::to_string(i) + ".zone" + std::to_string(i % 997) + ".example.org";
            const std::string reply(i % 50 == 0 ? 700 : 120, static_cast<char>(i));
            cache_->CacheStore(MakeCacheKey(name, i % 10 == 0 ? "MX" : "A"), reply);
        }
        cache_->CommitStores();
        model_ = std::make_unique<CacheListModel>(*cache_);
        view_ = std::make_unique<QTreeView>();
        view_->setModel(model_.get());
        view_->setRootIsDecorated(false);
        view_->setUniformRowHeights(true);
        view_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        view_->resize(560, 300);
        view_->show();
        QApplication::processEvents();
    }
    ~FilledView() {
        view_.reset();
        model_.reset();
        cache_.reset();
        std::error_code ec;
        if (!directory_.empty()) std::filesystem::remove_all(directory_, ec);
    }

    static FilledView& Get() {
        static FilledView view;
        return view;
    }

    // Lists what filter selects, lets the loop run until the first rows are there or the walk
    // ended without any, and paints the list; the number of rows read.
    int ShowAndPaint(const CacheFilter& filter) {
        model_->ShowEntries(filter);
        while (model_->rowCount() == 0 && model_->Searching()) QApplication::processEvents();
        view_->viewport()->repaint();
        return model_->rowCount();
    }
    // Only the keystroke's own share: the time until the loop gets its turn again.
    void Show(const CacheFilter& filter) { model_->ShowEntries(filter); }

  private:
    std::filesystem::path directory_;
    std::unique_ptr<CacheDatabase> cache_;
    std::unique_ptr<CacheListModel> model_;
    std::unique_ptr<QTreeView> view_;
};

// Selecting the tab: everything, from the top.
void SelectTab(benchmark::State& state) {
    FilledView& view = FilledView::Get();
    for (auto _ : state) {
        if (view.ShowAndPaint({}) == 0) state.SkipWithError("nothing listed");
    }
}

// A keystroke in the search field; each text matches fewer keys, down to none, which reads
// the whole index once.
void SearchKeystroke(benchmark::State& state) {
    static const CacheFilter kFilters[] = {{"h", ""},          {"zone99", ""}, {"host9999", ""},
                                           {"host99999.", ""}, {"absent", ""}, {"", "MX"},
                                           {"zone5.", "MX"}};
    const CacheFilter& filter = kFilters[state.range(0)];
    FilledView& view = FilledView::Get();
    for (auto _ : state) benchmark::DoNotOptimize(view.ShowAndPaint(filter));
    state.SetLabel("\"" + filter.searchText + "\" type \"" + filter.typeName + "\"");
}

// The keystroke until the window handles events again, the rest of the walk still to come.
void SearchKeystrokeBlocks(benchmark::State& state) {
    FilledView& view = FilledView::Get();
    for (auto _ : state) view.Show({"absent", ""});
    state.SetLabel("\"absent\" type \"\"");
}

BENCHMARK(SelectTab)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SearchKeystroke)->DenseRange(0, 6)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SearchKeystrokeBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quenda

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
