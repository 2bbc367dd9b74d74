// halvane-bake ASSETS_DIR: writes the raw-SVG cache file of every SVG file of a book and the
// paper texture cache made from its "paper.txt", and precompiles its Lua scripts.
#include "render/PaperBaker.h"
#include "script/ScriptCompiler.h"
#include "svg/SvgBaker.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv) {
    // Past a file-size limit a cache write fails and is reported; the old cache stays.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc != 2) {
        std::cerr << "usage: halvane-bake ASSETS_DIR" << std::endl;
        return 2;
    }
    hv::BakeSummary summary = hv::bakeSvgCaches(argv[1], std::cerr);
    if (hv::bakePaperCache(argv[1], std::cerr)) {
        ++summary.baked;
    } else {
        ++summary.failed;
    }
    hv::ScriptCompileSummary scripts = hv::compileBookScripts(argv[1], std::cerr);
    summary.baked += scripts.compiled;
    summary.failed += scripts.failed;
    std::cout << "halvane-bake: " << summary.baked << " baked, " << summary.partly << " partly converted, "
              << summary.failed << " failed" << std::endl;
    return summary.failed == 0 ? 0 : 1;
}
