#ifndef TELEPHONY_SIP_DIALOG_INFO_H_
#define TELEPHONY_SIP_DIALOG_INFO_H_

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace telephony {

// Limits a dialog-info document from the phone system is held to: past
// them the whole document is refused.
inline constexpr size_t kMostDialogInfoBytes = 1024 * 1024;
inline constexpr int kMostDialogInfoDepth = 16;
inline constexpr size_t kMostDialogsInDocument = 2000;
inline constexpr size_t kMostCallerNumberDigits = 32;

// A call ringing at the watched extension: the dialog's id and the
// caller's number as the page gets it.
struct RingingDialog {
  std::string id;
  std::string number;
};

struct DialogInfoReading {
  std::vector<RingingDialog> ringing;
  // Dialogs not taken as calls, and why, for the log (no raw bytes).
  std::vector<std::string> notes;
};

// The incoming calls not yet answered in an application/dialog-info+xml
// body (RFC 4235): dialogs whose direction is "recipient" and whose state
// is trying, proceeding or early. Nothing, with |problem|, for a body that
// is too big, too deep, not well-formed, carries a document type or
// entities, or is no dialog-info document.
std::optional<DialogInfoReading> ReadDialogInfo(const std::string& body, std::string& problem);

// The number in a caller's identity: the user part of a sip:/sips: URI or
// a tel: URI, without visual separators and with a leading "+86" dropped.
// Nothing unless what is left is 1 to 32 digits, after an optional "+".
std::optional<std::string> CallerNumberFromIdentity(const std::string& uri);

}  // namespace telephony

#endif  // TELEPHONY_SIP_DIALOG_INFO_H_
