// Replays committed fuzz inputs through the fuzz targets, so that every test
// run keeps the targets built and their corpora passing.
//   vellum_fuzz_replay TARGET FILE-OR-DIRECTORY...
// Directories are replayed file by file, recursively, in name order.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

using FuzzTarget = int (*)(const uint8_t* data, size_t size);

extern "C" int FuzzTarget_decode_flate(const uint8_t*, size_t);
extern "C" int FuzzTarget_decode_ascii85(const uint8_t*, size_t);
extern "C" int FuzzTarget_decode_ascii_hex(const uint8_t*, size_t);
extern "C" int FuzzTarget_decode_run_length(const uint8_t*, size_t);
extern "C" int FuzzTarget_decode_lzw(const uint8_t*, size_t);
extern "C" int FuzzTarget_wrap_ccitt_fax(const uint8_t*, size_t);
extern "C" int FuzzTarget_wrap_ccitt_fax_long(const uint8_t*, size_t);
extern "C" int FuzzTarget_dictionary(const uint8_t*, size_t);
extern "C" int FuzzTarget_filter_chain(const uint8_t*, size_t);
extern "C" int FuzzTarget_document(const uint8_t*, size_t);
extern "C" int FuzzTarget_security(const uint8_t*, size_t);

namespace {

struct NamedTarget {
    const char* name;
    FuzzTarget run;
};

const NamedTarget targets[] = {
    {"decode_flate", FuzzTarget_decode_flate},
    {"decode_ascii85", FuzzTarget_decode_ascii85},
    {"decode_ascii_hex", FuzzTarget_decode_ascii_hex},
    {"decode_run_length", FuzzTarget_decode_run_length},
    {"decode_lzw", FuzzTarget_decode_lzw},
    {"wrap_ccitt_fax", FuzzTarget_wrap_ccitt_fax},
    {"wrap_ccitt_fax_long", FuzzTarget_wrap_ccitt_fax_long},
    {"dictionary", FuzzTarget_dictionary},
    {"filter_chain", FuzzTarget_filter_chain},
    {"document", FuzzTarget_document},
    {"security", FuzzTarget_security},
};

bool Replay(FuzzTarget run, const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    // A failing check aborts the program; naming the input first tells which one.
    std::fprintf(stderr, "%s\n", path.string().c_str());
    run(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TARGET FILE-OR-DIRECTORY...\n", argv[0]);
        return 2;
    }
    FuzzTarget run = nullptr;
    for (const NamedTarget& target : targets) {
        if (std::strcmp(target.name, argv[1]) == 0) run = target.run;
    }
    if (run == nullptr) {
        std::fprintf(stderr, "unknown target %s\n", argv[1]);
        return 2;
    }
    std::vector<std::filesystem::path> inputs;
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path argument(argv[i]);
        if (std::filesystem::is_directory(argument)) {
            for (const auto& item : std::filesystem::recursive_directory_iterator(argument)) {
                if (item.is_regular_file()) inputs.push_back(item.path());
            }
        } else {
            inputs.push_back(argument);
        }
    }
    // An empty corpus would let this test pass without running anything.
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& path : inputs) {
        if (!Replay(run, path)) return 1;
    }
    std::printf("replayed %zu inputs through %s\n", inputs.size(), argv[1]);
    return 0;
}
