#include "ui/status_texts.h"

#include <vector>

#include "program_identity.h"

namespace orlo {
namespace {

constexpr std::string_view kEllipsis = "\u2026";
// An address is set apart from the text around it for bidirectional text (a first strong
// isolate and its pop), so that an address in a right-to-left script leaves the rest in order.
constexpr std::string_view kIsolate = "\u2068";
constexpr std::string_view kPopIsolate = "\u2069";

bool isContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
  return byte >= low && byte <= high;
}

// The length in bytes of the character at text[at]: a whole UTF-8 sequence, or one byte that does
// not start one (a stray byte, a cut-off sequence, an overlong form or an encoded surrogate).
std::size_t characterLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t offset) {
    return at + offset < text.size() ? static_cast<unsigned char>(text[at + offset]) : 0;
  };
  const unsigned char lead = byte(0);
  // The second byte's range, which rules out overlong forms, surrogates and what lies past
  // U+10FFFF.
  if (lead >= 0xC2 && lead <= 0xDF) {
    return isContinuation(byte(1)) ? 2 : 1;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
    return isContinuation(byte(1), low, high) && isContinuation(byte(2)) ? 3 : 1;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
    return isContinuation(byte(1), low, high) && isContinuation(byte(2)) && isContinuation(byte(3))
               ? 4
               : 1;
  }
  return 1;
}

// A character beyond U+FFFF takes a surrogate pair.
std::size_t unitsOf(std::size_t characterBytes) {
  return characterBytes == 4 ? 2 : 1;
}

std::string hostNumber(int slot) {
  return " (host " + std::to_string(slot + 1) + ")";
}

// One host in a text that lists hosts: its address, set apart, and what follows it.
struct ListedHost {
  std::string address;
  std::string after;

  std::string text() const {
    return std::string(kIsolate) + address + std::string(kPopIsolate) + after;
  }
};

// The prefix and the hosts, joined by separator, within limit. Where they do not all fit, as many
// whole hosts as fit and then "… and N more", after moreJoiner; where not even the first fits,
// the first with its address cut.
std::string hostList(const std::string& prefix, const std::vector<ListedHost>& hosts,
                     std::string_view separator, std::string_view moreJoiner, std::size_t limit) {
  const auto more = [&](std::size_t left) {
    return left == 0 ? std::string()
                     : std::string(moreJoiner) + std::string(kEllipsis) + " and " +
                           std::to_string(left) + " more";
  };
  std::string text = prefix;
  for (std::size_t index = 0; index < hosts.size(); ++index) {
    const std::string joined = text + (index == 0 ? "" : std::string(separator));
    const std::string tail = more(hosts.size() - index - 1);
    const std::string whole = joined + hosts[index].text();
    if (utf16Length(whole) + utf16Length(tail) <= limit) {
      text = whole;
      continue;
    }
    if (index > 0) {
      return text + more(hosts.size() - index);
    }
    ListedHost cut = hosts[index];
    const std::size_t around = utf16Length(joined) + utf16Length(tail) + utf16Length(cut.text()) -
                               utf16Length(cut.address);
    cut.address = cutToFit(cut.address, limit > around ? limit - around : 0);
    std::string first = joined;
    first += cut.text();
    first += tail;
    // Should even the prefix not fit, the whole text is cut as any other.
    return cutToFit(first, limit);
  }
  return cutToFit(text, limit);
}

}  // namespace

std::size_t utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = characterLength(text, at);
    units += unitsOf(length);
    at += length;
  }
  return units;
}

std::string cutToFit(std::string_view text, std::size_t limit) {
  if (utf16Length(text) <= limit) {
    return std::string(text);
  }
  const std::size_t room = limit > 0 ? limit - 1 : 0;  // "…" takes one unit
  std::size_t units = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t length = characterLength(text, at);
    if (units + unitsOf(length) > room) {
      break;
    }
    units += unitsOf(length);
    at += length;
  }
  return limit > 0 ? std::string(text.substr(0, at)) + std::string(kEllipsis) : std::string();
}

std::string markupEscaped(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char character : text) {
    switch (character) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      default:
        escaped += character;
    }
  }
  return escaped;
}

StatusIcon statusOf(const SweepRecord& sweep, std::size_t limit) {
  int watched = 0;
  std::vector<ListedHost> silent;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!sweep[slot] || !sweep[slot]->watched) {
      continue;
    }
    ++watched;
    if (!sweep[slot]->answered) {
      silent.push_back({sweep[slot]->address, hostNumber(slot)});
    }
  }
  const std::string title = std::string(identity::kProductName) + ": ";
  if (watched == 0) {
    return {StatusState::NothingWatched, cutToFit(title + "no host is watched", limit)};
  }
  const int answering = watched - static_cast<int>(silent.size());
  const std::string text = title + std::to_string(answering) + " of " + std::to_string(watched) +
                           (watched == 1 ? " watched host answers" : " watched hosts answer");
  if (silent.empty()) {
    return {StatusState::AllAnswer, cutToFit(text, limit)};
  }
  return {StatusState::SomeSilent, hostList(text + "; no reply: ", silent, ", ", " ", limit)};
}

std::optional<std::string> changesBetween(const SweepRecord& before, const SweepRecord& after,
                                          std::size_t limit) {
  std::vector<ListedHost> changed;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::optional<SlotSweep>& was = before[slot];
    const std::optional<SlotSweep>& is = after[slot];
    // A slot whose address or box the user changed between the sweeps is another watch.
    if (!was || !is || !was->watched || !is->watched || was->address != is->address ||
        was->answered == is->answered) {
      continue;
    }
    changed.push_back({is->address, hostNumber(slot) + (is->answered ? " answers again."
                                                                     : " stopped answering.")});
  }
  if (changed.empty()) {
    return std::nullopt;
  }
  return hostList("", changed, "\n", "\n", limit);
}

}  // namespace orlo
