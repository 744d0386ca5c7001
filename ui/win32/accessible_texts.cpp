#include "ui/win32/accessible_texts.h"

#include <objbase.h>
#include <oleacc.h>

#include <iterator>

#include "core/windows_text.h"

namespace orlo {
namespace {

void setText(IAccPropServices* services, HWND control, const MSAAPROPID& property,
             const std::string& text) {
  if (services == nullptr || text.empty()) {
    return;
  }
  // The control keeps the system's own text for this property when the service refuses it.
  services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property,
                           windows::utf16FromUtf8Replacing(text).c_str());
}

}  // namespace

AccessibleTexts::AccessibleTexts() {
  // S_FALSE: COM already runs on this thread in the same way, and still counts this start.
  const HRESULT started = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  comStarted_ = SUCCEEDED(started);
  void* services = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IAccPropServices, &services))) {
    services_ = static_cast<IAccPropServices*>(services);
  }
}

AccessibleTexts::~AccessibleTexts() {
  if (services_ != nullptr) {
    services_->Release();
  }
  if (comStarted_) {
    ::CoUninitialize();
  }
}

void AccessibleTexts::annotate(HWND control, const std::string& name,
                               const std::string& description) {
  setText(services_, control, PROPID_ACC_NAME, name);
  setText(services_, control, PROPID_ACC_DESCRIPTION, description);
}

void AccessibleTexts::describe(HWND control, const std::string& description, bool announce) {
  setText(services_, control, PROPID_ACC_DESCRIPTION, description);
  if (announce) {
    ::NotifyWinEvent(EVENT_OBJECT_DESCRIPTIONCHANGE, control, OBJID_CLIENT, CHILDID_SELF);
  }
}

void AccessibleTexts::clear(HWND control) {
  if (services_ == nullptr) {
    return;
  }
  const MSAAPROPID properties[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION};
  services_->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, properties,
                            static_cast<int>(std::size(properties)));
}

}  // namespace orlo
