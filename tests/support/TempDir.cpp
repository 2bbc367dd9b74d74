#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace hv::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "halvane-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string testDataPath(const std::string& relative) {
    const char* fromEnv = std::getenv("HV_TEST_DATA_DIR");
    std::string root = fromEnv && *fromEnv ? fromEnv : HV_TEST_DATA_DIR;
    return root + "/" + relative;
}

} // namespace hv::test
