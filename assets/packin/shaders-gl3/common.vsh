#version 140

// Positions arrive in the units of `transform`, which maps them to normalised device coordinates.
uniform mat3 transform;

// Depth keys are fractions of 2^32, greater meaning nearer. Each picture draws with the 2^20 keys
// below its base, a multiple of 2^20, and the depth buffer is cleared before each picture, so
// only the place inside that block decides what covers what. Taking the place out of the block
// keeps neighbouring keys apart in a 24-bit depth buffer; the top of the block maps to 1.
float depthOf(float depthKey)
{
    return 1.0 - fract(-depthKey * 4096.0);
}

vec4 placeVertex(vec2 point, float depthKey)
{
    vec3 p = transform * vec3(point, 1.0);
    return vec4(p.xy, depthOf(depthKey) * 2.0 - 1.0, 1.0);
}
