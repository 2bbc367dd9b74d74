#include "support/Records.h"

#include <cstdlib>

namespace hv::test {

std::string writeToMemory(const std::function<bool(FILE*)>& writer, bool* ok) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* file = open_memstream(&buffer, &size);
    bool result = writer(file);
    std::fclose(file);
    std::string bytes(buffer, size);
    std::free(buffer);
    if (ok) *ok = result;
    return bytes;
}

} // namespace hv::test
