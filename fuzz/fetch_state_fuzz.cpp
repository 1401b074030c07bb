// Reads arbitrary bytes as the fetch state file, writes a record into it and saves it.
// Whatever the file held (damaged, too deep, of the wrong shape), nothing may crash, and
// what was saved must read back whole, with the record as it was written.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "download/uFetchState.h"

using skimbrook::TFetchRecord;
using skimbrook::TFetchState;

namespace {

// One folder for the whole run, in memory when /dev/shm is there (every input writes files),
// removed when the run ends.
const std::string& Folder() {
  struct TFolder {
    std::string Path;
    ~TFolder() { std::filesystem::remove_all(Path); }
  };
  static const TFolder folder = [] {
    std::string pattern =
        std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/fetch-state-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    return TFolder{pattern + "/"};
  }();
  return folder.Path;
}

// Removes what the last input left: the state and its damaged copies.
void EmptyFolder() {
  for (const auto& entry : std::filesystem::directory_iterator(Folder()))
    std::filesystem::remove(entry.path());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string_view input(reinterpret_cast<const char*>(Data), Size);
  const std::string path = Folder() + "fetch-state.json";
  EmptyFolder();
  std::ofstream(path, std::ios::binary).write(input.data(), static_cast<std::streamsize>(input.size()));

  TFetchState state(path);
  state.Load();
  // The input's last bytes double as the record's entity tag.
  const std::string url = "http://fuzz.example/";
  TFetchRecord& record = state.For(url);
  record.ETag = std::string(input.substr(input.size() - std::min<size_t>(input.size(), 16)));
  record.LastSuccess = static_cast<skimbrook::TUnixTime>(Size) + 1;
  const TFetchRecord written = record;
  // Odd sizes also drop every other feed.
  if (Size % 2) state.KeepOnly({url});
  state.Save();

  TFetchState again(path);
  if (!again.Load().empty()) std::abort();  // a saved file must never be set aside
  const TFetchRecord* read = again.Find(url);
  if (!read || *read != written) std::abort();
  return 0;
}
