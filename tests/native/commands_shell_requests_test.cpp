// The requests the shell actions hand to the shell.
#include <gtest/gtest.h>

#include "commands/shell_requests.h"

namespace {

TEST(ShellRequests, EachActionFillsTheDescribedFields) {
  const std::wstring path = L"C:\\My Pictures\\holiday 1.jpg";
  ShellRequest open = OpenWithRequest(path);
  EXPECT_EQ(open.mask, 0u);
  EXPECT_EQ(open.verb, L"");
  EXPECT_EQ(open.file, L"rundll32.exe");
  EXPECT_EQ(open.parameters, L"shell32.dll,OpenAs_RunDLL C:\\My Pictures\\holiday 1.jpg")
      << "the path goes in unchanged and unquoted";
  EXPECT_EQ(open.show, 3);

  for (const ShellRequest& r : {PropertiesRequest(path), PrintRequest(path)}) {
    EXPECT_EQ(r.mask, 0x0Cu);
    EXPECT_EQ(r.file, path);
    EXPECT_EQ(r.parameters, L"");
    EXPECT_EQ(r.show, 5);
  }
  EXPECT_EQ(PropertiesRequest(path).verb, L"properties");
  EXPECT_EQ(PrintRequest(path).verb, L"print");

  ShellRequest web = WebsiteRequest();
  EXPECT_EQ(web.verb, L"open");
  EXPECT_EQ(web.file.rfind(L"https://", 0), 0u) << "the web page is an HTTPS address";
  EXPECT_EQ(web.mask, 0x0Cu);
}

}  // namespace
