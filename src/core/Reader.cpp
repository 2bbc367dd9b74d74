#include "core/Reader.h"

#include <cstring>

namespace hv {

uint64_t BlobReader::remaining() const {
    uint64_t size = data ? data->size() : 0;
    return offset < size ? size - offset : 0;
}

bool BlobReader::read(void* destination, uint64_t byteCount) {
    if (remaining() < byteCount) return false;
    if (byteCount > 0) {
        std::memcpy(destination, data->data() + offset, byteCount);
        offset += byteCount;
    }
    return true;
}

std::shared_ptr<Reader> makeBlobReader(const Blob& blob) { return std::make_shared<BlobReader>(blob); }

} // namespace hv
