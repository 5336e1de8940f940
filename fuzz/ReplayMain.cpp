// Replays fuzz inputs without libFuzzer, for CTest with the ordinary
// compiler: each argument is a file or a folder of files, and every file is
// run once through the target. Finding no input at all is an error.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

static void Replay(const std::filesystem::path& file, size_t& count) {
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), ++count;
}

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  size_t count = 0;
  for (int i = 1; i < argc; ++i)
    if (!std::filesystem::is_directory(argv[i])) Replay(argv[i], count);
    else for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
      if (entry.is_regular_file()) Replay(entry.path(), count);
  std::printf("%zu inputs replayed\n", count);
  return count > 0 ? 0 : 2;
}
