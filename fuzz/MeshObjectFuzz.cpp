// Fuzz harness: the mesh object's record in the host's document archive. The
// first byte chooses what the rest is: even, the archive's bytes as they
// stand; odd, a POL image that the harness puts into the record's
// compressed buffer as the object writes it. An object that reads is added
// to the host's document, as the opening of a document adds it.
#include "FuzzTarget.h"
#include "platform/host/Document.h"
#include "plugin/MeshObject.h"

#include <memory>
#include <vector>

MW_FUZZ_STARTS_HOST()

MW_FUZZ_TARGET()
{
    if (size == 0)
        return 0;
    CVezadDoc& doc = mwfuzz::hostDocument();
    std::vector<unsigned char> bytes(data + 1, data + size);
    if (data[0] % 2 == 1) {
        ON_MemoryArchive written;
        written.WriteCompressedBuffer(bytes.size(), bytes.data());
        bytes = written.Buffer();
    }
    ON_MemoryArchive record(std::move(bytes));
    auto object = std::make_unique<CMWMeshObject>();
    if (object->Read(record) && object->mesh != nullptr && doc.AddObject(object.get(), true))
        object.release();
    mwfuzz::endHostRun();
    return 0;
}
