#include "ui/form1_controls.h"

#include <stdexcept>

#include "core/monitor_view.h"
#include "program_identity.h"
#include "ui/probe_report_text.h"

namespace orlo {

std::vector<ControlSpec> form1Controls() {
  const std::string about = std::string("About ") + identity::kProductName;
  std::vector<ControlSpec> controls;
  controls.push_back({Control::Command1, -1, ControlKind::PushButton, "Command1", ">>",
                      layout::kCommand1, "", "Show or hide the addresses and options"});
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const std::string number = std::to_string(slot + 1);
    controls.push_back({Control::Text1, slot, ControlKind::TextBox, slotControlName("Text1", slot),
                        "", layout::text1(slot), "Host " + number + " address", ""});
    controls.push_back({Control::Check1, slot, ControlKind::CheckBoxCaptionLeft,
                        slotControlName("Check1", slot), number + ".", layout::check1(slot), "",
                        ""});
  }
  controls.push_back({Control::Command2, -1, ControlKind::PushButton, "Command2", "?",
                      layout::kCommand2, "", about});
  controls.push_back({Control::Label1, -1, ControlKind::Label, "Label1", "Refresh every",
                      layout::kLabel1, "", ""});
  controls.push_back({Control::Tijd, -1, ControlKind::TextBox, "tijd", "", layout::kTijd,
                      "Refresh interval in minutes", ""});
  controls.push_back(
      {Control::Label2, -1, ControlKind::Label, "Label2", "minutes", layout::kLabel2, "", ""});
  controls.push_back({Control::Check2, -1, ControlKind::CheckBoxCaptionRight, "Check2",
                      "Window always on top.", layout::kCheck2, "", ""});
  for (int slot = 0; slot < kSlotCount; ++slot) {
    controls.push_back({Control::Shape1, slot, ControlKind::Lamp, slotControlName("Shape1", slot),
                        "", layout::shape1(slot), "Host " + std::to_string(slot + 1),
                        notCheckedYetText()});
  }
  return controls;
}

std::size_t controlIndex(Control control, int slot) {
  const auto slotIndex = static_cast<std::size_t>(slot);
  switch (control) {
    case Control::Command1:
      return 0;
    case Control::Text1:
      return 1 + 2 * slotIndex;
    case Control::Check1:
      return 2 + 2 * slotIndex;
    case Control::Command2:
      return 1 + 2 * kSlotCount;
    case Control::Label1:
      return 2 + 2 * kSlotCount;
    case Control::Tijd:
      return 3 + 2 * kSlotCount;
    case Control::Label2:
      return 4 + 2 * kSlotCount;
    case Control::Check2:
      return 5 + 2 * kSlotCount;
    case Control::Shape1:
      return 6 + 2 * kSlotCount + slotIndex;
  }
  throw std::logic_error("unknown control");
}

std::string slotControlName(const std::string& array, int slot) {
  return array + "_" + std::to_string(slot);
}

}  // namespace orlo
