// The decode reads each picture file once and chooses its decoder by the bytes: another program
// may rename, write or delete a file at any moment while the viewer decodes it, has it prepared
// ahead, or failed to decode it; and a PNG, BMP, GIF, TIFF or JPEG 2000 file named .jpg shows.
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/picture_test_folder.h"
#include "resource.h"
#include "support/image_encoders.h"
#include "support/test_gif.h"
#include "support/test_jpeg2000.h"

namespace e2e {
namespace {

// A pattern that does not compress to nothing, so the large files take a while to decode.
uint32_t Busy(int32_t x, int32_t y) {
  const uint32_t v = static_cast<uint32_t>(x * 7 + y * 13) ^ static_cast<uint32_t>(x * y);
  return 0xFF000000u | ((v & 0xFF) << 16) | (((v >> 3) & 0xFF) << 8) | ((v >> 6) & 0xFF);
}

uint32_t Argb(const Rgb& c) {
  return 0xFF000000u | (static_cast<uint32_t>(c.r) << 16) | (static_cast<uint32_t>(c.g) << 8) |
         static_cast<uint32_t>(c.b);
}

bool WriteJpeg2000(const std::wstring& path, int32_t width, int32_t height,
                   const std::function<uint32_t(int32_t, int32_t)>& pixel) {
  Jpeg2000Options options;
  options.width = width;
  options.height = height;
  const std::vector<uint8_t> bytes = EncodeJpeg2000(options, [&](int32_t x, int32_t y, int32_t c) {
    return (pixel(x, y) >> (16 - 8 * c)) & 0xFF;
  });
  return !bytes.empty() && WriteFileBytes(path, bytes);
}

// 128 greys, or one colour, as GIF palette indices.
bool WriteGif(const std::wstring& path, int32_t width, int32_t height, const std::vector<uint32_t>& palette,
              const std::function<uint8_t(int32_t, int32_t)>& index) {
  return WriteFileBytes(path, EncodeGif(width, height, palette, index));
}

std::vector<uint32_t> Greys() {
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < 128; ++i) palette.push_back((i * 2) * 0x010101u);
  return palette;
}

std::string LastError() {
  char text[32];
  std::snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(GetLastError()));
  return text;
}

class DecodeReadOnce : public PictureViewerTest {
 protected:
  std::wstring In(const std::wstring& name) const { return folder_ + L"\\" + name; }
  bool Exists(const std::wstring& name) const { return GetFileAttributesW(In(name).c_str()) != INVALID_FILE_ATTRIBUTES; }

  // What another program does to a file it does not know the viewer is reading: it opens it for
  // writing as editors do (letting others read) and writes, renames it and back, and, last,
  // deletes it. Each step must succeed at once.
  void WriteRenameAndDelete(const std::wstring& name, bool remove) {
    const std::wstring path = In(name), moved = In(L"moved " + name);
    {
      KernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(file) << "expected to open " << Narrow(name) << " for writing, got " << LastError();
      LARGE_INTEGER end{};
      ASSERT_TRUE(SetFilePointerEx(file.Get(), end, nullptr, FILE_END));
      DWORD written = 0;
      EXPECT_TRUE(WriteFile(file.Get(), "tail", 4, &written, nullptr) && written == 4)
          << "expected to append to " << Narrow(name) << ", got " << LastError();
    }
    ASSERT_TRUE(MoveFileExW(path.c_str(), moved.c_str(), 0))
        << "expected to rename " << Narrow(name) << ", got " << LastError();
    ASSERT_TRUE(MoveFileExW(moved.c_str(), path.c_str(), 0))
        << "expected to rename " << Narrow(name) << " back, got " << LastError();
    if (remove) {
      EXPECT_TRUE(DeleteFileW(path.c_str())) << "expected to delete " << Narrow(name) << ", got " << LastError();
    }
  }

  void ExpectCaptionNames(const std::wstring& name) {
    std::wstring seen;
    EXPECT_TRUE(viewer_.WaitForCaption(L"Vistrel - " + name, kStateTimeoutMs, &seen))
        << "expected the caption \"Vistrel - " << Narrow(name) << "\", got \"" << Narrow(seen) << "\"";
  }

  // Delete, Yes: the file goes and no box says why it could not.
  void DeleteThroughViewer(const std::wstring& name) {
    viewer_.PostKey(VK_DELETE);
    HWND box = viewer_.WaitForOtherWindow(L"#32770", L"Please Confirm", kStateTimeoutMs);
    ASSERT_NE(box, nullptr) << "expected the confirmation \"Please Confirm\" for " << Narrow(name);
    ViewerProcess::PressButton(box, IDYES);
    EXPECT_TRUE(WaitUntil([&] { return !Exists(name); }, kStateTimeoutMs))
        << "expected the viewer's Delete to remove " << Narrow(name) << ", it is still there";
    HWND error = viewer_.WaitForOtherWindow(L"#32770", L"Vistrel", 1000);
    EXPECT_EQ(error, nullptr) << "expected no error box after deleting " << Narrow(name) << ", got one";
    if (error != nullptr) ViewerProcess::PressButton(error, IDOK);
  }
};

