#include "support/BenchBook.h"

#include "core/PathProvider.h"
#include "render/BookView.h"
#include "script/BookController.h"
#include "support/BenchPlatform.h"
#include "support/NullBackend.h"
#include "support/StaticPage.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace hv::bench {

BenchBook::BenchBook(const std::string& bookSource, bool useCache, std::shared_ptr<TypesetterBackend> typesetter) {
    // The build's assets (its baked caches among them) sit beside the bench folder.
    std::string build = std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path().string();
    setenv("HalvaneResourceDirectory", build.c_str(), 0);
    std::string pattern = (std::filesystem::temp_directory_path() / "halvane-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    directory = pattern;
    std::filesystem::create_directories(directory + "/story");
    std::filesystem::create_directories(directory + "/packin/lua");
    std::filesystem::copy_file(std::string(HV_SOURCE_DIR) + "/assets/packin/lua/lib.lua",
                               directory + "/packin/lua/lib.lua");
    writeStringToPath(bookSource, directory + "/story/book.lua");

    configuration = pageConfiguration(false);
    configuration.precompiledScripts = false;
    configuration.useCache = useCache;
    auto benchPlatform = std::make_shared<BenchPlatform>(std::make_shared<NullBackend>());
    benchPlatform->typesetterBackend = std::move(typesetter);
    platform = benchPlatform;
    view = std::make_shared<BookView>();
    controller = std::make_shared<BookController>();
    if (!view->init(configuration, nullptr, nullptr, platform) ||
        !controller->init(configuration, view, std::make_shared<PathProvider>(directory + "/story"),
                          std::make_shared<PathProvider>(directory + "/packin"), platform)) {
        throw std::runtime_error("the benchmark's book did not start");
    }
}

void BenchBook::start() {
    controller->setPendingChapter(0);
    tick();
}

BenchBook::~BenchBook() {
    controller.reset();
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

int32_t BenchBook::tick() {
    Event event;
    event.kind = Event::Tick;
    event.point = Vec2(1.0 / 60.0, 0);
    return controller->tick(event);
}

} // namespace hv::bench
