#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace mwfuzz {

InputFile::InputFile(const std::uint8_t* data, std::size_t size, const char* extension)
{
    const char* dir = std::getenv("TMPDIR");
    path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/mwfuzz-" +
            std::to_string(::getpid()) + extension;
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

InputFile::~InputFile()
{
    std::remove(path_.c_str());
}

void require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

} // namespace mwfuzz
