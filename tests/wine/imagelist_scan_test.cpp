#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "imagelist/image_rules.h"
#include "imagelist/win32/command_line.h"
#include "imagelist/win32/image_list.h"
#include "support/test_paths.h"

namespace {

void MakeFile(const std::wstring& path) {
  ASSERT_TRUE(WriteFileBytes(path, {})) << "cannot create test file, error " << GetLastError();
}

std::vector<std::wstring> FileNames(const std::vector<std::wstring>& paths) {
  std::vector<std::wstring> names;
  for (const std::wstring& path : paths) names.push_back(fileNamePart(path));
  return names;
}

class ImageListScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    dir_ = MakeScratchDir(L"imagelist-" + std::wstring(name.begin(), name.end()));
    ImageList.clear();
    currentIndex = 0;
    startPath = L" ";
  }
  void TearDown() override {
    RemoveTree(dir_);
    ImageList.clear();
  }
  void MakeFiles(const std::wstring& folder, const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) MakeFile(folder + L"\\" + name);
  }
  std::wstring Sub(const std::wstring& name) {
    std::wstring path = dir_ + L"\\" + name;
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
  }

  std::wstring dir_;
};

TEST_F(ImageListScanTest, StartFileInTheMiddleListsImagesOnceInOrder) {
  MakeFiles(dir_, {L"c.png", L"d.txt", L"b.jpg", L"a.jpg"});
  BuildFromStartFile(dir_ + L"\\b.jpg");
  std::vector<std::wstring> expected = {dir_ + L"\\a.jpg", dir_ + L"\\b.jpg", dir_ + L"\\c.png"};
  EXPECT_EQ(expected, ImageList);
  EXPECT_EQ(1, currentIndex);
  EXPECT_EQ(dir_ + L"\\b.jpg", startPath);
}

TEST_F(ImageListScanTest, NaturalOrderIgnoresCaseAndComparesNumbersByValue) {
  MakeFiles(dir_, {L"img10.jpg", L"img2.jpg", L"Img1.png"});
  BuildFromStartFile(dir_ + L"\\img10.jpg");
  EXPECT_EQ((std::vector<std::wstring>{L"Img1.png", L"img2.jpg", L"img10.jpg"}),
            FileNames(ImageList));
  EXPECT_EQ(2, currentIndex);
  EXPECT_TRUE(NaturalLess(L"img2.jpg", L"img10.jpg"));
  EXPECT_FALSE(NaturalLess(L"img10.jpg", L"img2.jpg"));
  EXPECT_FALSE(NaturalLess(L"a.jpg", L"A.JPG"));
}

TEST_F(ImageListScanTest, ExtensionTestIsCaseSensitiveSubstring) {
  // Windows folders do not tell photo.JPG from photo.jpg, so the cases get their own names.
  MakeFiles(dir_, {L"upper.JPG", L"lower.jpg", L"mixed.Jpg", L"scan.tiff", L"old.gifts.txt",
                   L"notes.txt", L"noext"});
  BuildFromStartFile(dir_ + L"\\lower.jpg");
  EXPECT_EQ((std::vector<std::wstring>{L"lower.jpg", L"old.gifts.txt", L"scan.tiff",
                                       L"upper.JPG"}),
            FileNames(ImageList));
  EXPECT_EQ(0, currentIndex);
}

