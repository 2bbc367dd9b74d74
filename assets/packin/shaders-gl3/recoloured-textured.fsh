
uniform sampler2D textureSampler;
uniform vec4 textureColour;

in vec2 textureCoordinate;

void main()
{
    fragColour = finishColour(texture(textureSampler, textureCoordinate) * textureColour);
}
