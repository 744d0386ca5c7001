#include "ui/window_texts.h"

#include <algorithm>

#include "program_identity.h"

namespace orlo {

std::string MessageBoxContent::text(std::string_view lineBreak) const {
  std::string joined;
  for (std::size_t index = 0; index < lines.size(); ++index) {
    if (index > 0) {
      joined += lineBreak;
    }
    joined += lines[index];
  }
  return joined;
}

std::string MessageBoxContent::oneLine() const {
  std::string joined;
  for (const std::string& line : lines) {
    if (!line.empty()) {
      joined += (joined.empty() ? "" : " ") + line;
    }
  }
  std::replace(joined.begin(), joined.end(), '\n', ' ');
  return joined;
}

std::string windowCaption() {
  return identity::kProductName;
}

MessageBoxContent aboutBox() {
  return {"Orlo - Monitor",
          {
              std::string(identity::kProductName) + " v" + identity::kVersion,
              "",
              "Written by the Orlo developers, who keep an eye",
              "on ten hosts so that you do not have to.",
              "",
              "Visit our web site for news and updates:",
              "https://www.example.com/orlo",
          },
          MessageIcon::None};
}

MessageBoxContent failureReport(const std::string& what, const std::string& reason) {
  return {identity::kProductName,
          {std::string(identity::kProductName) + " " + what + " and ends now.", "", reason},
          MessageIcon::Failure};
}

MessageBoxContent loginStartFailureReport(const std::string& reason) {
  return {
      identity::kProductName,
      {std::string(identity::kProductName) + " could not change whether it starts when you log in.",
       "", reason},
      MessageIcon::Failure};
}

MessageBoxContent startFailureReport(const std::string& reason) {
  return {identity::kProductName,
          {std::string(identity::kProductName) + " could not start.", "", reason},
          MessageIcon::Failure};
}

std::string noOnTopToolTip() {
  return "This desktop does not let a program keep its window above the others. "
         "The setting is still saved for desktops that do.";
}

}  // namespace orlo
