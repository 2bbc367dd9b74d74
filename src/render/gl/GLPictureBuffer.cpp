#include "render/gl/GLPictureBuffer.h"

#include "render/gl/ShaderLoader.h"

namespace hv {

GLPictureBuffer::~GLPictureBuffer() { release(); }

void GLPictureBuffer::release() {
    if (indexBuffer) gl.DeleteBuffers(1, &indexBuffer);
    if (vertexBuffer) gl.DeleteBuffers(1, &vertexBuffer);
    if (fullVertexArray) gl.DeleteVertexArrays(1, &fullVertexArray);
    if (colourlessVertexArray) gl.DeleteVertexArrays(1, &colourlessVertexArray);
    indexBuffer = vertexBuffer = fullVertexArray = colourlessVertexArray = 0;
}

void GLPictureBuffer::uploadEntireBuffer(const std::vector<PictureVertex>& vertices, const std::vector<uint32_t>& indices) {
    checkGLError("GLPictureBuffer::uploadEntireBuffer() pre");
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * sizeof(uint32_t)), indices.data(), GL_STATIC_DRAW);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    gl.BindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    gl.BufferData(GL_ARRAY_BUFFER, GLsizeiptr(vertices.size() * sizeof(PictureVertex)), vertices.data(), GL_STATIC_DRAW);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
    RendererStatistics::add(statistics->bufferUpdates, 2);
    checkGLError("GLPictureBuffer::uploadEntireBuffer() post");
}

void GLPictureBuffer::uploadVertexData(uint64_t first, uint64_t count, const PictureVertex* data) {
    gl.BindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    gl.BufferSubData(GL_ARRAY_BUFFER, GLintptr(first * sizeof(PictureVertex)), GLsizeiptr(count * sizeof(PictureVertex)), data);
    gl.BindBuffer(GL_ARRAY_BUFFER, 0);
    RendererStatistics::add(statistics->bufferUpdates, 1);
    checkGLError("GLPictureBuffer::uploadVertexData()");
}

void GLPictureBuffer::uploadIndexData(uint64_t first, uint64_t count, const uint32_t* data) {
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer);
    gl.BufferSubData(GL_ELEMENT_ARRAY_BUFFER, GLintptr(first * sizeof(uint32_t)), GLsizeiptr(count * sizeof(uint32_t)), data);
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    RendererStatistics::add(statistics->bufferUpdates, 1);
    checkGLError("uploadIndexData()");
}

} // namespace hv
