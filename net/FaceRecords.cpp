#include "net/FaceRecords.h"

#include "geometry/ParametricGeometry.h"
#include "net/PointList.h"

#include <algorithm>
#include <atomic>
#include <map>

namespace GB {

namespace {

long nextFaceSerial()
{
    static std::atomic<long> counter{0};
    return counter.fetch_add(1) + 1;
}

} // namespace

Face::Face() : serial(nextFaceSerial()) {}

Face::Face(Loop* first) : Face()
{
    firstLoop = first;
    if (first != nullptr)
        first->owner = this;
}

Face::~Face()
{
    for (Loop* loop = firstLoop; loop != nullptr;) {
        Loop* following = loop->next;
        delete loop;
        loop = following;
    }
    firstLoop = nullptr;
    delete surface;
    surface = nullptr;
}

Loop::~Loop()
{
    // The coedges outlive the loop in the net's set until they are made anew.
    for (CCoEdge* coedge : coedges) {
        if (coedge == nullptr)
            continue;
        if (coedge->leftLoop == this)
            coedge->leftLoop = nullptr;
        if (coedge->rightLoop == this)
            coedge->rightLoop = nullptr;
    }
    clearCycle();
}

void Loop::clearCycle()
{
    for (int i = 0; i < cycle.count; ++i) {
        if (cycle.items[i] == nullptr)
            continue;
        delete cycle.items[i]->target;
        delete cycle.items[i];
    }
    cycle.removeAll();
}

Kor::List<Interval> Loop::getPolyLineRanges(Kor::List<COffset_PointList*>& polyLines) const
{
    polyLines.removeAll();
    std::map<COffset_PointList*, std::pair<int, int>,
             bool (*)(const COffset_PointList*, const COffset_PointList*)>
        ranges(&lessByCreation<COffset_PointList>);
    for (const CCoEdge* coedge : coedges) {
        if (coedge == nullptr)
            continue;
        auto [entry, made] =
            ranges.try_emplace(coedge->polyLine, coedge->firstIndex, coedge->secondIndex);
        if (!made) {
            entry->second.first = std::min(entry->second.first, coedge->firstIndex);
            entry->second.second = std::max(entry->second.second, coedge->secondIndex);
        }
    }
    Kor::List<Interval> result;
    for (const auto& [polyLine, range] : ranges) {
        result.append(Interval(range.first, range.second));
        polyLines.append(polyLine);
    }
    return result;
}

} // namespace GB

bool lessCornerId(const std::intptr_t* a, const std::intptr_t* b)
{
    return *a < *b;
}

CCoEdge::CCoEdge(int a, int b, COffset_PointList* line)
    : firstIndex(std::min(a, b)), secondIndex(std::max(a, b)), polyLine(line)
{
}

void CCoEdge::setLeftSurface(CParametricGeometry* surface)
{
    leftSideSurface = surface;
    leftSet = surface != nullptr;
    if (surface != nullptr)
        leftInterval = surface->getDomain(0);
}

void CCoEdge::setRightSurface(CParametricGeometry* surface)
{
    rightSideSurface = surface;
    rightSet = surface != nullptr;
    if (surface != nullptr)
        rightInterval = surface->getDomain(0);
}

bool CCoEdge::operator<(const CCoEdge& other) const
{
    if (firstIndex != other.firstIndex)
        return firstIndex < other.firstIndex;
    if (secondIndex != other.secondIndex)
        return secondIndex < other.secondIndex;
    return lessByCreation(polyLine, other.polyLine);
}
