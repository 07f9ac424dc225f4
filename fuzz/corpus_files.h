// Shared by the programs that write the fuzzers' committed seeds: a seed written whole, and the
// one argument they all take, the folder to write into.
#pragma once
#include <cstdio>
#include <string>

// False when the file could not be written whole. Bytes: any contiguous container of bytes.
template <typename Bytes>
bool Write(const std::string& path, const Bytes& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

// The folder named by the only argument; false, after saying how to call the program, without it.
inline bool FolderArgument(int argc, char** argv, std::string& folder) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return false;
  }
  folder = argv[1];
  return true;
}
