// One owner for every kind of handle the program takes: the traits say what "no handle" is and
// how a handle is given back. Owners cannot be copied, only moved, so each handle is released
// exactly once, on every path.
#pragma once
#include <windows.h>

#include <cstdio>

template <class Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Type Get() const { return handle_; }
  explicit operator bool() const { return Traits::IsValid(handle_); }
  // Gives the handle up without releasing it.
  Type Release() {
    Type handle = handle_;
    handle_ = Traits::None();
    return handle;
  }
  // Releases the held handle and takes the new one; false when the release failed.
  bool Reset(Type handle = Traits::None()) {
    bool released = true;
    if (Traits::IsValid(handle_)) released = Traits::Free(handle_);
    handle_ = handle;
    return released;
  }
  // For the creating calls that hand their result back through an out parameter.
  Type* Out() {
    Reset();
    return &handle_;
  }

 private:
  Type handle_ = Traits::None();
};

// Files, threads, events and processes. CreateFileW reports failure as INVALID_HANDLE_VALUE and
// the others as null, so both count as no handle.
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type None() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static bool Free(Type h) { return CloseHandle(h) != FALSE; }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;

// A directory enumeration of FindFirstFileW.
struct FindHandleTraits {
  using Type = HANDLE;
  static Type None() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static bool Free(Type h) { return FindClose(h) != FALSE; }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

// Memory the system allocated with LocalAlloc for the caller (CommandLineToArgvW, FormatMessageW).
template <class Pointer>
struct LocalMemoryTraits {
  using Type = Pointer;
  static Type None() { return nullptr; }
  static bool IsValid(Type p) { return p != nullptr; }
  static bool Free(Type p) { return LocalFree(reinterpret_cast<HLOCAL>(p)) == nullptr; }
};
template <class Pointer>
using LocalMemory = UniqueHandle<LocalMemoryTraits<Pointer>>;

// A menu loaded from the resources.
struct MenuHandleTraits {
  using Type = HMENU;
  static Type None() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static bool Free(Type h) { return DestroyMenu(h) != FALSE; }
};
using MenuHandle = UniqueHandle<MenuHandleTraits>;

// A reference to a system module taken with LoadLibraryExW, for entries older systems lack.
struct ModuleHandleTraits {
  using Type = HMODULE;
  static Type None() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static bool Free(Type h) { return FreeLibrary(h) != FALSE; }
};
using ModuleHandle = UniqueHandle<ModuleHandleTraits>;

// A byte stream of the C runtime.
struct StdioFileTraits {
  using Type = FILE*;
  static Type None() { return nullptr; }
  static bool IsValid(Type f) { return f != nullptr; }
  static bool Free(Type f) { return std::fclose(f) == 0; }
};
using StdioFile = UniqueHandle<StdioFileTraits>;
