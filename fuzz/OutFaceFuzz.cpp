// Fuzz harness: the ".out" face record read into a fresh face. A face that
// reads is tessellated, as its first drawing would, and written again.
#include "FuzzTarget.h"
#include "net/Face.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CFace face;
    if (face.read(in)) {
        face.getFaceter(1);
        std::ostringstream out;
        face.write(out);
    }
    return 0;
}
