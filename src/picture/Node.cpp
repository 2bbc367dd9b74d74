#include "picture/Node.h"

namespace hv {

Transform Node::localTransform() const {
    Transform t;
    t *= Transform::translation(translation);
    t *= Transform::scale(scaleX, scaleY);
    t *= Transform::rotation(rotation);
    t *= Transform::translation(Vec2(-pivot.x, -pivot.y));
    return t;
}

} // namespace hv
