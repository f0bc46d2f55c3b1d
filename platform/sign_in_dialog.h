#ifndef PLATFORM_SIGN_IN_DIALOG_H_
#define PLATFORM_SIGN_IN_DIALOG_H_

#include <functional>
#include <optional>
#include <string>

#include "platform/secret.h"

namespace platform {

// What a server or proxy asks the user for.
struct SignInRequest {
  std::string place;  // the same place shares one dialog
  bool proxy = false;
  std::string host;
  std::string realm;  // the server's words: shown as plain text
  bool refused = false;  // the last credentials given were refused
};

struct SignInAnswer {
  std::string user;
  Secret password;
  bool remember = false;
};

// Asks in a modal dialog; nothing when the user cancels or the program is
// ending. Any thread may ask. Askers for a place whose dialog is open get
// that dialog's answer instead of a second dialog.
std::optional<SignInAnswer> AskForSignIn(const SignInRequest& request);

// Tests answer the dialog themselves; an empty answerer restores it.
using SignInAnswerer = std::function<std::optional<SignInAnswer>(const SignInRequest&)>;
void SetSignInAnswererForTesting(SignInAnswerer answerer);

}  // namespace platform

#endif  // PLATFORM_SIGN_IN_DIALOG_H_
