#include <gtest/gtest.h>

#include <string>

#include "app/settings_location.h"

namespace {

// The marker wins over the machine-wide folder; without it the machine-wide folder is used
// when the shell names one, else the program's folder.
TEST(SettingsLocationTest, MarkerThenMachineWideFolderThenProgramFolder) {
  const std::wstring programData = L"C:\\ProgramData";
  const std::wstring program = L"D:\\Tools\\Vistrel";
  EXPECT_EQ(L"D:\\Tools\\Vistrel\\vistrel.settings", SettingsPathFor(true, programData, program));
  EXPECT_EQ(L"D:\\Tools\\Vistrel\\vistrel.settings", SettingsPathFor(true, L"", program));
  EXPECT_EQ(L"C:\\ProgramData\\vistrel.settings", SettingsPathFor(false, programData, program));
  EXPECT_EQ(L"D:\\Tools\\Vistrel\\vistrel.settings", SettingsPathFor(false, L"", program));
}

}  // namespace
