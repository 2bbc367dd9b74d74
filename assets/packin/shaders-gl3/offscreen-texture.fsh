
uniform sampler2D textureSampler;

in vec2 textureCoordinate;

void main()
{
    fragColour = finishColour(texture(textureSampler, textureCoordinate));
}
