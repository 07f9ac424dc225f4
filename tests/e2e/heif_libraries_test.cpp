// The HEIF libraries as a user meets them: vistrel.exe starts without loading libheif.dll or
// libde265.dll, loads them from its own folder at the first HEIF picture and shows it; a copy of
// vistrel.exe alone starts all the same, fails the HEIF picture quietly and still shows others.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <string>

#include "viewer_fixture.h"

namespace e2e {
namespace {

// Whether the process has a module of this file name loaded; false too when it cannot be asked.
bool Loaded(DWORD processId, const wchar_t* name) {
  KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  HMODULE modules[512] = {};
  DWORD needed = 0;
  if (!process || !EnumProcessModules(process.Get(), modules, sizeof modules, &needed)) return false;
  for (DWORD i = 0; i < std::min<DWORD>(needed / sizeof(HMODULE), 512); ++i) {
    wchar_t base[MAX_PATH] = {};
    if (GetModuleBaseNameW(process.Get(), modules[i], base, MAX_PATH) != 0 && _wcsicmp(base, name) == 0) return true;
  }
  return false;
}

class HeifLibraries : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    heic_ = BinaryDir() + L"\\..\\heif-pictures\\deep.heic";
    if (GetFileAttributesW(heic_.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "no HEIF pictures beside the build (heif-enc or ImageMagick missing when it ran)";
    }
  }
  // A folder with vistrel.exe, the libraries when asked for, a.bmp to d.bmp (blue) and e.heic
  // (red): from b.bmp the pictures prepared ahead (a, c) are no HEIF.
  std::wstring Folder(const wchar_t* name, bool libraries) {
    const std::wstring folder = scratch_ + L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_FALSE(CopyViewerInto(folder).empty());
    if (libraries) {
      for (const wchar_t* dll : {L"libheif.dll", L"libde265.dll"}) {
        EXPECT_TRUE(CopyFileW((BinaryDir() + L"\\" + dll).c_str(), (folder + L"\\" + dll).c_str(), FALSE))
            << "expected " << Narrow(dll) << " built beside vistrel.exe";
      }
    }
    for (const wchar_t* bmp : {L"a.bmp", L"b.bmp", L"c.bmp", L"d.bmp"}) {
      EXPECT_TRUE(WriteSolidBmp(folder + L"\\" + bmp, 60, 40, kBlue));
    }
    EXPECT_TRUE(CopyFileW(heic_.c_str(), (folder + L"\\e.heic").c_str(), FALSE));
    return folder;
  }
  void ExpectCentre(const Rgb& colour, const char* what) {
    const RECT client = viewer_.ClientScreenEdges();
    Rgb seen;
    EXPECT_TRUE(viewer_.WaitForClientPixel((client.right - client.left) / 2, (client.bottom - client.top) / 2, colour,
                                           3, kStateTimeoutMs, &seen))
        << what << ": expected " << ToString(colour) << " in the middle, got " << ToString(seen);
  }
  const Rgb kBlue{0, 0, 255};
  const Rgb kRed{200, 40, 40};
  std::wstring heic_;
};

TEST_F(HeifLibraries, LoadedAtTheFirstHeifPictureAndMissingOnesFailQuietly) {
  const std::wstring with = Folder(L"with-libraries", true);
  ASSERT_NO_FATAL_FAILURE(StartViewer(with + L"\\vistrel.exe", Quote(with + L"\\b.bmp")));
  ExpectCentre(kBlue, "the BMP at start");
  EXPECT_TRUE(viewer_.WaitForStillPicture(kStateTimeoutMs));
  Sleep(500);  // the neighbours prepared ahead
  const DWORD id = viewer_.ProcessId();
  ASSERT_TRUE(Loaded(id, L"vistrel.exe")) << "expected to read the viewer's modules";
  EXPECT_FALSE(Loaded(id, L"libheif.dll")) << "expected no libheif.dll before a HEIF picture";
  EXPECT_FALSE(Loaded(id, L"libde265.dll")) << "expected no libde265.dll before a HEIF picture";
  for (int step = 0; step < 3; ++step) viewer_.PostKey(VK_RIGHT);
  std::wstring caption;
  EXPECT_TRUE(viewer_.WaitForCaption(L"Vistrel - e.heic", kStateTimeoutMs, &caption)) << Narrow(caption);
  ExpectCentre(kRed, "the HEIF picture with the libraries beside the viewer");
  EXPECT_TRUE(Loaded(id, L"libheif.dll")) << "expected libheif.dll loaded for the HEIF picture";
  EXPECT_TRUE(Loaded(id, L"libde265.dll")) << "expected libde265.dll loaded for the HEIF picture";
  ASSERT_NO_FATAL_FAILURE(CloseViewerAndWait());

  // No libraries: the viewer starts, shows the bare background for the HEIF picture, no message,
  // and the next picture as always.
  const std::wstring without = Folder(L"without-libraries", false);
  ASSERT_NO_FATAL_FAILURE(StartViewer(without + L"\\vistrel.exe", Quote(without + L"\\e.heic")));
  EXPECT_TRUE(viewer_.WaitForCaption(L"Vistrel - e.heic", kStateTimeoutMs, &caption))
      << "expected the HEIF file listed and current, got the title " << Narrow(caption);
  WaitForBareBackground(kLightGrey);
  // Still bare once the decode had all the time it needs.
  EXPECT_TRUE(viewer_.WaitForStillPicture(kStateTimeoutMs));
  ExpectCentre(kLightGrey, "the HEIF picture without the libraries");
  EXPECT_FALSE(viewer_.HasOtherWindow()) << "expected no message for the missing libraries";
  viewer_.PostKey(VK_RIGHT);
  ExpectCentre(kBlue, "the BMP after the HEIF picture that could not be decoded");
  EXPECT_FALSE(Loaded(viewer_.ProcessId(), L"libheif.dll"));
  ASSERT_NO_FATAL_FAILURE(CloseViewerAndWait());
}

}  // namespace
}  // namespace e2e
