// What screen readers are told through Active Accessibility: the names and descriptions of the
// shared control list on the real controls, and a lamp's description following its outcome. It
// reads them as a screen reader does, so it needs the system's annotation service, which Wine
// does not implement: there it is skipped, with the reason. Its own program, so that the skip
// leaves the window's other tests counted.

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <oleacc.h>

#include <string>

#include "tests/support/memory_settings_store.h"
#include "tests/support/scripted_echo.h"
#include "ui/form1_controls.h"
#include "ui/win32/form1.h"
#include "ui/win32/screen_text.h"

namespace orlo {
namespace {

// Whether the system keeps an annotation: Wine answers E_NOTIMPL.
HRESULT annotationSupport() {
  IAccPropServices* services = nullptr;
  HRESULT result = ::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IAccPropServices, reinterpret_cast<void**>(&services));
  if (FAILED(result)) {
    return result;
  }
  const HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                       nullptr, nullptr);
  result = services->SetHwndPropStr(probe, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                    PROPID_ACC_NAME, L"probe");
  ::DestroyWindow(probe);
  services->Release();
  return result;
}

std::wstring accessibleText(HWND control,
                            HRESULT (STDMETHODCALLTYPE IAccessible::*read)(VARIANT, BSTR*)) {
  IAccessible* accessible = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                          IID_IAccessible,
                                          reinterpret_cast<void**>(&accessible)))) {
    return L"<no accessible object>";
  }
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR text = nullptr;
  (accessible->*read)(self, &text);
  std::wstring result = text != nullptr ? text : L"";
  ::SysFreeString(text);
  accessible->Release();
  return result;
}

TEST(Win32AccessibleTexts, ControlsCarryTheSharedNamesAndLampsTheirOutcome) {
  testing_support::MemorySettingsStore store;
  testing_support::ScriptedEcho echo;
  Form1 form({store, echo, [](HWND, const std::wstring&, const std::wstring&, UINT) {}});
  if (const HRESULT support = annotationSupport(); FAILED(support)) {
    GTEST_SKIP() << "the system's IAccPropServices does not annotate controls (HRESULT 0x"
                 << std::hex << static_cast<unsigned long>(support) << ")";
  }
  for (const ControlSpec& spec : form1Controls()) {
    SCOPED_TRACE(spec.name);
    const HWND control = form.control(spec.name);
    if (!spec.accessibleName.empty()) {
      EXPECT_EQ(accessibleText(control, &IAccessible::get_accName),
                screenText(spec.accessibleName));
    }
    if (!spec.accessibleDescription.empty()) {
      EXPECT_EQ(accessibleText(control, &IAccessible::get_accDescription),
                screenText(spec.accessibleDescription));
    }
  }
  form.setProbeReport(2, {ProbeOutcome::Answered, 0});
  EXPECT_EQ(accessibleText(form.control("Shape1_2"), &IAccessible::get_accDescription), L"reply");
}

}  // namespace
}  // namespace orlo
