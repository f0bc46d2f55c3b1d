#include "telephony/sip_dialog_info.h"

#include <QByteArray>
#include <QXmlStreamReader>
#include <algorithm>
#include <cctype>

#include "env/logs.h"

namespace telephony {

namespace {

// An identity or state longer than this is no phone system's.
constexpr size_t kMostTextBytes = 1024;

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  const size_t length = std::char_traits<char>::length(prefix);
  if (text.size() < length) return false;
  for (size_t i = 0; i < length; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

struct DialogBeingRead {
  std::string id, direction, state, identity, target;
  bool too_long = false;
};

// Where the reader is inside a <dialog>: the element whose text is kept.
enum class Text { kNone, kState, kRemoteIdentity };

void Judge(const DialogBeingRead& dialog, DialogInfoReading& reading) {
  if (dialog.direction != "recipient") return;
  if (dialog.state != "trying" && dialog.state != "proceeding" && dialog.state != "early") return;
  const std::string shown = "dialog " + env::PrintableForLog(dialog.id.substr(0, 64));
  if (dialog.id.empty()) {
    reading.notes.push_back("a ringing dialog without an id: not taken");
    return;
  }
  if (dialog.too_long) {
    reading.notes.push_back(shown + ": an identity too long: not taken");
    return;
  }
  const std::string& identity = dialog.identity.empty() ? dialog.target : dialog.identity;
  const std::optional<std::string> number = CallerNumberFromIdentity(identity);
  if (!number) {
    reading.notes.push_back(shown + ": the caller's identity is no phone number: not taken");
    return;
  }
  reading.ringing.push_back({dialog.id, *number});
}

}  // namespace

std::optional<std::string> CallerNumberFromIdentity(const std::string& uri) {
  std::string rest;
  if (StartsWithNoCase(uri, "sip:") || StartsWithNoCase(uri, "sips:")) {
    rest = uri.substr(uri.find(':') + 1);
    const size_t at = rest.find('@');
    if (at == std::string::npos) return std::nullopt;
    rest.resize(at);
  } else if (StartsWithNoCase(uri, "tel:")) {
    rest = uri.substr(4);
  } else {
    return std::nullopt;
  }
  rest = rest.substr(0, rest.find(';'));  // user parameters (phone-context, isub)
  std::string number;
  for (size_t i = 0; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '-' || c == '.' || c == '(' || c == ')') continue;
    if (c == '+' && number.empty() && i == rest.find_first_not_of("-.()")) {
      number += c;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    number += c;
  }
  const size_t digits = number.size() - (number.rfind('+', 0) == 0 ? 1 : 0);
  if (digits == 0 || digits > kMostCallerNumberDigits) return std::nullopt;
  if (number.rfind("+86", 0) == 0 && number.size() > 3) number.erase(0, 3);
  return number;
}

std::optional<DialogInfoReading> ReadDialogInfo(const std::string& body, std::string& problem) {
  if (body.size() > kMostDialogInfoBytes) {
    problem = "a body of " + std::to_string(body.size()) + " bytes";
    return std::nullopt;
  }
  QXmlStreamReader xml(QByteArray::fromRawData(body.data(), static_cast<int>(body.size())));
  DialogInfoReading reading;
  DialogBeingRead dialog;
  size_t dialogs = 0;
  int depth = 0;
  bool in_dialog = false, in_remote = false;
  Text text = Text::kNone;
  while (!xml.atEnd()) {
    switch (xml.readNext()) {
      case QXmlStreamReader::DTD:
      case QXmlStreamReader::EntityReference:
        problem = "a document type or an entity";
        return std::nullopt;
      case QXmlStreamReader::StartElement: {
        if (++depth > kMostDialogInfoDepth) {
          problem = "elements nested deeper than " + std::to_string(kMostDialogInfoDepth);
          return std::nullopt;
        }
        const QStringView name = xml.name();
        if (depth == 1 && name != u"dialog-info") {
          problem = "no dialog-info document";
          return std::nullopt;
        }
        if (depth == 2 && name == u"dialog") {
          if (++dialogs > kMostDialogsInDocument) {
            problem = "more than " + std::to_string(kMostDialogsInDocument) + " dialogs";
            return std::nullopt;
          }
          in_dialog = true;
          dialog = DialogBeingRead();
          const QXmlStreamAttributes attributes = xml.attributes();
          dialog.id = attributes.value(QLatin1String("id")).left(kMostTextBytes).toString().toStdString();
          dialog.direction = attributes.value(QLatin1String("direction")).left(kMostTextBytes).toString().toStdString();
        } else if (in_dialog && depth == 3 && name == u"state") {
          text = Text::kState;
        } else if (in_dialog && depth == 3 && name == u"remote") {
          in_remote = true;
        } else if (in_remote && depth == 4 && name == u"identity") {
          text = Text::kRemoteIdentity;
        } else if (in_remote && depth == 4 && name == u"target") {
          dialog.target = xml.attributes().value(QLatin1String("uri")).left(kMostTextBytes).toString().toStdString();
        }
        break;
      }
      case QXmlStreamReader::Characters: {
        std::string* into = text == Text::kState ? &dialog.state : text == Text::kRemoteIdentity ? &dialog.identity : nullptr;
        if (!into) break;
        *into += xml.text().toString().toStdString();
        if (into->size() > kMostTextBytes) {
          into->clear();
          dialog.too_long = true;
        }
        break;
      }
      case QXmlStreamReader::EndElement:
        if (depth == 2 && in_dialog) {
          auto trim = [](std::string& s) {
            s.erase(0, s.find_first_not_of(" \t\r\n"));
            s.erase(s.find_last_not_of(" \t\r\n") + 1);
          };
          trim(dialog.state);
          trim(dialog.identity);
          Judge(dialog, reading);
          in_dialog = false;
        }
        if (depth == 3) in_remote = false;
        text = Text::kNone;
        --depth;
        break;
      default:
        break;
    }
  }
  if (xml.hasError()) {
    // Qt's own words are in the user's language: the place is enough.
    problem = "not well-formed at line " + std::to_string(xml.lineNumber()) + ", column " +
              std::to_string(xml.columnNumber());
    return std::nullopt;
  }
  return reading;
}

}  // namespace telephony
