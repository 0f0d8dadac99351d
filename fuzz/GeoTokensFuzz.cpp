// Fuzz harness: the geometry-text tokeniser and counted ("Hollerith")
// strings, walked over the whole input. The first byte sets the tokeniser's
// line skipping and its buffer size.
#include "FuzzTarget.h"
#include "geometry/GeoObject.h"
#include "geometry/GeoTokenizer.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    if (size == 0)
        return 0;
    const bool skipLine = (data[0] & 1) != 0;
    const unsigned bufferSize = (data[0] & 2) != 0 ? 8u : 1024u;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    char buffer[1024];
    CSimpleString text;
    for (std::size_t steps = 0; steps <= size && in.good(); ++steps) {
        const std::streampos before = in.tellg();
        const int token = GeoTokenizer(in, buffer, skipLine, bufferSize);
        if (token == GeoTokenDigit && !readHollerith(text, in))
            in.clear();
        if (in.good() && in.tellg() == before)
            in.get(); // single characters are only looked at
    }
    readGeoToken(in, skipLine);
    return 0;
}
