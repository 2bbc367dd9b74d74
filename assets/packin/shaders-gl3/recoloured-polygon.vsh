
in vec2 position;
in float zCoord;

void main()
{
    gl_Position = placeVertex(position, zCoord);
}
