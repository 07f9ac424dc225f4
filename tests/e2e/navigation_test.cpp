// Stepping through the folder with the Next and Previous commands.
#include "e2e/picture_test_folder.h"
#include "resource.h"

namespace e2e {
namespace {

using Navigation = PictureViewerTest;

TEST_F(Navigation, NextAndPreviousWrapAtBothEnds) {
  ASSERT_NO_FATAL_FAILURE(StartOn(kBlue));  // the last of the three
  viewer_.PostCommand(ID_NEXT);
  ExpectShowing(kRed);
  viewer_.PostCommand(ID_PREVIOUS);
  ExpectShowing(kBlue);
  viewer_.PostCommand(ID_PREVIOUS);
  ExpectShowing(kGreen);
  viewer_.PostCommand(ID_PREVIOUS);
  ExpectShowing(kRed);
  viewer_.PostCommand(ID_PREVIOUS);
  ExpectShowing(kBlue);
}

// The start file is found whatever the case of A to Z in the argument.
TEST_F(Navigation, StartFileIsFoundWhenTheArgumentDiffersInCase) {
  std::wstring argument = PathOf(kGreen);
  for (wchar_t& c : argument) c = static_cast<wchar_t>(towupper(c));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(argument)));
  ExpectShowing(kGreen);
}

}  // namespace
}  // namespace e2e
