#include "healing/ClosestSamplePair.h"

#include "curves/CurveIntersections.h"
#include "curves/PolylineCurve.h"
#include "foundation/Logging.h"
#include "geometry/NurbsSurf.h"
#include "platform/Uuid.h"

#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

void closestSamplePair(CParametricGeometry* a, CParametricGeometry* b, const Kor::List<double>& sa,
                       const Kor::List<double>& sb, double* outA, double* outB)
{
    double best = 3.4028234663852886e+38;
    int bi = -1, bj = -1;
    if (a != nullptr && b != nullptr) {
        std::vector<Vector> pointsB;
        pointsB.reserve(sb.count);
        for (int j = 0; j < sb.count; ++j)
            pointsB.push_back(b->getPoint(sb[j], 0.0));
        for (int i = 0; i < sa.count; ++i) {
            const Vector pa = a->getPoint(sa[i], 0.0);
            for (int j = 0; j < sb.count; ++j) {
                const double d2 = squaredDistance(pa, pointsB[j]);
                if (d2 < best) {
                    best = d2;
                    bi = i;
                    bj = j;
                }
            }
        }
    }
    std::cout << "dMin =" << best << " at " << bi << " of " << sa.count << " " << bj << " of "
              << sb.count << std::endl;
    if (bi < 0 || bj < 0 || outA == nullptr || outB == nullptr)
        return;
    *outA = sa[bi];
    *outB = sb[bj];
    correctCurveCurve(a, b, *outA, *outB, 0.001);

    std::ofstream dump;
    if (!openLogStream(dump, "c:/tmp/adjust.out", 18))
        return;
    const Platform::SideIdScope sideIds; // the dump's curves
    const std::unique_ptr<Fenwo::NurbsSurf> polyA(makePolylineCurve(a, sa));
    const std::unique_ptr<Fenwo::NurbsSurf> polyB(makePolylineCurve(b, sb));
    const Vector pa = a->getPoint(*outA, 0.0);
    const Vector pb = b->getPoint(*outB, 0.0);
    const std::unique_ptr<Fenwo::NurbsSurf> joint(makeCurve(pa.data, pb.data));
    for (const Fenwo::NurbsSurf* c : {polyA.get(), polyB.get(), joint.get()})
        if (c != nullptr) {
            c->write(dump);
            dump << std::endl;
        }
}
