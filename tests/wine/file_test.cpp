#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "framework/file.h"
#include "support/test_paths.h"

namespace {

class CFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    dir_ = MakeScratchDir(L"file-" + std::wstring(name.begin(), name.end()));
    path_ = dir_ + L"\\data.bin";
  }
  void TearDown() override { RemoveTree(dir_); }

  std::wstring dir_;
  std::wstring path_;
};

TEST_F(CFileTest, OpenReportsFailureByResultWithTheErrorCode) {
  CFile file;
  DWORD error = 0;
  EXPECT_FALSE(file.Open(path_, CFile::modeRead, &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.Open(dir_ + L"\\no\\such\\folder.bin", CFile::modeCreate, &error));
  EXPECT_NE(0u, error);
}

TEST_F(CFileTest, CreateTruncatesAndReadStopsAtTheEnd) {
  {
    CFile file;
    ASSERT_TRUE(file.Open(path_, CFile::modeCreate));
    file.Write("0123456789", 10);
    file.Flush();
    file.Close();
  }
  {
    CFile file;
    ASSERT_TRUE(file.Open(path_, CFile::modeCreate));
    file.Write("ab", 2);
  }  // closed by its destructor
  CFile file;
  ASSERT_TRUE(file.Open(path_, CFile::modeRead));
  char buffer[16] = {};
  EXPECT_EQ(2u, file.Read(buffer, sizeof buffer));
  EXPECT_EQ(std::string("ab"), std::string(buffer, 2));
  EXPECT_EQ(0u, file.Read(buffer, sizeof buffer));
}

TEST_F(CFileTest, OpensWithoutSharing) {
  CFile first;
  ASSERT_TRUE(first.Open(path_, CFile::modeCreate));
  CFile second;
  DWORD error = 0;
  EXPECT_FALSE(second.Open(path_, CFile::modeRead, &error));
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
  first.Close();
  EXPECT_TRUE(second.Open(path_, CFile::modeRead));
}

TEST_F(CFileTest, WriteToAReadOnlyOpenRaisesWithTheSystemError) {
  {
    CFile file;
    ASSERT_TRUE(file.Open(path_, CFile::modeCreate));
  }
  CFile file;
  ASSERT_TRUE(file.Open(path_, CFile::modeRead));
  try {
    file.Write("x", 1);
    ADD_FAILURE() << "expected CFileException, got none";
  } catch (const CFileException& e) {
    EXPECT_EQ(CFileException::genericException, e.cause());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), e.osError());
  }
}

}  // namespace
