#pragma once

#include <string>

namespace hv::test {

// A fresh directory under the system's temporary directory, removed with its contents when
// the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes bytes to a file, replacing it.
void writeFile(const std::string& path, const std::string& bytes);

// The test data folder (tests/data in the source tree).
std::string testDataPath(const std::string& relative);

} // namespace hv::test
