// Fuzz harness: host document files opened with the Meshwright plug-in
// loaded, so that the plug-in's record inside (its meshes and its net) is
// read as well. A document that opens is saved and opened again: whatever
// the program saves, it opens.
#include "FuzzTarget.h"
#include "platform/host/DocumentFile.h"

#include <cstdio>
#include <string>

MW_FUZZ_STARTS_HOST()

MW_FUZZ_TARGET()
{
    mwfuzz::InputFile file(data, size, ".vzd");
    std::string error;
    CVezadDoc& doc = mwfuzz::hostDocument();
    if (VezadHost::openDocument(doc, file.path(), error) != VezadHost::OpenResult::refused) {
        const std::string saved = std::string(file.path()) + ".saved.vzd";
        if (VezadHost::saveDocument(doc, saved, error))
            mwfuzz::require(VezadHost::openDocument(doc, saved, error) !=
                                VezadHost::OpenResult::refused,
                            "a document the program saved opens");
        std::remove(saved.c_str());
    }
    mwfuzz::endHostRun();
    return 0;
}
