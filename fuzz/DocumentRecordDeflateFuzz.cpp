// Fuzz harness: the plug-in's record in the host's document, with the fuzzed
// bytes after the first as the raw deflate stream of one of its compressed
// buffers. The harness makes the check values around the stream (sizes,
// CRC-32, Adler-32) as a writer would, so that the input reaches the
// inflation and the reading of what it gives. The first byte chooses the
// buffer: even, the net text (beside the POL image of a small mesh); odd,
// the mesh's POL image (beside an empty net text). The record is otherwise
// the plug-in's own: version 4, no references, one mesh and the net.
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
    CVezadDoc& doc = mwfuzz::hostDocument();
    const std::vector<unsigned char> stream = mwfuzz::compressedBufferOf(data + 1, size - 1);
    ON_MemoryArchive written;
    for (int field : {4, 0, 0, 0, 1})
        written.WriteInt(field);
    if (data[0] % 2 == 0) {
        const std::string mesh = mwfuzz::smallPolImage();
        written.WriteCompressedBuffer(mesh.size(), mesh.data());
        written.WriteByte(stream.size(), stream.data());
    } else {
        written.WriteByte(stream.size(), stream.data());
        written.WriteCompressedBuffer(1, "");
    }
    ON_MemoryArchive record(written.Buffer());
    MeshwrightPlugIn().ReadDocument(doc, record, CVezadFileReadOptions());
    mwfuzz::endHostRun();
    return 0;
}
