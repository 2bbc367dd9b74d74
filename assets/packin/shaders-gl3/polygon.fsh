
in vec4 vertexColour;

void main()
{
    fragColour = finishColour(vertexColour);
}
