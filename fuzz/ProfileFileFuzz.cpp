// libFuzzer entry for the profile-file layer. The input is
// "section\0key\0file content": the content is read and written through a
// scratch file, and a successful write must read back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "i18n/ProfileFile.h"

namespace {

char g_folder[] = "/tmp/rdrconf-fuzz-XXXXXX";

void RemoveScratchFolder() {
  const std::string folder = g_folder;
  std::remove((folder + "/t.ini").c_str());
  rmdir(g_folder);
}

const std::string& ScratchFile() {
  static const std::string path = [] {
    if (mkdtemp(g_folder) == nullptr) std::abort();
    std::atexit(RemoveScratchFolder);
    return std::string(g_folder) + "/t.ini";
  }();
  return path;
}

bool Put(const std::string& path, std::string_view bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = input.find('\0');
  if (first == std::string_view::npos) return 0;
  const std::size_t second = input.find('\0', first + 1);
  if (second == std::string_view::npos) return 0;
  const std::string_view section = input.substr(0, first);
  const std::string_view key = input.substr(first + 1, second - first - 1);
  const std::string_view content = input.substr(second + 1);

  const std::string& path = ScratchFile();
  if (!Put(path, content)) std::abort();
  const std::string value = rdrconf::ReadProfileString(path, section, key, "default");
  if (value.size() > rdrconf::kProfileValueLimit) std::abort();

  if (rdrconf::WriteProfileString(path, section, key, "fuzz-value") &&
      rdrconf::ReadProfileString(path, section, key, "") != "fuzz-value") {
    std::abort();
  }
  return 0;
}
