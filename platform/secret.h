#ifndef PLATFORM_SECRET_H_
#define PLATFORM_SECRET_H_

#include <string.h>

#include <string>
#include <utility>

namespace platform {

// A password or other credential. It cannot be streamed, added to a string
// or turned into one: Reveal() is the one way to its text, for the few
// places that hand it on (the engine's sign-in, the keyring), so a log
// line, the support bundle or a child's environment cannot take it by
// accident. Its memory is wiped when it goes.
class Secret {
 public:
  Secret() = default;
  Secret(std::string text) : text_(std::move(text)) {}  // NOLINT: made from text freely, never back
  Secret(const char* text) : text_(text ? text : "") {}  // NOLINT
  Secret(const Secret&) = default;
  Secret(Secret&& other) noexcept : text_(std::move(other.text_)) { other.Wipe(); }
  Secret& operator=(const Secret& other) {
    if (this != &other) {
      Wipe();
      text_ = other.text_;
    }
    return *this;
  }
  Secret& operator=(Secret&& other) noexcept {
    if (this != &other) {
      Wipe();
      text_ = std::move(other.text_);
      other.Wipe();
    }
    return *this;
  }
  ~Secret() { Wipe(); }

  const std::string& Reveal() const { return text_; }
  bool empty() const { return text_.empty(); }
  bool operator==(const Secret& other) const { return text_ == other.text_; }
  bool operator!=(const Secret& other) const { return !(*this == other); }

 private:
  void Wipe() {
    explicit_bzero(text_.data(), text_.size());
    text_.clear();
  }
  std::string text_;
};

}  // namespace platform

#endif  // PLATFORM_SECRET_H_
