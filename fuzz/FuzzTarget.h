// Entry point of a fuzz harness, built two ways from one source.
//
// Each harness file defines its body with MW_FUZZ_TARGET(). In the fuzzing
// build (clang, libFuzzer) that body is the program's LLVMFuzzerTestOneInput.
// In the ordinary build (MW_FUZZ_REPLAY) every harness is compiled into one
// replay program, which registers the body under the harness's name
// (MW_FUZZ_NAME, set by the build) and runs it once over each stored input,
// so a regression on a kept input fails the ordinary test run.
//
// A harness returns 0 and aborts when a promise of the code under test is
// broken, so that both builds report it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CVezadDoc;

namespace mwfuzz {

using Entry = int (*)(const std::uint8_t* data, std::size_t size);

// Registers a harness body of the replay program; returns true.
bool registerTarget(const char* name, Entry entry);

// A file of this process's own holding an input, for readers that take a
// path. The file is removed when the object goes.
class InputFile {
public:
    InputFile(const std::uint8_t* data, std::size_t size, const char* extension);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

// Aborts with a message on standard error when a promise does not hold.
void require(bool holds, const char* what);

// The document of the headless host with the Meshwright plug-in loaded,
// started on first use (one host per process, shut down at exit).
CVezadDoc& hostDocument();
// Starts the host and runs a small mesh object through the document once,
// so that the first uses that keep what they allocate (the host itself, the
// standard output's buffer, the id generator, the document's object table)
// come before the first input.
void startHost();
// Ends one run on the host: the document and the plug-in's net emptied,
// the session's transcript and message boxes cleared, so that runs do not
// pile up.
void endHostRun();
// The POL image of a small mesh (two triangles), as the document stores it.
std::string smallPolImage();
// The archive bytes of one compressed buffer whose zlib data carries the
// given raw deflate stream, with the fields a writer would have stored
// around it: the stream is inflated here (to no more than the readers'
// largest ratio allows) and the record holds the size and CRC-32 of what
// it gave, the stream behind the zlib header and followed by the Adler-32
// of that output. So the readers' check values hold and the fuzzed bytes
// reach the inflation and the parsing behind it. A stream that ends early
// is dropped after its end; one that fails is handed over whole, with the
// checks of the bytes it gave before it failed.
std::vector<unsigned char> compressedBufferOf(const std::uint8_t* stream, std::size_t size);

} // namespace mwfuzz

// A harness that runs on the host names MW_FUZZ_STARTS_HOST() before its
// body. In the fuzzing build the host then starts before the first input
// (libFuzzer's initialisation, startHost): what the start takes counts with
// what an empty input takes, and no input is charged with it. A first input
// that started the host left its allocations behind, and libFuzzer ran it a
// second time looking for a leak: twice the time, and the memory of both
// runs at once.
#ifdef MW_FUZZ_REPLAY
#define MW_FUZZ_STARTS_HOST()
#else
#define MW_FUZZ_STARTS_HOST()                                                                      \
    extern "C" int LLVMFuzzerInitialize(int*, char***)                                             \
    {                                                                                              \
        mwfuzz::startHost();                                                                       \
        return 0;                                                                                  \
    }
#endif

#ifdef MW_FUZZ_REPLAY
#define MW_FUZZ_TARGET()                                                                           \
    static int mwFuzzOne(const std::uint8_t* data, std::size_t size);                              \
    [[maybe_unused]] static const bool mwFuzzRegistered =                                          \
        mwfuzz::registerTarget(MW_FUZZ_NAME, &mwFuzzOne);                                          \
    static int mwFuzzOne(const std::uint8_t* data, std::size_t size)
#else
#define MW_FUZZ_TARGET()                                                                           \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
#endif
