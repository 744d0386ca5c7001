#include "ui/form1.h"

#include <cstdio>
#include <utility>

#include "core/check_sweep.h"
#include "ui/probe_report_text.h"

namespace orlo {
namespace {

constexpr int kSingle = -1;

}  // namespace

std::tm currentLocalTime() {
  const std::time_t now = std::time(nullptr);
  // The program has one thread, so the shared result of localtime is safe to copy.
  return *std::localtime(&now);
}

void writeToStandardError(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
}

Form1::Form1(Form1Skin& skin, const MonitorParts& parts)
    : skin_(skin),
      programPath_(parts.programPath),
      localNow_(parts.localNow),
      handlers_(*this, skin, skin, parts.settings, parts.echo, parts.loginStart, parts.writeError) {
}

std::string Form1::boxText(Control box, int slot, const SetText& set) const {
  std::string current = skin_.text(box, slot);
  return current == set.shown ? set.given : current;
}

void Form1::setBoxText(Control box, int slot, SetText& set, const std::string& text) {
  skin_.setText(box, slot, text);
  set.given = text;
  set.shown = skin_.text(box, slot);
}

std::string Form1::addressText(int slot) const {
  checkSlotIndex(slot);
  return boxText(Control::Text1, slot, text1_[slot]);
}

void Form1::setAddressText(int slot, const std::string& text) {
  checkSlotIndex(slot);
  setBoxText(Control::Text1, slot, text1_[slot], text);
}

std::int16_t Form1::enableValue(int slot) const {
  checkSlotIndex(slot);
  return skin_.boxValue(Control::Check1, slot);
}

void Form1::setEnableValue(int slot, std::int16_t value) {
  checkSlotIndex(slot);
  checkBoxValue(value);
  skin_.setBoxValue(Control::Check1, slot, value);
}

LampColor Form1::lampColor(int slot) const {
  checkSlotIndex(slot);
  return skin_.lampColor(slot);
}

void Form1::setLampColor(int slot, LampColor color) {
  checkSlotIndex(slot);
  skin_.setLampColor(slot, color);
}

std::string Form1::intervalText() const {
  return boxText(Control::Tijd, kSingle, tijd_);
}

void Form1::setIntervalText(const std::string& text) {
  setBoxText(Control::Tijd, kSingle, tijd_, text);
}

std::int16_t Form1::onTopValue() const {
  return skin_.boxValue(Control::Check2, kSingle);
}

void Form1::setOnTopValue(std::int16_t value) {
  checkBoxValue(value);
  if (value == onTopValue()) {
    return;
  }
  skin_.setBoxValue(Control::Check2, kSingle, value);
  handlers_.check2Changed();
}

void Form1::setProbeReport(int slot, const ProbeReport& report) {
  checkSlotIndex(slot);
  LampHistory& lamp = lamps_[slot];
  const std::tm now = localNow_();
  const LampColor color = lampColorOf(report.outcome);
  std::string outcome = probeReportText(report, programPath_);
  // The sweep paints the lamp right after this report.
  if (color != lamp.color || lamp.outcome.empty()) {
    lamp.color = color;
    lamp.since = now;
  }
  const std::string text = lampReportText(report, programPath_, lamp.since, now);
  // Every sweep reports every slot; only a new outcome is news to a screen reader, not a new
  // round trip time.
  const bool news = outcome != lamp.outcome;
  if (news || text != skin_.lampReport(slot)) {
    skin_.setLampReport(slot, text, news);
  }
  lamp.outcome = std::move(outcome);
}

void Form1::clicked(Control control, int slot) {
  switch (control) {
    case Control::Command1:
      handlers_.command1Click();
      break;
    case Control::Command2:
      handlers_.command2Click();
      break;
    case Control::Check1:
    case Control::Check2:
      skin_.setBoxValue(control, slot, boxValueAfterClick(skin_.boxValue(control, slot)));
      if (control == Control::Check2) {
        handlers_.check2Changed();
      }
      break;
    case Control::Text1:
    case Control::Label1:
    case Control::Tijd:
    case Control::Label2:
    case Control::Shape1:
      break;
  }
}

}  // namespace orlo
