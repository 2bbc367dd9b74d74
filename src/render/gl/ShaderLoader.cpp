#include "render/gl/ShaderLoader.h"

#include "core/Configuration.h"
#include "core/Failure.h"
#include "core/PathProvider.h"
#include "core/ResourcePaths.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <tuple>

namespace hv {

std::string prefixedCommonFragment(const std::string& commonText, bool applyPaper, const Configuration& configuration) {
    std::string text = commonText;
    if (configuration.greyscale) text = "#define GRAYSCALE_BUILD\n\n" + text;
    if (applyPaper) text = "#define APPLY_PAPER\n\n" + text;
    // Beyond 1e9 every texel short of white already darkens to black in single precision, so the
    // bound changes nothing drawn and keeps the literal one the compiler takes.
    double value = std::isnan(configuration.paperStrength) ? 0.0 : configuration.paperStrength;
    value = std::clamp(value, -1e9, 1e9);
    char strength[64];
    std::snprintf(strength, sizeof(strength), "%f", value);
    return "#define PAPER_TEXTURE_STRENGTH " + std::string(strength) + "\n" + text;
}

namespace {

bool readShader(const PathProvider& packin, const std::string& name, std::string& text, const std::string& missing) {
    bool found;
    std::tie(text, found) = getStringFromProvider(packin, name);
    if (!found) writeFailureLine(missing);
    return found;
}

} // namespace

std::optional<ShaderSources> assembleShaderSources(const PathProvider& packin, const std::string& name, bool applyPaper,
                                                   const Configuration& configuration) {
    const std::string directory = shaderDirectoryName();
    const std::string vertexPath = directory + "/" + name + ".vsh";
    const std::string fragmentPath = directory + "/" + name + ".fsh";
    std::string vertexText, fragmentText, commonVertex, commonFragment, glCommon;
    if (!readShader(packin, vertexPath, vertexText, "Could not find shader: " + vertexPath) ||
        !readShader(packin, fragmentPath, fragmentText, "Could not find shader: " + fragmentPath) ||
        !readShader(packin, directory + "/common.vsh", commonVertex, "Could not find common vsh") ||
        !readShader(packin, directory + "/common.fsh", commonFragment, "Could not find common fsh") ||
        !readShader(packin, "shaders-gl-common/common.fsh", glCommon, "Could not find gl common fsh")) {
        return std::nullopt;
    }

    ShaderSources sources;
    sources.vertex = commonVertex + vertexText;
    sources.fragment = commonFragment + prefixedCommonFragment(glCommon, applyPaper, configuration) + fragmentText;
    return sources;
}

std::optional<GLuint> loadShaderSource(const PathProvider& packin, const std::string& name,
                                       const AttributeList& attributes, bool applyPaper,
                                       const Configuration& configuration) {
    std::optional<ShaderSources> sources = assembleShaderSources(packin, name, applyPaper, configuration);
    if (!sources) return std::nullopt;
    return linkShaderProgram(sources->vertex, sources->fragment, attributes);
}

namespace {

std::string shaderLog(GLuint shader) {
    GLint length = 0;
    gl.GetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) return "";
    std::string log(size_t(length), '\0');
    GLsizei written = 0;
    gl.GetShaderInfoLog(shader, length, &written, log.data());
    log.resize(size_t(written));
    return log;
}

std::string programLog(GLuint program) {
    GLint length = 0;
    gl.GetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) return "";
    std::string log(size_t(length), '\0');
    GLsizei written = 0;
    gl.GetProgramInfoLog(program, length, &written, log.data());
    log.resize(size_t(written));
    return log;
}

} // namespace

std::optional<GLuint> compileShader(GLenum kind, const std::string& source) {
    GLuint shader = gl.CreateShader(kind);
    const GLchar* text = source.c_str();
    gl.ShaderSource(shader, 1, &text, nullptr);
    gl.CompileShader(shader);
    std::string log = shaderLog(shader);
    if (!log.empty()) failureStream() << "Shader compile log:" << std::endl << log << std::endl;
    GLint status = GL_FALSE;
    gl.GetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_FALSE) {
        failureStream() << "Status bad:" << std::endl << source << std::endl;
        gl.DeleteShader(shader);
        return std::nullopt;
    }
    return shader;
}

std::optional<GLuint> linkShaderProgram(const std::string& vertexSource, const std::string& fragmentSource,
                                        const AttributeList& attributes) {
    GLuint program = gl.CreateProgram();
    if (program == 0) {
        failureStream() << "Failed to create shader program:" << std::endl;
        return std::nullopt;
    }
    // Every way out below releases what was made, so a retried start-up leaks nothing.
    std::optional<GLuint> vertex = compileShader(GL_VERTEX_SHADER, vertexSource);
    if (!vertex) {
        gl.DeleteProgram(program);
        return std::nullopt;
    }
    std::optional<GLuint> fragment = compileShader(GL_FRAGMENT_SHADER, fragmentSource);
    if (!fragment) {
        gl.DeleteShader(*vertex);
        gl.DeleteProgram(program);
        return std::nullopt;
    }
    gl.AttachShader(program, *vertex);
    gl.AttachShader(program, *fragment);
    checkGLError("attach fail");
    for (const auto& [location, name] : attributes) {
        gl.BindAttribLocation(program, location, name.c_str());
        checkGLError("bind");
    }
    gl.LinkProgram(program);
    std::string log = programLog(program);
    if (!log.empty()) failureStream() << "Program link log:" << std::endl << log << std::endl;
    GLint status = GL_FALSE;
    gl.GetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == GL_TRUE) {
        checkGLError("pre-del");
        gl.DeleteShader(*vertex);
        gl.DeleteShader(*fragment);
        checkGLError("pre-ret");
        return program;
    }
    failureStream() << "Failed to link program:" << program << std::endl;
    gl.DeleteShader(*vertex);
    gl.DeleteShader(*fragment);
    gl.DeleteProgram(program);
    return std::nullopt;
}

void checkGLError(const std::string& label) {
    GLenum error = gl.GetError();
    if (error != GL_NO_ERROR) failureStream() << label << ": errnum = " << error << std::endl;
    GLenum status = gl.CheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) failureStream() << label << ": fbstatus = " << status << std::endl;
}

} // namespace hv
