// The face and loop records of the net text and the words of the face
// states.
#include "geometry/GeoTokenizer.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "net/OffsetGrid.h"

#include <cstdint>
#include <iostream>
#include <string>

namespace {

constexpr const char* kStateWords[] = {"Naked",         "Initial", "Draft",   "SimpleApprox",
                                       "ComplexApprox", "Frozen",  "Refresh", "Blending",
                                       "Trimmed",       "Ribbon",  "Imprint", "Planar"};
constexpr int kStateCount = int(sizeof kStateWords / sizeof kStateWords[0]);

// One entry of a loop record: the node index of a half-edge's target and the
// position of its poly-line in the grid.
struct LoopEntry {
    int node;
    std::uint32_t polyLine;
};

} // namespace

std::ostream& writeFaceState(std::ostream& os, const FaceState& s)
{
    const int v = int(s);
    return os << (v >= 0 && v < kStateCount ? kStateWords[v] : "Unknown");
}

std::istream& readFaceState(std::istream& is, FaceState& s)
{
    s = Naked;
    std::string word;
    if (!(is >> word))
        return is;
    for (int v = 0; v < kStateCount; ++v)
        if (word == kStateWords[v]) {
            s = FaceState(v);
            break;
        }
    return is;
}

namespace GB {

bool Face::write(std::ostream& os, int version) const
{
    const bool block = CGeoObject::write(os);
    writeFaceState(os, requestedState) << '\n';
    if (requestedState == Imprint)
        os << imprint[0] << ' ' << imprint[1] << '\n';
    writeFaceState(os, computedState) << '\n';
    if (requestedState == Trimmed) {
        if (trimmedFace != nullptr) {
            os << "1\n";
            trimmedFace->write(os);
        } else {
            os << "0\n";
        }
    } else if (surface != nullptr) {
        os << "1\n";
        surface->write(os);
    } else {
        os << "0\n";
    }
    int loops = 0;
    for (const Loop* loop = firstLoop; loop != nullptr; loop = loop->next)
        ++loops;
    os << " 0\n" << loops << '\n';
    for (const Loop* loop = firstLoop; loop != nullptr; loop = loop->next)
        loop->write(os, version);
    return block && os.good();
}

bool Face::read(std::istream& is, int, int version)
{
    if (readGeoToken(is, false) != GeoTokenGeoObject)
        return false;
    if (!CGeoObject::read(is))
        return false;
    readFaceState(is, requestedState);
    if (requestedState == Imprint)
        is >> imprint[0] >> imprint[1];
    readFaceState(is, computedState);
    int hasGeometry = -1;
    if (!(is >> hasGeometry))
        return false;
    trimmedFace = nullptr;
    CParametricGeometry* read = nullptr;
    if (hasGeometry == 1 && requestedState == Trimmed) {
        // The reader of the net moves the trimmed face on or deletes it. Its
        // loops come back as the face had them.
        trimmedFace = new CFace();
        if (!trimmedFace->read(is, true) || trimmedFace->getNurbsSurf() == nullptr)
            return false;
    } else if (hasGeometry == 1) {
        auto* s = new Fenwo::NurbsSurf(is, false);
        if (!s->valid) {
            delete s;
            return false;
        }
        read = s;
    }
    errorPoints.removeAll();
    if (surface != read)
        delete surface;
    surface = read;

    int zero = 0, loops = 0;
    is >> zero >> loops;
    Loop* last = nullptr;
    for (int i = 0; i < loops && is.good(); ++i) {
        auto* loop = new Loop();
        if (!loop->read(is, 0, version)) {
            delete loop;
            return false;
        }
        loop->owner = this;
        // Loops keep the order of the text, so a round trip keeps the chain.
        if (last == nullptr) {
            loop->next = firstLoop;
            firstLoop = loop;
        } else {
            loop->next = last->next;
            last->next = loop;
        }
        last = loop;
    }
    return !is.fail();
}

bool Loop::write(std::ostream& os, int version) const
{
    const bool block = CGeoObject::write(os);
    Kor::List<LoopEntry> entries;
    int start = 0;
    for (int i = 0; i < cycle.count; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
        const auto* node = h != nullptr ? dynamic_cast<const _CVertex*>(h->target) : nullptr;
        const auto* point =
            node != nullptr ? dynamic_cast<const Gridbench::CGridPoint*>(node->point) : nullptr;
        if (point == nullptr) {
            std::cout << "uups. pPoint could not! be written" << std::endl;
            continue;
        }
        int position = -1;
        if (h->polyLine != nullptr && h->polyLine->owner != nullptr)
            position = h->polyLine->owner->indexOfPointList(h->polyLine);
        entries.append({point->savedIndex, std::uint32_t(position < 0 ? 0 : position)});
        if (entries[entries.count - 1].node < entries[start].node)
            start = entries.count - 1;
    }
    os << " 0\n" << entries.count;
    for (int k = 0; k < entries.count; ++k) {
        const LoopEntry& e = entries[(start + k) % entries.count];
        os << ' ' << e.node;
        if (version >= 5)
            os << ' ' << e.polyLine << '\n';
    }
    os << '\n';
    return block && os.good();
}

bool Loop::read(std::istream& is, int, int version)
{
    if (readGeoToken(is, false) != GeoTokenGeoObject)
        return false;
    const bool block = CGeoObject::read(is);
    int zero = 0, n = 0;
    is >> zero >> n;
    if (!block)
        return false;
    references.removeAll();
    for (int i = 0; i < n; ++i) {
        int node = 0;
        if (!(is >> node))
            break;
        references.append(node);
        if (version >= 5) {
            int second = 0;
            if (!(is >> second))
                break;
            references.append(second);
        }
    }
    return !is.fail();
}

} // namespace GB
