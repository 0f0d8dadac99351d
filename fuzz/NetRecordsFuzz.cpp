// Fuzz harness: the face and loop records of the net text. The first byte
// chooses the record (even: a face, odd: a loop) and the version of the text
// (4 to 7); the rest is the record. A trimmed face a face record holds is
// tessellated, as its first drawing would; it is not the face's own and goes
// with it.
#include "FuzzTarget.h"
#include "net/Face.h"
#include "net/FaceRecords.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    if (size == 0)
        return 0;
    const int version = 4 + (data[0] >> 1) % 4;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    if (data[0] % 2 == 0) {
        GB::Face face;
        face.read(in, 0, version);
        if (face.trimmedFace != nullptr && face.trimmedFace->getNurbsSurf() != nullptr)
            face.trimmedFace->getFaceter(1);
        delete face.trimmedFace;
        face.trimmedFace = nullptr;
    } else {
        GB::Loop loop;
        if (loop.read(in, 0, version)) {
            std::ostringstream out;
            loop.write(out, version);
        }
    }
    return 0;
}
