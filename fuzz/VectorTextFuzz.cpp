// Fuzz harness: the Vector text reader. The first byte sizes the vector read
// into (the unbracketed form reads exactly that many numbers).
#include "FuzzTarget.h"
#include "foundation/Vector.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    if (size == 0)
        return 0;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    Vector v(data[0] % 8);
    in >> v;
    mwfuzz::require(v.n >= 0 && (v.n == 0 || v.data != nullptr), "a read vector owns its entries");
    std::ostringstream out;
    out << v;
    return 0;
}
