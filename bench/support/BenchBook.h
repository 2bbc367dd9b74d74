#pragma once

#include "core/Configuration.h"

#include <memory>
#include <string>

namespace hv {

class BookController;
class BookView;
class PlatformBackend;
class TypesetterBackend;

namespace bench {

// A book of the benchmark's own in a temporary folder, with the engine's lib.lua, over the null
// backend: a real book controller, chapter controller and book view. Scripts load as source.
class BenchBook {
public:
    // The book is set up (its scripts have run) but no chapter has started. `useCache` reads the
    // SVG files from the build's baked caches.
    explicit BenchBook(const std::string& bookSource, bool useCache = false,
                       std::shared_ptr<TypesetterBackend> typesetter = nullptr);
    ~BenchBook();
    // Chapter 0 starts in one tick.
    void start();
    // One scheduling pass: a tick event.
    int32_t tick();

    std::string directory;
    Configuration configuration;
    std::shared_ptr<PlatformBackend> platform;
    std::shared_ptr<BookView> view;
    std::shared_ptr<BookController> controller;
};

} // namespace bench
} // namespace hv
