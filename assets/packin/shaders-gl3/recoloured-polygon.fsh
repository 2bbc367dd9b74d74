
uniform vec4 polygonColour;

void main()
{
    fragColour = finishColour(polygonColour);
}
