// Fuzz harness: the geometry-object block that follows the word "GeoObject".
#include "FuzzTarget.h"
#include "geometry/GeoObject.h"

#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CGeoObject object;
    object.read(in);
    std::ostringstream out;
    object.write(out);
    return 0;
}
