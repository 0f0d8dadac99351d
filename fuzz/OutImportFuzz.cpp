// Fuzz harness: a ".out" file imported through the plug-in into the host's
// document (surfaces, curves, trimmed faces as Breps).
#include "FuzzTarget.h"
#include "platform/host/Document.h"
#include "plugin/MeshwrightPlugIn.h"

#include <string>

MW_FUZZ_STARTS_HOST()

MW_FUZZ_TARGET()
{
    CVezadDoc& doc = mwfuzz::hostDocument();
    mwfuzz::InputFile file(data, size, ".out");
    const std::wstring path(file.path(), file.path() + std::string(file.path()).size());
    MeshwrightPlugIn().ReadFile(path.c_str(), 0, doc, CVezadFileReadOptions());
    mwfuzz::endHostRun();
    return 0;
}
