#include <gtest/gtest.h>

#include <QImage>
#include <string>
#include <vector>

#include "browser/click_counter.h"
#include "browser/offscreen_renderer.h"
#include "engine/qt/input_mapping.h"
#include "engine/qt/offscreen_frames.h"

using browser::OffscreenRenderer;
using browser::OffscreenSettings;
using engine::PaintRect;

namespace {

// Records the calls that matter for what reaches the texture and the screen.
class RecordingGl : public browser::GlCalls {
 public:
  std::vector<std::string> calls;
  void Hint(GLenum, GLenum) override {}
  void ClearColor(GLfloat, GLfloat, GLfloat, GLfloat) override {}
  void PixelStorei(GLenum name, GLint value) override {
    if (name == GL_UNPACK_SKIP_PIXELS) Add("skip-pixels " + std::to_string(value));
    if (name == GL_UNPACK_SKIP_ROWS) Add("skip-rows " + std::to_string(value));
    if (name == GL_UNPACK_ROW_LENGTH) Add("row-length " + std::to_string(value));
  }
  GLuint GenTexture() override { return 7; }
  void DeleteTexture(GLuint texture) override { Add("delete " + std::to_string(texture)); }
  void BindTexture(GLenum, GLuint) override {}
  void TexParameteri(GLenum, GLenum, GLint) override {}
  void TexEnvi(GLenum, GLenum, GLint) override {}
  void Enable(GLenum capability) override {
    if (capability == GL_BLEND) Add("blend on");
  }
  void Disable(GLenum capability) override {
    if (capability == GL_SCISSOR_TEST) Add("scissor off");
  }
  void TexImage2D(GLsizei w, GLsizei h, const void*) override { Add("image " + Size(w, h)); }
  void TexSubImage2D(GLint x, GLint y, GLsizei w, GLsizei h, const void*) override {
    Add("sub " + std::to_string(x) + "," + std::to_string(y) + " " + Size(w, h));
  }
  void Clear(GLbitfield) override { Add("clear"); }
  void MatrixMode(GLenum) override {}
  void LoadIdentity() override {}
  void Viewport(GLint, GLint, GLsizei w, GLsizei h) override { Add("viewport " + Size(w, h)); }
  void PushAttrib(GLbitfield) override {}
  void PopAttrib() override {}
  void PushMatrix() override {}
  void PopMatrix() override {}
  void Begin(GLenum mode) override { Add(mode == GL_LINE_STRIP ? "outline" : "begin"); }
  void End() override {}
  void Color4f(GLfloat, GLfloat, GLfloat, GLfloat) override {}
  void Vertex2f(GLfloat x, GLfloat y) override {
    if (!calls.empty() && calls.back().rfind("outline", 0) == 0)
      calls.back() += " " + std::to_string(static_cast<int>(x)) + "," + std::to_string(static_cast<int>(y));
  }
  void Rotatef(GLfloat angle, GLfloat x, GLfloat, GLfloat) override {
    Add(std::string("rotate ") + (x != 0 ? "x " : "y ") + std::to_string(static_cast<int>(angle)));
  }
  void BlendFunc(GLenum, GLenum) override {}
  void InterleavedArrays(GLenum, GLsizei, const void*) override {}
  void DrawArrays(GLenum, GLint, GLsizei) override { Add("quad"); }
  void Ortho(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble) override {}
  void LineWidth(GLfloat) override {}
  void Scissor(GLint x, GLint y, GLsizei w, GLsizei h) override {
    Add("scissor " + std::to_string(x) + "," + std::to_string(y) + " " + Size(w, h));
  }
  void Flush() override {}

  std::vector<std::string> Take() { return std::exchange(calls, {}); }

