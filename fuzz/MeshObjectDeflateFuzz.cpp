// Fuzz harness: the mesh object's record in the host's document archive,
// with the fuzzed bytes as the raw deflate stream of its compressed buffer.
// The harness makes the check values around the stream (sizes, CRC-32,
// Adler-32) as the object's writer would, so that the input reaches the
// inflation and the POL reading of what it gives. An object that reads is
// added to the host's document, as the opening of a document adds it.
#include "FuzzTarget.h"
#include "platform/host/Document.h"
#include "plugin/MeshObject.h"

#include <memory>

MW_FUZZ_STARTS_HOST()

MW_FUZZ_TARGET()
{
    CVezadDoc& doc = mwfuzz::hostDocument();
    ON_MemoryArchive record(mwfuzz::compressedBufferOf(data, size));
    auto object = std::make_unique<CMWMeshObject>();
    if (object->Read(record) && object->mesh != nullptr && doc.AddObject(object.get(), true))
        object.release();
    mwfuzz::endHostRun();
    return 0;
}
