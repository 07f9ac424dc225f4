#include "imagelist/win32/command_line.h"

#include <windows.h>
#include <shellapi.h>

namespace {

// Owns the argument array CommandLineToArgvW allocates; LocalFree on destruction.
class ArgumentArray {
 public:
  ArgumentArray(wchar_t** arguments, int count) : arguments_(arguments), count_(count) {}
  ~ArgumentArray() {
    if (arguments_) LocalFree(arguments_);
  }
  ArgumentArray(const ArgumentArray&) = delete;
  ArgumentArray& operator=(const ArgumentArray&) = delete;

  int Count() const { return arguments_ ? count_ : 0; }
  const wchar_t* At(int index) const { return arguments_[index]; }

 private:
  wchar_t** arguments_;
  int count_;
};

}  // namespace

std::optional<std::wstring> StartArgument(const wchar_t* commandLine) {
  // An empty text would make the call return the program's path as the only element.
  if (commandLine == nullptr || commandLine[0] == L'\0') return std::nullopt;
  int count = 0;
  wchar_t** split = CommandLineToArgvW(commandLine, &count);
  ArgumentArray arguments(split, count);
  if (arguments.Count() < 2) return std::nullopt;
  return std::wstring(arguments.At(1));
}
