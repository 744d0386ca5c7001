// monitor.exe's resources as Windows reads them: the version block, the icon with the 32 x 32,
// 16-colour design and a large frame, and the manifest.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// The built monitor.exe, found from where this test program lies in the build tree.
std::wstring monitorPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1) + ORLO_MONITOR_FROM_TEST;
}

std::wstring versionString(const std::vector<BYTE>& block, const std::wstring& name) {
  const std::wstring query = L"\\StringFileInfo\\040904B0\\" + name;
  void* text = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), query.c_str(), &text, &length) || length == 0) {
    return L"<absent>";
  }
  return std::wstring(static_cast<const wchar_t*>(text), length - 1);
}

TEST(MonitorResources, VersionBlockFromTheProjectsIdentity) {
  const std::wstring path = monitorPath();
  DWORD unused = 0;
  std::vector<BYTE> block(::GetFileVersionInfoSizeW(path.c_str(), &unused));
  ASSERT_FALSE(block.empty()) << "no version block in monitor.exe";
  ASSERT_TRUE(
      ::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  EXPECT_EQ(versionString(block, L"CompanyName"), L"Orlo");
  EXPECT_EQ(versionString(block, L"FileVersion"), L"1.00");
  EXPECT_EQ(versionString(block, L"ProductVersion"), L"1.00");
  EXPECT_EQ(versionString(block, L"InternalName"), L"monitor");
  EXPECT_EQ(versionString(block, L"LegalCopyright"), L"Copyright (c) 2026 Orlo");
  EXPECT_EQ(versionString(block, L"OriginalFilename"), L"monitor.exe");
  EXPECT_EQ(versionString(block, L"ProductName"), L"Orlo - IP Monitor");
}

TEST(MonitorResources, IconHoldsTheSixteenColourDesignAndALargeFrameAndTheManifestIsThere) {
  const HMODULE module = ::LoadLibraryExW(
      monitorPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  const auto resource = [module](LPCWSTR type) -> std::string {
    const HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), type);
    if (found == nullptr) {
      return {};
    }
    const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(module, found)));
    return std::string(bytes, ::SizeofResource(module, found));
  };

  // The icon group: a 6-byte header, then 14 bytes per frame: width, height (0 for 256), colour
  // count, reserved, planes (2 bytes), bits per pixel (2 bytes), size (4 bytes), id (2 bytes).
  const std::string group = resource(RT_GROUP_ICON);
  ASSERT_GE(group.size(), 6u);
  const auto frames = static_cast<std::uint8_t>(group[4]);
  ASSERT_EQ(group.size(), 6u + 14u * frames);
  bool design = false;
  bool large = false;
  for (std::size_t frame = 0; frame < frames; ++frame) {
    const std::size_t at = 6 + 14 * frame;
    const auto width = static_cast<std::uint8_t>(group[at]);
    const auto bits = static_cast<std::uint8_t>(group[at + 6]);
    design = design || (width == 32 && bits == 4);
    large = large || width == 0;
  }
  EXPECT_TRUE(design) << "no 32 x 32 frame at 4 bits per pixel";
  EXPECT_TRUE(large) << "no 256 x 256 frame";

  const std::string manifest = resource(RT_MANIFEST);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("<dpiAware"), std::string::npos) << manifest;
  ::FreeLibrary(module);
}

}  // namespace
