#pragma once

#include "render/gl/GLEntryPoints.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hv {

struct Configuration;
struct PathProvider;

// (attribute location, attribute name) in the order they are bound.
using AttributeList = std::vector<std::pair<GLuint, std::string>>;

struct ShaderSources {
    std::string vertex;
    std::string fragment;
};

// The shared fragment text with the defines the build asks for in front: the strength line,
// then the paper define, then the greyscale define.
std::string prefixedCommonFragment(const std::string& commonText, bool applyPaper, const Configuration& configuration);

// Reads the program's files and the common files from the packin root and puts them together;
// nothing when a file is missing (after its line).
std::optional<ShaderSources> assembleShaderSources(const PathProvider& packin, const std::string& name, bool applyPaper,
                                                   const Configuration& configuration);

std::optional<GLuint> loadShaderSource(const PathProvider& packin, const std::string& name,
                                       const AttributeList& attributes, bool applyPaper,
                                       const Configuration& configuration);
std::optional<GLuint> linkShaderProgram(const std::string& vertexSource, const std::string& fragmentSource,
                                        const AttributeList& attributes);
std::optional<GLuint> compileShader(GLenum kind, const std::string& source);

// Reports a pending GL error and an incomplete framebuffer, each on a line after the label.
void checkGLError(const std::string& label);

} // namespace hv
