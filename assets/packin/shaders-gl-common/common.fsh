
#ifdef APPLY_PAPER
uniform sampler2D paperSampler;
uniform float hPaperScale;
uniform float vPaperScale;
uniform float vPaperScroll;
#endif

// Lays the paper grain over a colour and makes it grey when the build asks for it.
vec4 finishColour(vec4 colour)
{
#ifdef APPLY_PAPER
    // Window pixels to texels of the repeating paper; subtracting the scroll keeps the grain
    // fixed to the page as it moves up the window.
    vec2 paperPoint = vec2(gl_FragCoord.x * hPaperScale, (gl_FragCoord.y - vPaperScroll) * vPaperScale);
    float grain = texture(paperSampler, paperPoint).r;
    // White paper leaves the colour as it is; the darkest grain takes away the paper strength.
    colour.rgb *= 1.0 - float(PAPER_TEXTURE_STRENGTH) * (1.0 - grain);
    // A texel is never below 0, so this changes nothing; it keeps the grain, and with it every
    // paper uniform, in the program when the strength is 0 and the line above folds away.
    colour.a *= step(0.0, grain);
#endif
#ifdef GRAYSCALE_BUILD
    colour.rgb = vec3(dot(colour.rgb, vec3(0.299, 0.587, 0.114)));
#endif
    return colour;
}