 private:
  void Add(std::string call) { calls.push_back(std::move(call)); }
  static std::string Size(int w, int h) { return std::to_string(w) + "x" + std::to_string(h); }
};

using Calls = std::vector<std::string>;

// The page's click counts from the window's presses: a run of presses of
// one button near its first and soon after each other counts up; another
// button, a press too far or too late, or the pointer leaving the place
// starts a new run.
TEST(ClickCounter, RunsOfPresses) {
  const browser::DoubleClickRule rule{10, 400};
  browser::ClickCounter clicks;
  EXPECT_EQ(clicks.Press({100, 100}, Qt::LeftButton, 1000, rule), 1);
  EXPECT_EQ(clicks.Press({104, 96}, Qt::LeftButton, 1300, rule), 2);
  EXPECT_EQ(clicks.Press({100, 100}, Qt::LeftButton, 1600, rule), 3);  // soon after the last, not the first
  EXPECT_EQ(clicks.Press({100, 100}, Qt::RightButton, 1700, rule), 1);
  EXPECT_EQ(clicks.Press({106, 100}, Qt::RightButton, 1800, rule), 1);  // half the distance either way
  EXPECT_EQ(clicks.Press({106, 100}, Qt::RightButton, 2300, rule), 1);  // too late
  clicks.Move({107, 101}, 2400, rule);
  EXPECT_EQ(clicks.count(), 1);
  clicks.Move({150, 101}, 2450, rule);
  EXPECT_EQ(clicks.count(), 0);
  EXPECT_EQ(clicks.Press({150, 101}, Qt::RightButton, 2500, rule), 1);
}

TEST(OffscreenRenderer, UploadsOnlyWhatChanged) {
  RecordingGl gl;
  OffscreenRenderer renderer(gl, OffscreenSettings{});
  const std::vector<uint8_t> buffer(100 * 50 * 4);
  // The first frame goes whole, whatever its dirty list says.
  renderer.OnPaint(engine::PET_VIEW, {{10, 10, 5, 5}}, buffer.data(), 100, 50);
  EXPECT_EQ(gl.Take(), (Calls{"row-length 100", "skip-pixels 0", "skip-rows 0", "image 100x50"}));
  // Same size, two dirty parts: only those two, each from its own place.
  renderer.OnPaint(engine::PET_VIEW, {{10, 5, 20, 3}, {0, 40, 100, 10}}, buffer.data(), 100, 50);
  EXPECT_EQ(gl.Take(), (Calls{"row-length 100", "skip-pixels 10", "skip-rows 5", "sub 10,5 20x3", "skip-pixels 0",
                              "skip-rows 40", "sub 0,40 100x10"}));
  // One dirty rectangle over the whole view: whole again.
  renderer.OnPaint(engine::PET_VIEW, {{0, 0, 100, 50}}, buffer.data(), 100, 50);
  EXPECT_EQ(gl.Take().back(), "image 100x50");
  // A new size: whole, even with a small dirty part.
  const std::vector<uint8_t> bigger(120 * 50 * 4);
  renderer.OnPaint(engine::PET_VIEW, {{1, 1, 1, 1}}, bigger.data(), 120, 50);
  EXPECT_EQ(gl.Take().back(), "image 120x50");
  renderer.Cleanup();
  EXPECT_EQ(gl.Take(), (Calls{"delete 7"}));
}

TEST(OffscreenRenderer, PopupsAreKeptInsideTheView) {
  EXPECT_EQ(OffscreenRenderer::ClampPopup({-20, 10, 30, 20}, 100, 50), (PaintRect{0, 10, 30, 20}));
  EXPECT_EQ(OffscreenRenderer::ClampPopup({90, 40, 30, 20}, 100, 50), (PaintRect{70, 30, 30, 20}));
  // Larger than the view: pinned to the top left corner.
  EXPECT_EQ(OffscreenRenderer::ClampPopup({50, -5, 150, 80}, 100, 50), (PaintRect{0, 0, 150, 80}));

  RecordingGl gl;
  OffscreenRenderer renderer(gl, OffscreenSettings{});
  const std::vector<uint8_t> page(100 * 50 * 4), popup(150 * 20 * 4);
  // No popup rectangle yet: a popup frame draws nothing.
  renderer.OnPaint(engine::PET_POPUP, {{0, 0, 150, 20}}, popup.data(), 150, 20);
  EXPECT_EQ(gl.Take(), Calls{});
  renderer.OnPaint(engine::PET_VIEW, {{0, 0, 100, 50}}, page.data(), 100, 50);
  gl.Take();
  renderer.OnPopupSize({0, 0, 0, 20});  // no width: ignored
  EXPECT_EQ(renderer.popup_rect(), PaintRect{});
  // Wider than the view: cut at its right edge.
  renderer.OnPopupSize({50, 10, 150, 20});
  EXPECT_EQ(renderer.requested_popup_rect(), (PaintRect{50, 10, 150, 20}));
  renderer.OnPaint(engine::PET_POPUP, {{0, 0, 150, 20}}, popup.data(), 150, 20);
  EXPECT_EQ(gl.Take(), (Calls{"row-length 150", "skip-pixels 0", "skip-rows 0", "sub 0,10 100x20"}));
  renderer.OnPopupShow(false);
  EXPECT_EQ(renderer.popup_rect(), PaintRect{});
  EXPECT_EQ(renderer.requested_popup_rect(), PaintRect{});
}

TEST(OffscreenRenderer, DrawsTheViewSpunAndOutlined) {
  RecordingGl gl;
  OffscreenSettings settings;
  settings.show_update_rect = true;
  settings.transparent_painting = true;
  OffscreenRenderer renderer(gl, settings);
  renderer.Render();  // nothing before the first frame
  EXPECT_EQ(gl.Take(), Calls{});
  const std::vector<uint8_t> buffer(100 * 50 * 4);
  renderer.OnPaint(engine::PET_VIEW, {{0, 0, 100, 50}}, buffer.data(), 100, 50);
  renderer.OnPaint(engine::PET_VIEW, {{10, 20, 30, 5}, {0, 0, 1, 1}}, buffer.data(), 100, 50);
  gl.Take();
  renderer.SetSpin(5, 0);
  renderer.IncrementSpin(1, -2);
  renderer.Render();
  // The outline is the first dirty rectangle of the last frame, one pixel in.
  EXPECT_EQ(gl.Take(), (Calls{"clear", "viewport 100x50", "begin", "rotate x -4", "rotate y -2", "blend on", "quad",
                              "outline 11,20 40,20 40,24 11,24 11,20"}));
  renderer.SetSpin(0, 0);
  renderer.Render();
  const Calls flat = gl.Take();
  EXPECT_EQ(std::count_if(flat.begin(), flat.end(), [](const std::string& c) { return c.rfind("rotate", 0) == 0; }), 0);
}

// A frame redraws the window only where the texture changed; what moves
// the whole picture redraws it whole.
TEST(OffscreenRenderer, DrawsOnlyWhatChanged) {
  RecordingGl gl;
  OffscreenRenderer renderer(gl, OffscreenSettings{});
  const std::vector<uint8_t> page(100 * 50 * 4), popup(30 * 10 * 4);
  renderer.OnPaint(engine::PET_VIEW, {{0, 0, 100, 50}}, page.data(), 100, 50);
  gl.Take();
  renderer.RenderChanged();
  // Whole, and the page covers the background: no gradient under it.
  EXPECT_EQ(gl.Take(), (Calls{"clear", "viewport 100x50", "quad"}));
  renderer.RenderChanged();  // nothing new
  EXPECT_EQ(gl.Take(), Calls{});
  renderer.OnPaint(engine::PET_VIEW, {{10, 5, 20, 3}, {60, 30, 10, 10}}, page.data(), 100, 50);
  renderer.OnPopupSize({80, 45, 30, 10});  // moved inside: 70,40
  renderer.OnPaint(engine::PET_POPUP, {{0, 0, 30, 10}}, popup.data(), 30, 10);
  gl.Take();
  renderer.RenderChanged();
  // Both parts and the popup, rows counted from the bottom.
  EXPECT_EQ(gl.Take(), (Calls{"scissor 10,0 90x45", "clear", "viewport 100x50", "quad", "scissor off"}));
  renderer.OnPaint(engine::PET_VIEW, {{10, 5, 20, 3}}, page.data(), 100, 50);
  renderer.SetSpin(3, 0);
  gl.Take();
  renderer.RenderChanged();
  EXPECT_EQ(gl.Take(), (Calls{"clear", "viewport 100x50", "begin", "rotate x -3", "quad"}));
  // A new size is whole again.
  renderer.SetSpin(0, 0);
  const std::vector<uint8_t> bigger(120 * 50 * 4);
  renderer.OnPaint(engine::PET_VIEW, {{1, 1, 1, 1}}, bigger.data(), 120, 50);
  gl.Take();
  renderer.RenderChanged();
  EXPECT_EQ(gl.Take(), (Calls{"clear", "viewport 120x50", "quad"}));
}

TEST(OffscreenFrames, ChangedBandsOfAFrame) {
  QImage before(40, 30, QImage::Format_ARGB32_Premultiplied);
  before.fill(0xFF202020);
  QImage after = before.copy();
  EXPECT_TRUE(engine::ChangedRects(before, after).empty());
  after.setPixel(5, 2, 0xFFFFFFFF);
  after.setPixel(9, 3, 0xFFFFFFFF);
  after.setPixel(39, 20, 0xFFFFFFFF);
  after.setPixel(0, 29, 0xFFFFFFFF);
  EXPECT_EQ(engine::ChangedRects(before, after),
            (std::vector<PaintRect>{{5, 2, 5, 2}, {39, 20, 1, 1}, {0, 29, 1, 1}}));
}

QKeyEvent Press(int key, Qt::KeyboardModifiers modifiers, quint32 symbol, quint32 native_state,
                const QString& text = QString()) {
  return QKeyEvent(QEvent::KeyPress, key, modifiers, 40, symbol, native_state, text);
}

uint32_t Flags(const QKeyEvent& event) { return engine::KeyEventFromQt(event, engine::KEYEVENT_RAWKEYDOWN).modifiers; }

TEST(OffscreenInput, KeyFlagsComeFromQtsOwnEvent) {
  constexpr quint32 kLock = 2, kMod2 = 16;
  // Keypad Enter against the main one; the keypad's arrows (Num Lock off)
  // against the separate block's.
  EXPECT_EQ(Flags(Press(Qt::Key_Enter, Qt::KeypadModifier, 0xff8d, kMod2, "\r")),
            engine::EVENTFLAG_IS_KEY_PAD | engine::EVENTFLAG_NUM_LOCK_ON);
  EXPECT_EQ(Flags(Press(Qt::Key_Return, Qt::NoModifier, 0xff0d, 0, "\r")), 0u);
  EXPECT_EQ(Flags(Press(Qt::Key_Left, Qt::KeypadModifier, 0xff96, 0)), engine::EVENTFLAG_IS_KEY_PAD);
  EXPECT_EQ(Flags(Press(Qt::Key_Left, Qt::NoModifier, 0xff51, 0)), 0u);
  // Which of a pair. A modifier key comes with the state before it, which
  // Qt's event turns into the state with it.
  EXPECT_EQ(Flags(Press(Qt::Key_Shift, Qt::NoModifier, 0xffe2, 0)),
            engine::EVENTFLAG_SHIFT_DOWN | engine::EVENTFLAG_IS_RIGHT);
  EXPECT_EQ(Flags(Press(Qt::Key_Control, Qt::NoModifier, 0xffe3, 0)),
            engine::EVENTFLAG_CONTROL_DOWN | engine::EVENTFLAG_IS_LEFT);
  EXPECT_EQ(Flags(Press(Qt::Key_Super_R, Qt::MetaModifier, 0xffec, 0)),
            engine::EVENTFLAG_COMMAND_DOWN | engine::EVENTFLAG_IS_RIGHT);
  // Lock keys from the desktop's modifier state.
  EXPECT_EQ(Flags(Press(Qt::Key_A, Qt::AltModifier, 'a', kLock | kMod2 | 8, "a")),
            engine::EVENTFLAG_CAPS_LOCK_ON | engine::EVENTFLAG_NUM_LOCK_ON | engine::EVENTFLAG_ALT_DOWN);
}

TEST(OffscreenInput, TheHiddenViewGetsTheKeyEventTheWindowGot) {
  const QKeyEvent sent[] = {
      Press(Qt::Key_A, Qt::NoModifier, 'a', 0, "a"),
      Press(Qt::Key_Less, Qt::ShiftModifier, '<', 1, "<"),            // shifted punctuation
      Press(Qt::Key_A, Qt::ControlModifier, 'a', 4, "\x01"),          // a control character
      Press(Qt::Key_F5, Qt::NoModifier, 0xffc2, 0),                    // types nothing
      Press(Qt::Key_7, Qt::KeypadModifier, 0xffb7, 16, "7"),           // the keypad, Num Lock on
      Press(0x424, Qt::NoModifier, 0x6c6, 2, QStringLiteral("\u0424")),  // Cyrillic, Caps Lock on
      Press(Qt::Key_Shift, Qt::ControlModifier, 0xffe1, 4),              // Shift with Control held
      QKeyEvent(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier, 50, 0xffe1, 1),
      QKeyEvent(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 38, 'a', 0, "a"),
  };
  for (const QKeyEvent& event : sent) {
    const engine::KeyEventType type =
        event.type() == QEvent::KeyPress ? engine::KEYEVENT_RAWKEYDOWN : engine::KEYEVENT_KEYUP;
    const QKeyEvent got = engine::QtKeyEventFrom(engine::KeyEventFromQt(event, type));
    SCOPED_TRACE(event.text().toStdString() + " key " + std::to_string(event.key()));
    EXPECT_EQ(got.type(), event.type());
    EXPECT_EQ(got.key(), event.key());
    EXPECT_EQ(got.modifiers(), event.modifiers());
    EXPECT_EQ(got.text(), event.text());
    EXPECT_EQ(got.nativeScanCode(), event.nativeScanCode());
    EXPECT_EQ(got.nativeVirtualKey(), event.nativeVirtualKey());
    EXPECT_EQ(got.nativeModifiers(), event.nativeModifiers());
  }
  EXPECT_EQ(engine::QtKeyFromWindowsKeyCode(0xFF), 0);
}

TEST(OffscreenInput, MouseFlagsCarryKeysAndButtons) {
  const uint32_t flags =
      engine::MouseEventFlagsFromQt(Qt::ShiftModifier | Qt::AltModifier, Qt::LeftButton | Qt::RightButton);
  EXPECT_EQ(flags, engine::EVENTFLAG_SHIFT_DOWN | engine::EVENTFLAG_ALT_DOWN | engine::EVENTFLAG_LEFT_MOUSE_BUTTON |
                       engine::EVENTFLAG_RIGHT_MOUSE_BUTTON);
  EXPECT_EQ(engine::QtButtonsFromEventFlags(flags), Qt::LeftButton | Qt::RightButton);
  EXPECT_EQ(engine::QtModifiersFromEventFlags(flags), Qt::ShiftModifier | Qt::AltModifier);
}

}  // namespace
