#include <gtest/gtest.h>

#include <string>

#include "imagelist/image_rules.h"
#include "imagelist/long_path.h"

namespace {

TEST(ImageExtensionTest, SubstringTestIsCaseSensitiveAndAnywhereInThePath) {
  EXPECT_TRUE(HasImageExtension(L"C:\\p\\photo.JPG"));
  EXPECT_TRUE(HasImageExtension(L"C:\\p\\photo.jpg"));
  EXPECT_FALSE(HasImageExtension(L"C:\\p\\photo.Jpg"));
  EXPECT_TRUE(HasImageExtension(L"C:\\p\\scan.tiff"));
  EXPECT_TRUE(HasImageExtension(L"C:\\p\\old.gifts.txt"));
  EXPECT_TRUE(HasImageExtension(L"C:\\x.jpg\\notes.txt"));  // folder name counts
  EXPECT_TRUE(HasImageExtension(L"C:\\p\\a.jfif"));
  EXPECT_TRUE(HasImageExtension(L"C:\\p\\A.MJ2"));
  for (const wchar_t* name : {L"a.webp", L"a.AVIF", L"a.heic", L"a.HEIF", L"a.hif", L"a.JXL"}) {
    EXPECT_TRUE(HasImageExtension(std::wstring(L"C:\\p\\") + name)) << "expected listed: " << name;
  }
  EXPECT_FALSE(HasImageExtension(L"C:\\p\\a.WebP"));
  EXPECT_FALSE(HasImageExtension(L"C:\\p\\d.txt"));
  EXPECT_FALSE(HasImageExtension(L"C:\\p\\jpg"));  // no dot
  EXPECT_FALSE(HasImageExtension(L""));
}

TEST(PathPartsTest, FolderAndFileNameCutAtTheLastBackslash) {
  EXPECT_EQ(L"C:\\Pics", FolderOf(L"C:\\Pics\\b.jpg"));
  EXPECT_EQ(L"C:\\Pics", FolderOf(L"C:\\Pics\\"));
  EXPECT_EQ(L"", FolderOf(L"b.jpg"));
  EXPECT_EQ(L"", FolderOf(L"\\b.jpg"));
  EXPECT_EQ(L"b.jpg", fileNamePart(L"C:\\Pics\\b.jpg"));
  EXPECT_EQ(L"b.jpg", fileNamePart(L"b.jpg"));
  EXPECT_EQ(L"", fileNamePart(L"C:\\Pics\\"));
  EXPECT_EQ(L"C:/x/y.png", fileNamePart(L"C:/x/y.png"));  // only backslashes separate
}

TEST(AsciiCaseTest, FoldsOnlyAtoZ) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase(L"C:\\PICS\\B.JPG", L"c:\\pics\\b.jpg"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(L"", L""));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(L"a.jpg", L"a.jpg "));
  EXPECT_FALSE(EqualsIgnoringAsciiCase(L"\u00C9t\u00E9.jpg", L"\u00E9t\u00E9.jpg"));  // É vs é
  EXPECT_FALSE(EqualsIgnoringAsciiCase(L"\u0424.jpg", L"\u0444.jpg"));  // Cyrillic Ф vs ф
  EXPECT_FALSE(EqualsIgnoringAsciiCase(L"[", L"{"));  // neighbours of A-Z are not folded
  EXPECT_FALSE(EqualsIgnoringAsciiCase(L"@", L"`"));
  EXPECT_TRUE(EqualsIgnoringAsciiCase(L"\u0424.JPG", L"\u0424.jpg"));
}

TEST(IndexRulesTest, NextWrapsAfterTheLastEntry) {
  EXPECT_EQ(1, NextIndex(0, 3));
  EXPECT_EQ(2, NextIndex(1, 3));
  EXPECT_EQ(0, NextIndex(2, 3));
  EXPECT_EQ(0, NextIndex(0, 1));
  EXPECT_EQ(0, NextIndex(-1, 3));  // after the list emptied and was rebuilt
  EXPECT_EQ(0, NextIndex(-7, 3));  // negative reads as a huge unsigned value
}

TEST(IndexRulesTest, NextOnAnEmptyListGrowsWithoutOverflow) {
  EXPECT_EQ(0, NextIndex(-1, 0));
  EXPECT_EQ(1, NextIndex(0, 0));
  EXPECT_EQ(6, NextIndex(5, 0));
  EXPECT_EQ(INT32_MIN, NextIndex(INT32_MAX, 0));
}

TEST(IndexRulesTest, PreviousWrapsToTheLastEntryOrMinusOne) {
  EXPECT_EQ(2, PreviousIndex(0, 3));
  EXPECT_EQ(0, PreviousIndex(1, 3));
  EXPECT_EQ(0, PreviousIndex(0, 1));
  EXPECT_EQ(-1, PreviousIndex(0, 0));
  EXPECT_EQ(-1, PreviousIndex(-1, 0));
  EXPECT_EQ(4, PreviousIndex(5, 0));
  EXPECT_EQ(2, PreviousIndex(INT32_MIN, 3));
}

