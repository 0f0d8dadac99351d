#include "geometry/Transformation.h"

#include "geometry/NurbsSurf.h"

void C3DTransformation::reset()
{
    rotation.resize(3, FullMatrix);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            rotation.at(i, j) = 0.0;
        rotation.at(i, i) = 1.0;
        translation.data[i] = 0.0;
        centre.data[i] = 0.0;
    }
    mode = 0;
}

void C3DTransformation::set(const Matrix& r, const double* t, const double* c)
{
    rotation.resize(3, FullMatrix);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            rotation.at(i, j) = i < r.rows && j < r.cols ? r.at(i, j) : 0.0;
        translation.data[i] = t != nullptr ? t[i] : 0.0;
        centre.data[i] = c != nullptr ? c[i] : 0.0;
    }
}

void C3DTransformation::transformPoint(Vector& x) const
{
    double d[3];
    for (int i = 0; i < 3; ++i)
        d[i] = x[i] - centre.data[i];
    for (int i = 0; i < 3; ++i)
        x[i] = rotation.at(i, 0) * d[0] + rotation.at(i, 1) * d[1] + rotation.at(i, 2) * d[2] +
               translation.data[i];
}

bool transformNurbsSurf(CParametricGeometry* s, const C3DTransformation& t)
{
    auto* surface = dynamic_cast<Fenwo::NurbsSurf*>(s);
    if (surface == nullptr)
        return false;
    const int nU = surface->getUCount();
    const int nV = surface->getVCount();
    for (int j = 0; j < nV; ++j)
        for (int i = 0; i < nU; ++i) {
            Vector p;
            surface->getControlPoint(i, j, p);
            if (p.n < 3)
                continue;
            t.transformPoint(p);
            surface->setControlPointPosition(i, j, p);
        }
    return true;
}

Fenwo::NurbsSurf* transformSurfaceCopy(const Fenwo::NurbsSurf* s, const C3DTransformation& t)
{
    if (s == nullptr)
        return nullptr;
    auto* copy = new Fenwo::NurbsSurf(*s);
    transformNurbsSurf(copy, t);
    return copy;
}
