// Replays stored inputs through the harnesses: `fuzz_replay NAME PATH...`
// runs harness NAME once on every file given, and on every file inside every
// folder given (in name order). A path that does not exist fails the run
// under CI (CI=true) and is passed over with a note elsewhere.
#include "FuzzTarget.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace mwfuzz {
namespace {

std::map<std::string, Entry>& registry()
{
    static std::map<std::string, Entry> targets;
    return targets;
}

} // namespace

bool registerTarget(const char* name, Entry entry)
{
    registry()[name] = entry;
    return true;
}

} // namespace mwfuzz

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const auto& targets = mwfuzz::registry();
    const auto target = argc > 1 ? targets.find(argv[1]) : targets.end();
    if (target == targets.end()) {
        std::fprintf(stderr, "usage: fuzz_replay NAME PATH...; names:");
        for (const auto& t : targets)
            std::fprintf(stderr, " %s", t.first.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    const char* ci = std::getenv("CI");
    const bool underCI = ci != nullptr && std::strcmp(ci, "true") == 0;

    std::vector<fs::path> files;
    for (int a = 2; a < argc; ++a) {
        const fs::path path(argv[a]);
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            std::vector<fs::path> inside;
            for (const auto& entry : fs::directory_iterator(path, ec))
                if (entry.is_regular_file())
                    inside.push_back(entry.path());
            std::sort(inside.begin(), inside.end());
            files.insert(files.end(), inside.begin(), inside.end());
        } else if (fs::is_regular_file(path, ec)) {
            files.push_back(path);
        } else if (underCI) {
            std::fprintf(stderr, "missing input: %s\n", argv[a]);
            return 1;
        } else {
            std::printf("passed over (missing): %s\n", argv[a]);
        }
    }
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        std::printf("%s\n", file.string().c_str());
        std::fflush(stdout);
        target->second(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%s: %zu inputs replayed\n", argv[1], files.size());
    return 0;
}
