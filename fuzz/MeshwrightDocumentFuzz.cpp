// Fuzz harness: host document files opened with the Meshwright plug-in
// loaded, so that the plug-in's record inside (its meshes and its net) is
// read as well.
#include "FuzzTarget.h"
#include "platform/host/DocumentFile.h"

#include <string>

MW_FUZZ_STARTS_HOST()

MW_FUZZ_TARGET()
{
    mwfuzz::InputFile file(data, size, ".vzd");
    std::string error;
    VezadHost::openDocument(mwfuzz::hostDocument(), file.path(), error);
    mwfuzz::endHostRun();
    return 0;
}
