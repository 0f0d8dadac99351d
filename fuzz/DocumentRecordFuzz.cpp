// Fuzz harness: the plug-in's record in the host's document, read as the
// opening of a document would. The first byte chooses what the rest is:
// 0 the record's bytes as they stand in the archive; 1 a net text and 2 a
// POL image, each put by the harness into a record as the plug-in writes it
// (version 4, no references, one mesh and the net, in compressed buffers
// that the fuzzer could not make up itself).
#include "FuzzTarget.h"
#include "platform/host/Document.h"
#include "plugin/MeshwrightPlugIn.h"

#include <string>
#include <vector>

MW_FUZZ_STARTS_HOST()

MW_FUZZ_TARGET()
{
    if (size == 0)
        return 0;
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    CVezadDoc& doc = mwfuzz::hostDocument();
    std::vector<unsigned char> bytes(data + 1, data + size);
    if (data[0] % 3 != 0) {
        ON_MemoryArchive written;
        const std::string mesh = data[0] % 3 == 2 ? rest : mwfuzz::smallPolImage();
        const std::string net = data[0] % 3 == 1 ? rest : std::string();
        for (int field : {4, 0, 0, 0, 1})
            written.WriteInt(field);
        written.WriteCompressedBuffer(mesh.size(), mesh.data());
        written.WriteCompressedBuffer(net.size() + 1, net.c_str());
        bytes = written.Buffer();
    }
    ON_MemoryArchive record(std::move(bytes));
    MeshwrightPlugIn().ReadDocument(doc, record, CVezadFileReadOptions());
    mwfuzz::endHostRun();
    return 0;
}
