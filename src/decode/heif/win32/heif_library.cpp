#include "decode/heif/win32/heif_library.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <type_traits>
#include <utility>

#include "framework/unique_handle.h"
#include "imagelist/win32/image_list.h"

namespace {

struct LoadedHeif {
  ModuleHandle module;  // held for the process's life: decodes may run on the worker at exit
  HeifApi api;
};

std::mutex loadLock;
LoadedHeif* loaded = nullptr;  // under loadLock; set once, never destroyed

// The DLL by its full path, so neither the current folder nor the search path supplies it; its own
// import (libde265.dll) is then looked for in its folder first. No system error box for a missing
// or broken DLL: the picture simply does not show.
ModuleHandle LoadBesideProgram(const wchar_t* name) {
  const std::wstring path = ProgramFolder() + L"\\" + name;
  DWORD previous = 0;
  const bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous) != FALSE;
  ModuleHandle module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (quiet) SetThreadErrorMode(previous, nullptr);
  return module;
}

}  // namespace

const HeifApi* HeifLibrary() {
  std::lock_guard<std::mutex> hold(loadLock);
  if (loaded != nullptr) return &loaded->api;
  ModuleHandle module = LoadBesideProgram(L"libheif.dll");
  if (!module) return nullptr;
  HeifApi api;
  ForEachHeifFunction(api, [&](const char* name, auto& slot) {
    using Slot = std::remove_reference_t<decltype(slot)>;
    slot = reinterpret_cast<Slot>(reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
  });
  if (!HeifApiComplete(api)) return nullptr;  // the module is released here
  api.setHevcThreads = reinterpret_cast<decltype(api.setHevcThreads)>(
      reinterpret_cast<void*>(GetProcAddress(module.Get(), "vistrel_set_hevc_threads")));
  loaded = new LoadedHeif{std::move(module), api};
  return &loaded->api;
}
