#include "geometry/Transformation.h"

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