TEST(IndexRulesTest, AfterDeleteNamesTheFollowingEntryOrTheFirst) {
  EXPECT_EQ(1, IndexAfterDelete(1, 2));   // middle of three: same index, next file
  EXPECT_EQ(0, IndexAfterDelete(2, 2));   // last of three: first
  EXPECT_EQ(-1, IndexAfterDelete(0, 0));  // only entry
  EXPECT_EQ(0, IndexAfterDelete(-1, 2));
}

TEST(IndexRulesTest, AfterRebuildStaysInsideTheList) {
  EXPECT_EQ(2, IndexAfterRebuild(2, 3));
  EXPECT_EQ(0, IndexAfterRebuild(3, 3));
  EXPECT_EQ(0, IndexAfterRebuild(-1, 3));
  EXPECT_EQ(-1, IndexAfterRebuild(-1, 0));
  EXPECT_EQ(7, IndexAfterRebuild(7, 0));
}

// One enumeration gives what the two scans (from the start file, then up to it) append: start
// file first, then what followed it, then what preceded it; stopping at a second path equal to
// the start path, as the scan from the start file does on a case-sensitive file system.
TEST(ScannedEntriesTest, OneEnumerationGivesWhatTheTwoScansAppend) {
  using List = std::vector<std::wstring>;
  const List folder = {L"C:\\p\\c.jpg", L"C:\\p\\a.jpg", L"C:\\p\\b.jpg", L"C:\\p\\d.png"};
  EXPECT_EQ(ScannedEntries(folder, L"c:\\P\\A.JPG"),
            (List{L"C:\\p\\a.jpg", L"C:\\p\\b.jpg", L"C:\\p\\d.png", L"C:\\p\\c.jpg"}));
  EXPECT_EQ(ScannedEntries(folder, L" "), folder) << "no start file: everything, as enumerated";
  EXPECT_EQ(ScannedEntries(List{}, L"C:\\p\\a.jpg"), List{});
  const List twins = {L"C:\\p\\x.jpg", L"C:\\p\\a.jpg", L"C:\\p\\y.jpg", L"C:\\p\\A.jpg", L"C:\\p\\z.jpg"};
  EXPECT_EQ(ScannedEntries(twins, L"C:\\p\\a.jpg"), (List{L"C:\\p\\a.jpg", L"C:\\p\\y.jpg", L"C:\\p\\x.jpg"}));
}

TEST(WindowTitleTest, NamesTheFilePart) {
  EXPECT_EQ(L"Vistrel - b.jpg", WindowTitle(L"C:\\Pics\\b.jpg"));
  EXPECT_EQ(L"Vistrel - \u0444\u043E\u0442\u043E.png", WindowTitle(L"Z:\\x\\\u0444\u043E\u0442\u043E.png"));
}

// Paths reach the file system plain below 260 characters and in the extended-length form from
// there on, a UNC path through "\\?\UNC\"; what cannot take that form is left alone.
TEST(FileSystemPathTest, ExtendedFormFrom260CharactersOn) {
  const std::wstring drive259 = L"C:\\" + std::wstring(256, L'a');
  ASSERT_EQ(259u, drive259.size());
  EXPECT_EQ(drive259, FileSystemPath(drive259));
  const std::wstring drive260 = drive259 + L"b";
  EXPECT_EQ(L"\\\\?\\" + drive260, FileSystemPath(drive260));
  const std::wstring deep = L"d:\\" + std::wstring(32000, L'x') + L"\\pic.jpg";
  EXPECT_EQ(L"\\\\?\\" + deep, FileSystemPath(deep)) << "lower-case drives too, far beyond 260";

  const std::wstring share = std::wstring(250, L's') + L"\\photo.jpg";
  EXPECT_EQ(L"\\\\?\\UNC\\server\\" + share, FileSystemPath(L"\\\\server\\" + share));
  EXPECT_EQ(L"\\\\server\\x.jpg", FileSystemPath(L"\\\\server\\x.jpg")) << "a short UNC path stays plain";

  const std::wstring tail = std::wstring(300, L'p');
  const std::wstring unchangedPaths[] = {L"\\\\?\\C:\\" + tail, L"\\\\?\\UNC\\server\\" + tail,
                                         L"\\\\.\\C:\\" + tail,    L"relative\\" + tail,
                                         L"\\rooted\\" + tail,       L"C:drive-relative" + tail};
  for (const std::wstring& unchanged : unchangedPaths) {
    EXPECT_EQ(unchanged, FileSystemPath(unchanged)) << "left as it is: " << std::string(unchanged.begin(),
                                                                                     unchanged.begin() + 12);
  }
  EXPECT_EQ(L"", FileSystemPath(L""));
}

}  // namespace
