#ifndef BROWSER_OSR_SURFACE_WIN_H_
#define BROWSER_OSR_SURFACE_WIN_H_

#include <QExposeEvent>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLVersionFunctionsFactory>
#include <QWindow>
#include <functional>

#include "browser/gl_calls.h"

namespace browser {

// The real calls, on the surface's context; nothing is drawn where the
// context offers no fixed-function OpenGL.
class QtGlCalls : public GlCalls {
 public:
  void Bind(QOpenGLContext* context) {
    f_ = context ? QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(context) : nullptr;
    if (f_) f_->initializeOpenGLFunctions();
  }
  void Hint(GLenum t, GLenum m) override { if (f_) f_->glHint(t, m); }
  void ClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) override { if (f_) f_->glClearColor(r, g, b, a); }
  void PixelStorei(GLenum n, GLint v) override { if (f_) f_->glPixelStorei(n, v); }
  GLuint GenTexture() override {
    GLuint texture = 0;
    if (f_) f_->glGenTextures(1, &texture);
    return texture;
  }
  void DeleteTexture(GLuint texture) override { if (f_) f_->glDeleteTextures(1, &texture); }
  void BindTexture(GLenum t, GLuint texture) override { if (f_) f_->glBindTexture(t, texture); }
  void TexParameteri(GLenum t, GLenum n, GLint v) override { if (f_) f_->glTexParameteri(t, n, v); }
  void TexEnvi(GLenum t, GLenum n, GLint v) override { if (f_) f_->glTexEnvi(t, n, v); }
  void Enable(GLenum c) override { if (f_) f_->glEnable(c); }
  void Disable(GLenum c) override { if (f_) f_->glDisable(c); }
  void TexImage2D(GLsizei w, GLsizei h, const void* pixels) override {
    if (f_) f_->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
  }
  void TexSubImage2D(GLint x, GLint y, GLsizei w, GLsizei h, const void* pixels) override {
    if (f_) f_->glTexSubImage2D(GL_TEXTURE_2D, 0, x, y, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
  }
  void Clear(GLbitfield mask) override { if (f_) f_->glClear(mask); }
  void MatrixMode(GLenum mode) override { if (f_) f_->glMatrixMode(mode); }
  void LoadIdentity() override { if (f_) f_->glLoadIdentity(); }
  void Viewport(GLint x, GLint y, GLsizei w, GLsizei h) override { if (f_) f_->glViewport(x, y, w, h); }
  void PushAttrib(GLbitfield mask) override { if (f_) f_->glPushAttrib(mask); }
  void PopAttrib() override { if (f_) f_->glPopAttrib(); }
  void PushMatrix() override { if (f_) f_->glPushMatrix(); }
  void PopMatrix() override { if (f_) f_->glPopMatrix(); }
  void Begin(GLenum mode) override { if (f_) f_->glBegin(mode); }
  void End() override { if (f_) f_->glEnd(); }
  void Color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) override { if (f_) f_->glColor4f(r, g, b, a); }
  void Vertex2f(GLfloat x, GLfloat y) override { if (f_) f_->glVertex2f(x, y); }
  void Rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) override { if (f_) f_->glRotatef(angle, x, y, z); }
  void BlendFunc(GLenum s, GLenum d) override { if (f_) f_->glBlendFunc(s, d); }
  void InterleavedArrays(GLenum format, GLsizei stride, const void* pointer) override {
    if (f_) f_->glInterleavedArrays(format, stride, pointer);
  }
  void DrawArrays(GLenum mode, GLint first, GLsizei count) override { if (f_) f_->glDrawArrays(mode, first, count); }
  void Ortho(GLdouble l, GLdouble r, GLdouble b, GLdouble t, GLdouble n, GLdouble f) override {
    if (f_) f_->glOrtho(l, r, b, t, n, f);
  }
  void LineWidth(GLfloat width) override { if (f_) f_->glLineWidth(width); }
  void Scissor(GLint x, GLint y, GLsizei w, GLsizei h) override { if (f_) f_->glScissor(x, y, w, h); }
  void Flush() override { if (f_) f_->glFlush(); }

 private:
  QOpenGLFunctions_1_1* f_ = nullptr;
};

// The native window the frames are drawn on, in place: each frame redraws
// only what changed, straight on the window. Drawing into a widget instead
// had the whole top-level window composed again with OpenGL for every
// frame, in software on machines without a GPU the most costly part of a
// frame. Input passes through it to the OffscreenWindow. A Wayland
// compositor shows only buffers handed over by a swap: there the surface is
// double-buffered and each frame drawn whole.
class OffscreenSurface : public QWindow {
 public:
  explicit OffscreenSurface(std::function<void()> exposed)
      : exposed_(std::move(exposed)), swapped_(QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
    setSurfaceType(QSurface::OpenGLSurface);
    QSurfaceFormat format;
    format.setSwapBehavior(swapped_ ? QSurfaceFormat::DoubleBuffer : QSurfaceFormat::SingleBuffer);
    format.setDepthBufferSize(16);
    setFormat(format);
    setFlags(Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
  }
  bool swapped() const { return swapped_; }

 protected:
  void exposeEvent(QExposeEvent*) override {
    if (isExposed()) exposed_();
  }

 private:
  std::function<void()> exposed_;
  const bool swapped_;
};

}  // namespace browser

#endif  // BROWSER_OSR_SURFACE_WIN_H_
