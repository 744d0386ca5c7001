#include "settings/message_text.h"

#include <cstdio>

namespace orlo {
namespace {

constexpr std::size_t kShownBytes = 80;

bool isUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

void appendHexEscape(std::string& out, unsigned char byte) {
  char escape[5];
  std::snprintf(escape, sizeof escape, "\\x%02X", byte);
  out += escape;
}

// The length of the valid UTF-8 sequence that starts at text[at], or 0 when none does: a stray
// or cut-off byte, an overlong form, a surrogate or a code point past U+10FFFF.
std::size_t utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) {
    return 1;
  }
  const std::size_t length = lead < 0xC2   ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 0;
  if (length == 0 || at + length > text.size()) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (!isUtf8Continuation(text[at + i])) {
      return 0;
    }
  }
  // The second byte tells the rest of the forms that are not allowed.
  const auto second = static_cast<unsigned char>(text[at + 1]);
  const bool allowed = (lead != 0xE0 || second >= 0xA0) && (lead != 0xED || second < 0xA0) &&
                       (lead != 0xF0 || second >= 0x90) && (lead != 0xF4 || second < 0x90);
  return allowed ? length : 0;
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
    appendHexEscape(out, byte);
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

std::string escapedForMessage(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
      appendHexEscape(out, static_cast<unsigned char>(text[at]));
      ++at;
    } else if (length == 1) {
      appendEscaped(out, text[at]);
      ++at;
    } else {
      out += text.substr(at, length);
      at += length;
    }
  }
  return out;
}

}  // namespace orlo
