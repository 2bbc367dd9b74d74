
in vec2 position;
in vec4 meshColour;
in float zCoord;

out vec4 vertexColour;

void main()
{
    vertexColour = meshColour;
    gl_Position = placeVertex(position, zCoord);
}
