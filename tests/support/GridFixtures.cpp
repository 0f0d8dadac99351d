#include "GridFixtures.h"

#include "TestMeshes.h"

#include <utility>

namespace mwtest {

Gridbench::CGridPoint* gridPoint(float x, float y, float z)
{
    auto* p = new Gridbench::CGridPoint();
    p->data[0] = x;
    p->data[1] = y;
    p->data[2] = z;
    return p;
}

COffset_PointList* polyLine(COffset_Grid& grid, std::initializer_list<CVertex<float, 3>*> points)
{
    return polyLine(grid, std::vector<CVertex<float, 3>*>(points));
}

COffset_PointList* polyLine(COffset_Grid& grid, const std::vector<CVertex<float, 3>*>& points)
{
    auto* pl = new COffset_PointList(&grid);
    for (CVertex<float, 3>* p : points)
        pl->appendVertex(p);
    grid.addPointList(pl);
    return pl;
}

HashNet::HashNet(float x0, float y0, float step)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            at[i][j] = gridPoint(x0 + step * float(i), y0 + step * float(j));
            at[i][j]->normal.data[2] = 1.f;
        }
    for (int j = 0; j < 3; ++j)
        lines.push_back(polyLine(net, {at[0][j], at[1][j], at[2][j]}));
    for (int i = 0; i < 3; ++i)
        lines.push_back(polyLine(net, {at[i][0], at[i][1], at[i][2]}));
    capturedStdout([&] { net.buildTopology(false); });
}

std::vector<GB::Face*> HashNet::faces() const
{
    std::vector<GB::Face*> all;
    for (GB::Face* f = net.firstFace; f != nullptr; f = f->next)
        all.push_back(f);
    return all;
}

NotificationCounter::NotificationCounter()
{
    m_previous = Platform::setChangeNotificationHandler(
        [this](Platform::WindowToken, unsigned int) { ++m_count; });
}

NotificationCounter::~NotificationCounter()
{
    Platform::setChangeNotificationHandler(std::move(m_previous));
}

int NotificationCounter::take()
{
    return std::exchange(m_count, 0);
}

Platform::WindowToken testWindow()
{
    static int window;
    return &window;
}

} // namespace mwtest
