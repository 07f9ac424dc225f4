#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/win32/settings_file.h"
#include "framework/file.h"
#include "support/test_paths.h"

namespace {

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  ASSERT_TRUE(WriteFileBytes(path, bytes)) << "could not write " << bytes.size() << " bytes, error " << GetLastError();
}

std::vector<uint8_t> ReadBytes(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  ReadFileBytes(path, &bytes);
  return bytes;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> Encoded(const SettingsRecord& record) {
  SettingsBytes bytes = EncodeSettings(record);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    dir_ = MakeScratchDir(L"settings-" + std::wstring(name.begin(), name.end()));
    path_ = dir_ + L"\\vistrel.settings";
  }
  void TearDown() override { RemoveTree(dir_); }

  std::wstring dir_;
  std::wstring path_;
};

TEST_F(SettingsFileTest, WriteThenReadRoundTripsExactly24Bytes) {
  SettingsRecord record{-1200, 40, 300, 1000, 1, 0};
  ASSERT_TRUE(WriteSettingsFile(path_, record));
  EXPECT_EQ(Encoded(record), ReadBytes(path_));
  EXPECT_FALSE(Exists(SettingsTempPath(path_)));

  SettingsReadResult read = ReadSettingsFile(path_);
  ASSERT_EQ(SettingsReadStatus::kOk, read.status);
  EXPECT_EQ(-1200, read.record.windowLeft);
  EXPECT_EQ(40, read.record.windowTop);
  EXPECT_EQ(300, read.record.windowRight);
  EXPECT_EQ(1000, read.record.windowBottom);
  EXPECT_EQ(1, read.record.maximized);
  EXPECT_EQ(0, read.record.backgroundLevel);
}

TEST_F(SettingsFileTest, LongerFileReadsFirst24AndRewriteLeaves24) {
  std::vector<uint8_t> bytes = Encoded({1, 2, 3, 4, 0, 250});
  bytes.resize(bytes.size() + 8, 9);  // eight bytes past the record
  WriteBytes(path_, bytes);
  SettingsReadResult read = ReadSettingsFile(path_);
  ASSERT_EQ(SettingsReadStatus::kOk, read.status);
  EXPECT_EQ(4, read.record.windowBottom);
  EXPECT_EQ(250, read.record.backgroundLevel);

  SettingsRecord next{5, 6, 7, 8, 1, 0};
  ASSERT_TRUE(WriteSettingsFile(path_, next));
  EXPECT_EQ(Encoded(next), ReadBytes(path_));
}

TEST_F(SettingsFileTest, MissingShortOrEmptyFileCountsAsNotOpened) {
  EXPECT_EQ(SettingsReadStatus::kCouldNotOpen, ReadSettingsFile(path_).status);
  std::vector<uint8_t> bytes = Encoded({1, 2, 3, 4, 1, 0});
  bytes.resize(23);
  WriteBytes(path_, bytes);
  EXPECT_EQ(SettingsReadStatus::kCouldNotOpen, ReadSettingsFile(path_).status);
  WriteBytes(path_, {});
  EXPECT_EQ(SettingsReadStatus::kCouldNotOpen, ReadSettingsFile(path_).status);
}

TEST_F(SettingsFileTest, FileHeldOpenElsewhereDoesNotOpen) {
  WriteBytes(path_, Encoded({1, 2, 3, 4, 0, 0}));
  CFile holder;
  ASSERT_TRUE(holder.Open(path_, CFile::modeRead));
  EXPECT_EQ(SettingsReadStatus::kCouldNotOpen, ReadSettingsFile(path_).status);
  holder.Close();
  EXPECT_EQ(SettingsReadStatus::kOk, ReadSettingsFile(path_).status);
}

TEST_F(SettingsFileTest, FailedWriteLeavesTheOldFileIntactAndNoTemporary) {
  std::vector<uint8_t> old = Encoded({10, 20, 30, 40, 0, 250});
  WriteBytes(path_, old);

  // A folder where the temporary file should go: the write cannot even start.
  std::wstring temp = SettingsTempPath(path_);
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
  EXPECT_FALSE(WriteSettingsFile(path_, {1, 1, 1, 1, 1, 0}));
  EXPECT_EQ(old, ReadBytes(path_));
  RemoveDirectoryW(temp.c_str());

  // The file held open without sharing: the temporary is written but cannot replace it.
  {
    CFile holder;
    ASSERT_TRUE(holder.Open(path_, CFile::modeRead));
    EXPECT_FALSE(WriteSettingsFile(path_, {2, 2, 2, 2, 1, 0}));
  }
  EXPECT_EQ(old, ReadBytes(path_));
  EXPECT_FALSE(Exists(temp));
}

TEST_F(SettingsFileTest, PathOf260CharactersOrMoreDoesNotOpen) {
  std::wstring name(260 - dir_.size() - 1, L'n');
  ASSERT_LT(name.size(), 256u) << "scratch folder path too short for this test";
  std::wstring longPath = dir_ + L"\\" + name;
  ASSERT_EQ(260u, longPath.size());
  // The long form of the path reaches the file even though the plain one may not.
  WriteBytes(L"\\\\?\\" + longPath, Encoded({1, 2, 3, 4, 0, 0}));
  EXPECT_EQ(SettingsReadStatus::kCouldNotOpen, ReadSettingsFile(longPath).status);

  std::wstring fits = dir_ + L"\\" + std::wstring(259 - dir_.size() - 1, L'f');
  ASSERT_EQ(259u, fits.size());
  WriteBytes(fits, Encoded({1, 2, 3, 4, 0, 0}));
  EXPECT_EQ(SettingsReadStatus::kOk, ReadSettingsFile(fits).status);
}

TEST(SettingsFilePathTest, LiesInTheMachineWideApplicationDataFolder) {
  std::wstring path = SettingsFilePath();
  const std::wstring suffix = L"\\vistrel.settings";
  ASSERT_GT(path.size(), suffix.size());
  EXPECT_EQ(suffix, path.substr(path.size() - suffix.size()));
  std::wstring folder = path.substr(0, path.size() - suffix.size());
  DWORD attributes = GetFileAttributesW(folder.c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      << "expected an existing folder, got " << folder;
  EXPECT_EQ(folder.find(L"\\\\"), std::wstring::npos) << folder;
}

}  // namespace
