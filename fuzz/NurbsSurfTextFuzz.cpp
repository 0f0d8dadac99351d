// Fuzz harness: the NURBS surface text with its constraints. The first byte
// chooses the entry: the stream constructor without (0) or after (1) the
// "GeoObject" word, or readAndMerge into an existing surface (2). A surface
// read valid, and one that failed, are evaluated: a failed read must leave a
// consistent surface.
#include "FuzzTarget.h"
#include "geometry/NurbsSurf.h"

#include <memory>
#include <sstream>
#include <string>

MW_FUZZ_TARGET()
{
    if (size == 0)
        return 0;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    std::unique_ptr<Fenwo::NurbsSurf> s;
    switch (data[0] % 3) {
    case 0:
        s = std::make_unique<Fenwo::NurbsSurf>(in, false);
        break;
    case 1:
        s = std::make_unique<Fenwo::NurbsSurf>(in, true);
        break;
    default: {
        const knots k(2, 2, 0.0, 1.0);
        s = std::make_unique<Fenwo::NurbsSurf>(k, &k);
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 3; ++i)
                s->setControlPoint(i, j, Vector(i, j, 0.0));
        const bool merged = s->readAndMerge(in);
        mwfuzz::require(merged || s->getUCount() == 3, "a failed merge keeps the surface");
        break;
    }
    }
    const Interval du = s->getDomain(0);
    const Interval dv = s->getDomain(1);
    s->getPoint(0.5 * (du.min + du.max), 0.5 * (dv.min + dv.max));
    return 0;
}
