#include "settings/message_text.h"

#include <cstdio>

namespace orlo {
namespace {

constexpr std::size_t kShownBytes = 80;

bool isUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

void appendEscaped(std::string& out, char c) {
  switch (c) {
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 0x20 || byte == 0x7F) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    out += escape;
  } else {
    out += c;
  }
}

}  // namespace

std::string quotedForMessage(std::string_view text) {
  std::string_view shown = text;
  if (shown.size() > kShownBytes) {
    std::size_t cut = kShownBytes;
    while (cut > 0 && isUtf8Continuation(text[cut])) {
      --cut;
    }
    shown = text.substr(0, cut);
  }
  std::string out = "\"";
  for (const char c : shown) {
    appendEscaped(out, c);
  }
  out += '"';
  if (shown.size() < text.size()) {
    out.insert(out.size() - 1, "...");
    out += " (" + std::to_string(text.size()) + " bytes in all)";
  }
  return out;
}

}  // namespace orlo
