#include "render/RendererBackend.h"

#include <ostream>

namespace hv {

bool RendererBackend::DrawState::operator==(const DrawState& other) const {
    if (!(yb == other.yb)) return false;
    if (mode != other.mode) return false;
    if (buffer != other.buffer) return false;
    if (t != other.t) return false;
    if (usesZIndex() && zIndex != other.zIndex) return false;
    return true;
}

void RendererBackend::DrawState::print(std::ostream& out) const {
    out << "DrawState(" << static_cast<const void*>(this) << ")" << std::endl;
    out << "  mode = " << mode << std::endl;
    out << "  buffer = " << static_cast<const void*>(buffer.get()) << std::endl;
    out << "  t = " << t << std::endl;
    out << "  yb = " << yb << std::endl;
    if (usesZIndex()) out << "  z index = " << std::hex << zIndex << std::dec << std::endl;
}

} // namespace hv
