// Replays a fuzz target without the fuzzing engine: runs it once on every file named on the
// command line and on every regular file in a named directory, in name order. The test suite
// runs it over the seed corpus and the saved crash inputs in every build, the sanitizer build
// included. A finding ends the process as it does under the fuzzer (an abort or a sanitizer
// report); a path that cannot be read fails too, so that a mistyped folder never passes as
// an empty one. Each input is named on standard error before it runs, so the last name
// printed is the culprit.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

// The files a path names: itself, or the regular files directly inside it.
[[nodiscard]] int collect_inputs(const std::filesystem::path& path,
                                 std::vector<std::filesystem::path>& inputs) {
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        if (!std::filesystem::is_regular_file(path, error)) return 1;
        inputs.push_back(path);
        return 0;
    }
    std::vector<std::filesystem::path> found;
    for (std::filesystem::directory_iterator entry(path, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->is_regular_file(error)) found.push_back(entry->path());
    }
    if (error) return 1;
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return 0;
}

[[nodiscard]] int read_input(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 1;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.bad() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (collect_inputs(argv[i], inputs) != 0) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "no input to replay\n");
        return 1;
    }
    for (const std::filesystem::path& path : inputs) {
        std::vector<std::uint8_t> bytes;
        if (read_input(path, bytes) != 0) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
        // An empty input still gets a valid pointer, as the fuzzer gives it.
        static const std::uint8_t no_byte = 0;
        (void)LLVMFuzzerTestOneInput(bytes.empty() ? &no_byte : bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "replayed %zu inputs\n", inputs.size());
    return 0;
}
