// The face and loop records of the net text and the words of the face
// states.
#include "foundation/TextFields.h"
#include "geometry/GeoTokenizer.h"
#include "geometry/NurbsSurf.h"
#include "mesh/GridPoint.h"
#include "net/Face.h"
#include "net/FaceRecords.h"
#include "net/OffsetGrid.h"

#include <cstdint>
#include <iomanip>
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

// The next word (up to white space), taken from the stream; empty at its
// end. A word longer than any field of a record is cut there.
std::string nextWord(std::istream& is)
{
    std::string word;
    is >> std::setw(1024) >> word;
    return word;
}

// Every field of a face or loop record is read as the net text's writer
// writes it: a field in another form refuses the record, and the word
// found is named (reportGeoTextFault).
bool readRecordStart(std::istream& is, const char* record)
{
    char word[1024];
    if (GeoTokenizer(is, word, false, sizeof word) == GeoTokenGeoObject)
        return true;
    reportGeoTextFault(is, std::string("expected \"GeoObject\" at the start of a ") + record +
                               " record, found " + shownInFault(word));
    return false;
}

bool readWholeInt(std::istream& is, const char* what, int& value)
{
    const std::string word = nextWord(is);
    if (parseWholeField(word, value))
        return true;
    reportGeoTextFault(is, std::string("expected ") + what +
                               " (a whole number within the range of an int), found " +
                               shownInFault(word));
    return false;
}

bool readCount(std::istream& is, const char* what, int& value)
{
    if (!readWholeInt(is, what, value))
        return false;
    if (value >= 0)
        return true;
    reportGeoTextFault(is, std::string("expected ") + what + " (a count), found " +
                               std::to_string(value));
    return false;
}

// The "0" the writer puts before a record's count.
bool readZero(std::istream& is, const char* record)
{
    const std::string word = nextWord(is);
    if (word == "0")
        return true;
    reportGeoTextFault(is, std::string("expected the 0 before the count of ") + record +
                               ", found " + shownInFault(word));
    return false;
}

// One of the state words, compared exactly.
bool readStateWord(std::istream& is, const char* which, FaceState& s)
{
    const std::string word = nextWord(is);
    for (int v = 0; v < kStateCount; ++v)
        if (word == kStateWords[v]) {
            s = FaceState(v);
            return true;
        }
    reportGeoTextFault(is, std::string("expected the ") + which +
                               " state of a face record (a state word), found " +
                               shownInFault(word));
    return false;
}

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
    if (!readRecordStart(is, "face"))
        return false;
    if (!CGeoObject::read(is))
        return false;
    if (!readStateWord(is, "requested", requestedState))
        return false;
    if (requestedState == Imprint && (!readWholeInt(is, "the first Imprint count", imprint[0]) ||
                                      !readWholeInt(is, "the second Imprint count", imprint[1])))
        return false;
    if (!readStateWord(is, "computed", computedState))
        return false;
    const std::string flag = nextWord(is);
    if (flag != "0" && flag != "1") {
        reportGeoTextFault(is, "expected the surface flag of a face record (0 or 1), found " +
                                   shownInFault(flag));
        return false;
    }
    const bool hasGeometry = flag == "1";
    trimmedFace = nullptr;
    CParametricGeometry* read = nullptr;
    if (hasGeometry && requestedState == Trimmed) {
        // The reader of the net moves the trimmed face on or deletes it. Its
        // loops come back as the face had them.
        trimmedFace = new CFace();
        if (!trimmedFace->read(is, true) || trimmedFace->getNurbsSurf() == nullptr) {
            reportGeoTextFault(is, "the trimmed face of a face record could not be read");
            return false;
        }
    } else if (hasGeometry) {
        auto* s = new Fenwo::NurbsSurf(is, false);
        if (!s->valid) {
            delete s;
            reportGeoTextFault(is, "the surface of a face record could not be read");
            return false;
        }
        read = s;
    }
    errorPoints.removeAll();
    if (surface != read)
        delete surface;
    surface = read;

    int loops = 0;
    if (!readZero(is, "a face record") || !readCount(is, "the loop count of a face record", loops))
        return false;
    Loop* last = nullptr;
    for (int i = 0; i < loops; ++i) {
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
    if (!readRecordStart(is, "loop") || !CGeoObject::read(is))
        return false;
    int n = 0;
    if (!readZero(is, "a loop record") || !readCount(is, "the entry count of a loop record", n))
        return false;
    references.removeAll();
    for (int i = 0; i < n; ++i) {
        const std::string entry =
            "entry " + std::to_string(i + 1) + " of the " + std::to_string(n) + " of a loop record";
        int node = 0;
        if (!readWholeInt(is, ("the node of " + entry).c_str(), node))
            return false;
        references.append(node);
        if (version >= 5) {
            int polyLine = 0;
            if (!readWholeInt(is, ("the poly-line of " + entry).c_str(), polyLine))
                return false;
            references.append(polyLine);
        }
    }
    return !is.fail();
}

} // namespace GB
