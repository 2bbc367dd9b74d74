#include "core/Configuration.h"
#include "core/Variant.h"
#include "host/Options.h"
#include "host/SdlHost.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // Past a file-size limit a write then fails with its error, which the writer reports,
    // instead of the signal ending the run.
    std::signal(SIGXFSZ, SIG_IGN);
    if (const char* prefix = std::getenv(hv::streamRedirectVariable)) hv::redirectStandardStreams(prefix);

    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    hv::ParsedOptions options = hv::parseOptions(arguments);
    if (!options.ok()) {
        std::cerr << options.error << std::endl;
        return 1;
    }

    int status = 1;
    for (;;) {
        // 2 is the book's own ending; any other code asks for a fresh start.
        int result = hv::runHost(options.configuration);
        if (result == 0 || result == 2) {
            status = 0;
            break;
        }
        if (result == 1) break;
    }
    hv::variantShutdown();
    return status;
}
