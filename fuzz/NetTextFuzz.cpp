// Fuzz harness: the net text reader, over an empty net without a mesh. A net
// it reads is written out again.
#include "FuzzTarget.h"
#include "net/SurfaceNet.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    GB::CSurfaceNet net;
    if (net.read(in)) {
        std::ostringstream out;
        mwfuzz::require(net.write(out), "a net read is written again");
    }
    return 0;
}
