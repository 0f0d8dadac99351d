#include "display/ViewProjection.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <iostream>

namespace {

// Current viewport and matrices; each failed read is reported and the
// values read so far are kept.
struct ViewState {
    GLint viewport[4] = {0, 0, 0, 0};
    GLdouble modelView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    GLdouble projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

    void read(bool report)
    {
        auto failed = [report](const char* message) {
            if (glGetError() == GL_NO_ERROR)
                return;
            if (report)
                std::cout << message << std::endl;
        };
        glGetIntegerv(GL_VIEWPORT, viewport);
        failed("getViewport error");
        glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
        failed("getModelView error");
        glGetDoublev(GL_PROJECTION_MATRIX, projection);
        failed("getProjection error");
    }
};

// Element (row, column) of an OpenGL matrix, which is stored column by column.
double element(const GLdouble* m, int row, int column)
{
    return m[column * 4 + row];
}

} // namespace

bool projectToWindow(const CVertex<double, 3>& p, int& x, int& y, float& depth)
{
    ViewState view;
    view.read(false);
    GLdouble wx = 0.0, wy = 0.0, wz = 0.0;
    if (gluProject(p.data[0], p.data[1], p.data[2], view.modelView, view.projection, view.viewport,
                   &wx, &wy, &wz) != GL_TRUE)
        return false;
    x = int(wx);
    y = view.viewport[3] - int(wy);
    depth = float(wz);
    return true;
}

void unprojectWindowPoint(int x, int y, Vector& nearPoint, Vector& farPoint)
{
    nearPoint.setSize(3);
    farPoint.setSize(3);
    ViewState view;
    view.read(true);
    const double wy = double(view.viewport[3] - y);
    Vector* targets[2] = {&nearPoint, &farPoint};
    for (int k = 0; k < 2; ++k) {
        Vector& out = *targets[k];
        if (gluUnProject(double(x), wy, double(k), view.modelView, view.projection, view.viewport,
                         &out.data[0], &out.data[1], &out.data[2]) != GL_TRUE)
            std::cout << "gluUnproject error" << std::endl;
    }
}

double screenDistanceToWorld(int x1, int y1, int x2, int y2)
{
    Vector near1, far1, near2, far2;
    unprojectWindowPoint(x1, y1, near1, far1);
    unprojectWindowPoint(x2, y2, near2, far2);
    return 0.5 * (norm(near2 - near1) + norm(far2 - far1));
}

double pixelSize()
{
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    if (glGetError() != GL_NO_ERROR || viewport[2] <= 0)
        return -1.0;
    return screenDistanceToWorld(viewport[0], viewport[1], viewport[0] + viewport[2], viewport[1]);
}

Vector& viewAxes(Vector& depth, Vector& right, Vector& up)
{
    ViewState view;
    view.read(false);
    Vector* axes[3] = {&right, &up, &depth};
    for (int row = 0; row < 3; ++row) {
        // M^T times row `row` of P (upper 3 x 3 parts).
        Vector& axis = *axes[row];
        axis.setSize(3);
        for (int k = 0; k < 3; ++k) {
            double sum = 0.0;
            for (int r = 0; r < 3; ++r)
                sum += element(view.modelView, r, k) * element(view.projection, row, r);
            axis[k] = sum;
        }
        axis.normalize();
    }
    return depth;
}
