#ifndef ENV_UTF_H_
#define ENV_UTF_H_

#include <string>

namespace env {

// UTF-8 to UTF-16; bytes that are not UTF-8 become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& utf16);

}  // namespace env

#endif  // ENV_UTF_H_