TEST_F(ImageListScanTest, HiddenFilesListedSubfoldersNot) {
  MakeFiles(dir_, {L"shown.jpg", L"hidden.jpg"});
  SetFileAttributesW((dir_ + L"\\hidden.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN);
  std::wstring sub = Sub(L"folder.jpg");
  MakeFiles(sub, {L"inner.jpg"});
  BuildFromStartFile(dir_ + L"\\shown.jpg");
  EXPECT_EQ((std::vector<std::wstring>{L"hidden.jpg", L"shown.jpg"}), FileNames(ImageList));
  EXPECT_EQ(1, currentIndex);
}

TEST_F(ImageListScanTest, FolderNamedLikeAnImageListsEveryFile) {
  std::wstring album = Sub(L"album.jpg.d");
  MakeFiles(album, {L"readme", L"notes.txt", L"z.png"});
  BuildFromStartFile(album + L"\\readme");
  EXPECT_EQ((std::vector<std::wstring>{L"notes.txt", L"readme", L"z.png"}), FileNames(ImageList));
  EXPECT_EQ(1, currentIndex);
}

TEST_F(ImageListScanTest, QuotedArgumentWithSpacesIsOnePathAndLaterOnesAreIgnored) {
  std::wstring folder = Sub(L"my pics");
  MakeFiles(folder, {L"a.jpg", L"b c.jpg"});
  std::wstring commandLine =
      L"\"C:\\Program Files\\vistrel.exe\" \"" + folder + L"\\b c.jpg\" " + dir_ + L"\\other.jpg";
  std::optional<std::wstring> argument = StartArgument(commandLine.c_str());
  ASSERT_TRUE(argument.has_value());
  EXPECT_EQ(folder + L"\\b c.jpg", *argument);
  BuildFromStartFile(*argument);
  EXPECT_EQ((std::vector<std::wstring>{folder + L"\\a.jpg", folder + L"\\b c.jpg"}), ImageList);
  EXPECT_EQ(1, currentIndex);
}

TEST(StartArgumentTest, FewerThanTwoElementsGiveNoArgument) {
  EXPECT_FALSE(StartArgument(L"vistrel.exe").has_value());
  EXPECT_FALSE(StartArgument(L"\"C:\\my dir\\vistrel.exe\"  ").has_value());
  EXPECT_FALSE(StartArgument(L"").has_value());
  EXPECT_FALSE(StartArgument(nullptr).has_value());
  EXPECT_EQ(L"C:\\my", StartArgument(L"vistrel.exe C:\\my pics\\a.jpg").value_or(L"?"));
}

TEST_F(ImageListScanTest, TrailingBackslashListsThatFolderWithoutItTheParent) {
  std::wstring sub = Sub(L"inside");
  MakeFiles(sub, {L"y.jpg", L"x.jpg"});
  MakeFiles(dir_, {L"outer.png"});
  BuildFromStartFile(sub + L"\\");
  EXPECT_EQ((std::vector<std::wstring>{L"x.jpg", L"y.jpg"}), FileNames(ImageList));
  EXPECT_EQ(0, currentIndex);

  BuildFromStartFile(sub);
  EXPECT_EQ((std::vector<std::wstring>{dir_ + L"\\outer.png"}), ImageList);
  EXPECT_EQ(0, currentIndex);
}

TEST_F(ImageListScanTest, StartFileFoundWhenOnlyAtoZCaseDiffers) {
  MakeFiles(dir_, {L"a.jpg", L"b.jpg", L"c.jpg"});
  std::wstring upper = dir_ + L"\\B.JPG";
  BuildFromStartFile(upper);
  EXPECT_EQ(3u, ImageList.size());
  EXPECT_EQ(1, currentIndex);
  EXPECT_EQ(upper, startPath);  // kept as given
}

TEST_F(ImageListScanTest, NonAsciiNamesAreListedAndFound) {
  const std::wstring cyrillic = L"\u0424\u043E\u0442\u043E.jpg";  // Фото.jpg
  const std::wstring cjk = L"\u5199\u771F.png";                   // 写真.png
  const std::wstring accented = L"\u00E9t\u00E9.gif";             // été.gif
  std::wstring folder = Sub(L"\u00C4lbum \u65E5\u672C");          // Älbum 日本
  MakeFiles(folder, {cyrillic, cjk, accented, L"plain.bmp"});
  BuildFromStartFile(folder + L"\\" + cjk);
  ASSERT_EQ(4u, ImageList.size());
  ASSERT_GE(currentIndex, 0);
  EXPECT_EQ(folder + L"\\" + cjk, ImageList[currentIndex]);
  for (const std::wstring& name : {cyrillic, accented, std::wstring(L"plain.bmp")}) {
    EXPECT_NE(ImageList.end(), std::find(ImageList.begin(), ImageList.end(), folder + L"\\" + name));
  }
}

TEST_F(ImageListScanTest, StartFileNotListedKeepsThePosition) {
  MakeFiles(dir_, {L"a.jpg", L"b.jpg", L"c.jpg", L"d.txt"});
  currentIndex = 2;
  BuildFromStartFile(dir_ + L"\\d.txt");
  EXPECT_EQ(3u, ImageList.size());
  EXPECT_EQ(2, currentIndex);
}

TEST_F(ImageListScanTest, WithoutArgumentEveryImageOfTheFolderIsListed) {
  MakeFiles(dir_, {L"2.jpg", L"10.jpg", L"1.png", L"x.txt"});
  ImageList.push_back(L"C:\\stale.jpg");
  BuildFromFolder(dir_);
  EXPECT_EQ((std::vector<std::wstring>{L"1.png", L"2.jpg", L"10.jpg"}), FileNames(ImageList));
  EXPECT_EQ(L" ", startPath);
  EXPECT_EQ(0, currentIndex);
  EXPECT_TRUE(EqualsIgnoringAsciiCase(BinaryDir(), ProgramFolder()))
      << "expected " << BinaryDir() << ", got " << ProgramFolder();
}

TEST_F(ImageListScanTest, MissingFolderEmptiesTheListAndKeepsThePosition) {
  MakeFiles(dir_, {L"a.jpg", L"b.jpg"});
  BuildFromStartFile(dir_ + L"\\b.jpg");
  ASSERT_EQ(2u, ImageList.size());
  BuildFromStartFile(dir_ + L"\\missing\\a.jpg");
  EXPECT_TRUE(ImageList.empty());
  EXPECT_EQ(1, currentIndex);
}

TEST_F(ImageListScanTest, DropRebuildsFromTheDroppedFilesFolder) {
  std::wstring first = Sub(L"first");
  std::wstring second = Sub(L"second");
  MakeFiles(first, {L"a.jpg", L"b.jpg", L"c.jpg"});
  MakeFiles(second, {L"only.png", L"note.txt"});
  OpenStartFile(true, first + L"\\c.jpg");
  ASSERT_EQ(3u, ImageList.size());
  EXPECT_EQ(2, currentIndex);

  // Not an image: the list changes, and the old position, now outside it, is pulled back.
  OpenStartFile(true, second + L"\\note.txt");
  EXPECT_EQ((std::vector<std::wstring>{second + L"\\only.png"}), ImageList);
  EXPECT_EQ(0, currentIndex);
  EXPECT_EQ(second + L"\\note.txt", startPath);

  OpenStartFile(true, first + L"\\b.jpg");
  EXPECT_EQ(3u, ImageList.size());
  EXPECT_EQ(1, currentIndex);
}

}  // namespace
