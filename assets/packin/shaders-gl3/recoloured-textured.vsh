
in vec2 position;
in vec2 texcoord;

// The quad has no per-vertex depth; the whole quad takes this one.
uniform float zCoord;

out vec2 textureCoordinate;

void main()
{
    textureCoordinate = texcoord;
    gl_Position = placeVertex(position, zCoord);
}