TEST_F(DecodeReadOnce, OtherProgramsRenameWriteAndDeleteFilesTheViewerDecodesOrFailedToDecode) {
  // Large enough that each decode takes a while; made here, never kept.
  ASSERT_TRUE(SaveTestImage(In(L"3 big.tif"), 3000, 2000, L"image/tiff", Busy)) << "could not write the TIFF";
  ASSERT_TRUE(WriteGif(In(L"4 big.gif"), 3000, 2000, Greys(), [](int32_t x, int32_t y) { return Busy(x, y) & 0x7F; }))
      << "could not write the GIF";
  ASSERT_TRUE(WriteJpeg2000(In(L"5 big.jp2"), 1600, 1200, Busy)) << "could not write the JPEG 2000 file";
  ASSERT_TRUE(SaveTestImage(In(L"6 gone.tif"), 3000, 2000, L"image/tiff", Busy));
  // Cut short: the decode fails, and the file must be free afterwards all the same.
  for (const wchar_t* name : {L"7 cut.tif", L"8 cut.bmp"}) {
    const std::wstring path = In(name);
    const bool tiff = std::wstring(name).find(L".tif") != std::wstring::npos;
    ASSERT_TRUE(tiff ? SaveTestImage(path, 300, 200, L"image/tiff", Busy) : WriteSolidBmp(path, 300, 200, Rgb{9, 9, 9}));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(path, &bytes));
    bytes.resize(tiff ? 16 : bytes.size() / 3);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
  }

  // Each large file is touched while the viewer decodes it, and the next one while it is only
  // prepared ahead.
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(In(L"3 big.tif"))));
  ASSERT_NO_FATAL_FAILURE(WriteRenameAndDelete(L"3 big.tif", false));
  ExpectCaptionNames(L"3 big.tif");
  ASSERT_NO_FATAL_FAILURE(WriteRenameAndDelete(L"4 big.gif", false));  // prepared ahead meanwhile
  viewer_.PostKey(VK_RIGHT);
  ASSERT_NO_FATAL_FAILURE(WriteRenameAndDelete(L"4 big.gif", false));
  ExpectCaptionNames(L"4 big.gif");
  viewer_.PostKey(VK_RIGHT);
  ASSERT_NO_FATAL_FAILURE(WriteRenameAndDelete(L"5 big.jp2", false));
  ExpectCaptionNames(L"5 big.jp2");
  // The neighbour prepared ahead goes altogether; stepping onto it is quiet, and on past it.
  Sleep(500);
  ASSERT_NO_FATAL_FAILURE(WriteRenameAndDelete(L"6 gone.tif", true));
  viewer_.PostKey(VK_RIGHT);
  ExpectCaptionNames(L"6 gone.tif");
  viewer_.PostKey(VK_RIGHT);
  ExpectCaptionNames(L"7 cut.tif");

  // After the failed decodes: free for others, and for the viewer's own Delete.
  for (const wchar_t* name : {L"7 cut.tif", L"8 cut.bmp"}) {
    ExpectCaptionNames(name);
    EXPECT_TRUE(viewer_.WaitForStillPicture(kStateTimeoutMs)) << "the failed decode of " << Narrow(name) << " settles";
    ASSERT_NO_FATAL_FAILURE(WriteRenameAndDelete(name, false));
    ASSERT_NO_FATAL_FAILURE(DeleteThroughViewer(name));
  }
  EXPECT_TRUE(viewer_.Running()) << "the viewer must survive all of it";
}

// Files named .jpg whose bytes are another format: each shows its own pixels, fitted.
TEST_F(DecodeReadOnce, PicturesNamedJpgShowWhateverFormatTheirBytesAre) {
  const FlatPicture png{L"3 png.jpg", 320, 200, Rgb{200, 100, 0}};
  const FlatPicture bmp{L"4 bmp.jpg", 200, 300, Rgb{20, 140, 220}};
  const FlatPicture gif{L"5 gif.jpg", 300, 240, Rgb{0, 102, 204}};
  const FlatPicture tiff{L"6 tiff.jpg", 260, 260, Rgb{150, 30, 160}};
  const FlatPicture jp2{L"7 jp2.jpg", 360, 180, Rgb{30, 160, 90}};
  const auto flat = [](const FlatPicture& p) { return [c = Argb(p.colour)](int32_t, int32_t) { return c; }; };
  ASSERT_TRUE(SaveTestImage(PathOf(png), png.width, png.height, L"image/png", flat(png)));
  ASSERT_TRUE(WriteSolidBmp(PathOf(bmp), bmp.width, bmp.height, bmp.colour));
  ASSERT_TRUE(WriteGif(PathOf(gif), gif.width, gif.height, {Argb(gif.colour) & 0xFFFFFF}, [](int32_t, int32_t) { return 0; }));
  ASSERT_TRUE(SaveTestImage(PathOf(tiff), tiff.width, tiff.height, L"image/tiff", flat(tiff)));
  ASSERT_TRUE(WriteJpeg2000(PathOf(jp2), jp2.width, jp2.height, flat(jp2)));

  ASSERT_NO_FATAL_FAILURE(StartOn(png));
  for (const FlatPicture* next : {&bmp, &gif, &tiff, &jp2}) {
    viewer_.PostKey(VK_RIGHT);
    ExpectShowing(*next);
  }
}

}  // namespace
}  // namespace e2e
