#include "support/CaptureStream.h"

namespace hv::test {

CaptureStream::CaptureStream(std::ostream& s) : stream(s), previous(s.rdbuf(collected.rdbuf())) {}

CaptureStream::~CaptureStream() { stream.rdbuf(previous); }

} // namespace hv::test
