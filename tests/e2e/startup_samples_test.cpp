// The bundled samples as a newcomer sees them: natural order, the text file left out, the
// EXIF-turned JPEG shown upright and the transparent PNG over the light background.
#include <cstdlib>

#include "e2e/viewer_fixture.h"
#include "resource.h"

namespace e2e {
namespace {

class StartupSamples : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    if (HasFatalFailure()) return;
    samples_ = SourceDir() + L"\\samples";
    ASSERT_NE(GetFileAttributesW((samples_ + L"\\2.jpg").c_str()), INVALID_FILE_ATTRIBUTES)
        << "expected the bundled samples in " << Narrow(samples_);
    ASSERT_TRUE(WriteSettingsValues({100, 80, 1100, 780, 0, 250}));
  }

  void StartOnSample(const std::wstring& name) {
    ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(samples_ + L"\\" + name)));
    ExpectCaption(name);
  }

  void ExpectCaption(const std::wstring& name) {
    std::wstring seen;
    EXPECT_TRUE(viewer_.WaitForCaption(L"Vistrel - " + name, kStateTimeoutMs, &seen))
        << "expected the caption \"Vistrel - " << Narrow(name) << "\", got \"" << Narrow(seen) << "\"";
  }

  // The part of the picture area that is not the light background, once it stops changing.
  PixelEdges PictureEdges(ScreenCapture* capture) {
    viewer_.WaitForStillPicture(3000);
    *capture = viewer_.CaptureClient();
    return FindContentEdges(*capture, kLightGrey, 3);
  }

  std::wstring samples_;
};

TEST_F(StartupSamples, NextStepsThroughTheImagesInNaturalOrderAndWraps) {
  ASSERT_NO_FATAL_FAILURE(StartOnSample(L"2.jpg"));
  for (const wchar_t* name : {L"3-alpha.png", L"4-palette.gif", L"5.bmp", L"6.tif", L"10.jpg", L"1.jpg", L"2.jpg"}) {
    viewer_.PostCommand(ID_NEXT);
    ExpectCaption(name);
  }
}

// 2.jpg is stored on its side (360 x 240) with orientation 6; upright it is 240 x 360.
TEST_F(StartupSamples, OrientedJpegIsShownUpright) {
  ASSERT_NO_FATAL_FAILURE(StartOnSample(L"2.jpg"));
  ScreenCapture capture;
  PixelEdges edges;
  EXPECT_TRUE(WaitUntil([&] {
    edges = PictureEdges(&capture);
    return edges.Height() > 0 && edges.Height() == capture.height && edges.Width() < edges.Height();
  }, kStateTimeoutMs)) << "expected a portrait picture filling the height of " << capture.height
                       << ", got content at " << ToString(edges);
  // Upright, the arrow's tip is near the top: the middle column is green a little below the
  // top edge (turned the wrong way that point would be pale background).
  const int x = (edges.left + edges.right) / 2;
  const Rgb nearTop = ToRgb(capture.At(x, edges.top + edges.Height() * 15 / 100));
  EXPECT_TRUE(Near(nearTop, Rgb{31, 122, 58}, 40)) << "expected the green arrow tip near the top, got "
                                                    << ToString(nearTop);
}

// Upper half of the disc is opaque red, the lower half half-transparent over the background.
TEST_F(StartupSamples, TransparentPngIsComposedOverTheBackground) {
  ASSERT_NO_FATAL_FAILURE(StartOnSample(L"3-alpha.png"));
  ScreenCapture capture;
  PixelEdges edges;
  EXPECT_TRUE(WaitUntil([&] {
    edges = PictureEdges(&capture);
    return edges.Height() > 0;
  }, kStateTimeoutMs));
  ASSERT_FALSE(capture.Empty());
  // The PNG is 320 x 240 and fills the area's height; map its pixel (px, py) to the screen.
  const int H = capture.height;
  const int W = static_cast<int>(H * (320.0f / 240.0f));
  const int left = (capture.width - W) / 2;
  auto at = [&](int px, int py) { return ToRgb(capture.At(left + px * W / 320, py * H / 240)); };
  EXPECT_EQ(ToString(at(10, 10)), ToString(kLightGrey)) << "a transparent corner shows the background";
  EXPECT_TRUE(Near(at(160, 50), Rgb{224, 60, 49}, 12)) << "opaque red, got " << ToString(at(160, 50));
  const Rgb half = at(160, 200);
  EXPECT_TRUE(Near(half, Rgb{237, 155, 150}, 16)) << "half-transparent red over (250,250,250), got "
                                                  << ToString(half);
}

// VISTREL_PROFILE names a file: the start writes each of its phases there once, in order, and a
// JPEG start never starts the imaging library.
TEST_F(StartupSamples, ProfileSwitchWritesEveryPhaseOnceInOrder) {
  const std::wstring profile = scratch_ + L"\\profile.txt";
  SetEnvironmentVariableW(L"VISTREL_PROFILE", profile.c_str());
  StartOnSample(L"2.jpg");
  SetEnvironmentVariableW(L"VISTREL_PROFILE", nullptr);
  std::string text;
  EXPECT_TRUE(WaitUntil([&] {
    std::vector<uint8_t> bytes;
    text = ReadFileBytes(profile, &bytes) ? std::string(bytes.begin(), bytes.end()) : std::string();
    return text.find("first blit") != std::string::npos;
  }, kStateTimeoutMs)) << "expected the profile in " << Narrow(profile) << ", got \"" << text << "\"";
  size_t at = 0;
  for (const char* phase : {"process entry", "framework ready", "imaging library started", "window created",
                            "window shown", "first paint", "decode start", "decode end", "averaging end",
                            "first blit"}) {
    const std::string line = std::string("start profile: ") + phase;
    const size_t found = text.find(line);
    EXPECT_NE(found, std::string::npos) << "expected the phase \"" << phase << "\" in \"" << text << "\"";
    if (found == std::string::npos) continue;
    EXPECT_GE(found, at) << "expected \"" << phase << "\" after the phases before it";
    EXPECT_EQ(text.find(line, found + 1), std::string::npos) << "expected \"" << phase << "\" once";
    at = found;
  }
  EXPECT_NE(text.find("imaging library started  not reached"), std::string::npos)
      << "a JPEG start should not start the imaging library: " << text;
  // The loader's share, from the process's creation to its entry: some milliseconds under Wine,
  // never negative and never seconds (a unit or clock mixed up).
  const std::string loader = "start profile: loader, before entry";
  const size_t found = text.find(loader);
  ASSERT_NE(found, std::string::npos) << "expected the loader's time in \"" << text << "\"";
  const double ms = std::atof(text.c_str() + found + loader.size());
  EXPECT_GT(ms, 0.0) << "expected the loader's time in milliseconds, got " << ms;
  EXPECT_LT(ms, 5000.0) << "expected the loader's time in milliseconds, got " << ms;
}

}  // namespace
}  // namespace e2e
