#include "GridFixtures.h"

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
    auto* pl = new COffset_PointList(&grid);
    for (CVertex<float, 3>* p : points)
        pl->appendVertex(p);
    grid.addPointList(pl);
    return pl;
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
