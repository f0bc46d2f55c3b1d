#ifndef BROWSER_GL_CALLS_H_
#define BROWSER_GL_CALLS_H_

#include <GL/gl.h>

namespace browser {

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif
#ifndef GL_UNSIGNED_INT_8_8_8_8_REV
#define GL_UNSIGNED_INT_8_8_8_8_REV 0x8367
#endif

// The fixed-function OpenGL 1.1 calls the off-screen renderer makes, behind
// a seam so that tests can record them.
class GlCalls {
 public:
  virtual ~GlCalls() = default;
  virtual void Hint(GLenum target, GLenum mode) = 0;
  virtual void ClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) = 0;
  virtual void PixelStorei(GLenum name, GLint value) = 0;
  virtual GLuint GenTexture() = 0;
  virtual void DeleteTexture(GLuint texture) = 0;
  virtual void BindTexture(GLenum target, GLuint texture) = 0;
  virtual void TexParameteri(GLenum target, GLenum name, GLint value) = 0;
  virtual void TexEnvi(GLenum target, GLenum name, GLint value) = 0;
  virtual void Enable(GLenum capability) = 0;
  virtual void Disable(GLenum capability) = 0;
  virtual void TexImage2D(GLsizei width, GLsizei height, const void* pixels) = 0;
  virtual void TexSubImage2D(GLint x, GLint y, GLsizei width, GLsizei height, const void* pixels) = 0;
  virtual void Clear(GLbitfield mask) = 0;
  virtual void MatrixMode(GLenum mode) = 0;
  virtual void LoadIdentity() = 0;
  virtual void Viewport(GLint x, GLint y, GLsizei width, GLsizei height) = 0;
  virtual void PushAttrib(GLbitfield mask) = 0;
  virtual void PopAttrib() = 0;
  virtual void PushMatrix() = 0;
  virtual void PopMatrix() = 0;
  virtual void Begin(GLenum mode) = 0;
  virtual void End() = 0;
  virtual void Color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) = 0;
  virtual void Vertex2f(GLfloat x, GLfloat y) = 0;
  virtual void Rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) = 0;
  virtual void BlendFunc(GLenum source, GLenum destination) = 0;
  virtual void InterleavedArrays(GLenum format, GLsizei stride, const void* pointer) = 0;
  virtual void DrawArrays(GLenum mode, GLint first, GLsizei count) = 0;
  virtual void Ortho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near_value,
                     GLdouble far_value) = 0;
  virtual void LineWidth(GLfloat width) = 0;
  virtual void Scissor(GLint x, GLint y, GLsizei width, GLsizei height) = 0;
  virtual void Flush() = 0;
};

}  // namespace browser

#endif  // BROWSER_GL_CALLS_H_
