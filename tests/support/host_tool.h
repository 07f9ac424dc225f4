// Programs of the Linux host run from the Wine tests and benchmarks, to make pictures with tools
// of the host's (cwebp, webpmux) at run time. Wine starts a Unix program without a process handle
// to wait on, so the command runs under /bin/sh, which moves its exit status into a file once it
// is done, and the caller waits for that file. Any thread.
#pragma once
#include <windows.h>

#include <string>

// The Unix spelling of a Windows path, as Wine maps it; empty outside Wine.
std::string UnixPathOf(const std::wstring& path);
// True when the host has the program (a Unix path, e.g. "/usr/bin/cwebp").
bool HostHasProgram(const std::string& program);
// Runs command under /bin/sh, with its status file in folder, and waits up to timeoutMs: the
// command's exit status, or -1 when it could not be started or did not end in time.
int RunOnHost(const std::string& command, const std::wstring& folder, DWORD timeoutMs = 120000);
