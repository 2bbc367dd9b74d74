#version 140

// Positions arrive in the units of `transform`, which maps them to normalised device coordinates.
uniform mat3 transform;

// Depth keys are fractions of 2^32, greater meaning nearer. The renderer spaces its depth levels
// 256 keys apart and keeps them below 2^23 levels, so the key itself, taken as the window depth,
// keeps every level apart in a 24-bit depth buffer. Depth in normalised device coordinates runs
// from -1 to 1 for window depths 0 to 1.
float depthOf(float depthKey)
{
    return depthKey * 2.0 - 1.0;
}

vec4 placeVertex(vec2 point, float depthKey)
{
    vec3 p = transform * vec3(point, 1.0);
    return vec4(p.xy, depthOf(depthKey), 1.0);
}
