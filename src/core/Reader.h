#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

using Blob = std::shared_ptr<std::vector<uint8_t>>;

// The reading interface of every binary record.
class Reader {
public:
    virtual bool read(void* destination, uint64_t byteCount) = 0;
    // Bytes left to read. Record readers check every count read from a file against it
    // before they allocate, so a file can never ask for more memory than its size warrants.
    virtual uint64_t remaining() const = 0;
    virtual ~Reader() = default;

    // True when `count` items of `itemSize` bytes can still be read (no overflow).
    bool canRead(uint64_t count, uint64_t itemSize) const {
        return itemSize == 0 || count <= remaining() / itemSize;
    }
};

class BlobReader : public Reader {
public:
    explicit BlobReader(Blob blob) : data(std::move(blob)) {}

    // Fails without moving when fewer than byteCount bytes remain.
    bool read(void* destination, uint64_t byteCount) override;
    uint64_t remaining() const override;

    Blob data;
    uint64_t offset = 0;
};

std::shared_ptr<Reader> makeBlobReader(const Blob& blob);

} // namespace hv
