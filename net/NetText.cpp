// The net text: writer and reader of the whole net (grid points, poly-lines,
// settings, faces), the relocation of stored faces onto the faces the
// topology finds, and the face surface display it sets up.
#include "display/entities/OpenGLSasSurf.h"
#include "geometry/NurbsSurf.h"
#include "mesh/CharScanner.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "net/Face.h"
#include "net/SurfaceNet.h"
#include "platform/InputState.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <locale>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace GB {

namespace {

// The stream's precision and locale for the life of a read or write: 16
// digits (6 would lose grid coordinates on every save) and the classic "C"
// locale, whatever the user's locale writes as a decimal point.
class TextFormatScope {
public:
    explicit TextFormatScope(std::ios_base& s)
        : stream(s), precision(s.precision(16)), locale(s.imbue(std::locale::classic()))
    {
    }
    ~TextFormatScope()
    {
        stream.precision(precision);
        stream.imbue(locale);
    }
    TextFormatScope(const TextFormatScope&) = delete;
    TextFormatScope& operator=(const TextFormatScope&) = delete;

private:
    std::ios_base& stream;
    std::streamsize precision;
    std::locale locale;
};

// The sorted node indices of the targets of the face's first loop: the key
// of the canonical order of faces in the text.
std::vector<int> faceKey(const Face* face)
{
    std::vector<int> key;
    if (face->firstLoop == nullptr)
        return key;
    const GraphAlgorithm::Cycle& cycle = face->firstLoop->cycle;
    for (int i = 0; i < cycle.count; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
        const auto* node = h != nullptr ? dynamic_cast<const _CVertex*>(h->target) : nullptr;
        if (const auto* p =
                node != nullptr ? dynamic_cast<const Gridbench::CGridPoint*>(node->point) : nullptr)
            key.push_back(p->savedIndex);
    }
    std::sort(key.begin(), key.end());
    return key;
}

std::string lowerCase(std::string word)
{
    for (char& c : word)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

} // namespace

void faceStateColour(FaceState state, bool blendingColour, float rgba[4])
{
    float r = 0.9f, g = 0.9f, b = 0.2f;
    switch (state) {
    case Initial:
        r = 0.125f, g = 0.698f, b = 0.666f;
        break;
    case Draft:
        r = 0.4666f, g = 0.53333f, b = 0.6f;
        break;
    case Imprint:
        r = 0.8235294f, g = 0.4117647f, b = 0.11764706f;
        break;
    case Planar:
        r = 0.596f, g = 0.984f, b = 0.596f;
        break;
    case Blending:
        if (blendingColour)
            r = 0.23529412f, g = 0.7019608f, b = 0.44313726f;
        break;
    default:
        break;
    }
    rgba[0] = r, rgba[1] = g, rgba[2] = b, rgba[3] = 1.f;
}

bool matchLoopUpToRotation(const GraphAlgorithm::Cycle& cycle, const Kor::List<int>& pairs)
{
    const int n = cycle.count;
    if (n == 0 || pairs.count != 2 * n)
        return false;
    auto targetId = [&](int i) -> std::intptr_t {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i % n];
        return h != nullptr && h->target != nullptr ? h->target->getId() : -1;
    };
    int k = 0;
    while (k < n && targetId(k) != pairs[0])
        ++k;
    if (k == n)
        return false;
    for (int i = 1; i < n; ++i)
        if (targetId(i + k) != pairs[2 * i])
            return false;
    return true;
}

namespace {

// Whether the loop's half-edges, taken from the one whose target is the
// first pair's node, run along the poly-lines the pairs name (their places
// in the grid's list).
bool polyLinesMatch(const GraphAlgorithm::Cycle& cycle, const Kor::List<int>& pairs,
                    const COffset_Grid& grid)
{
    const int n = cycle.count;
    if (n == 0 || pairs.count != 2 * n)
        return false;
    int k = 0;
    while (k < n && (cycle.items[k] == nullptr || cycle.items[k]->target == nullptr ||
                     cycle.items[k]->target->getId() != pairs[0]))
        ++k;
    if (k == n)
        return false;
    for (int i = 0; i < n; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[(i + k) % n];
        if (h == nullptr || grid.indexOfPointList(h->polyLine) != pairs[2 * i + 1])
            return false;
    }
    return true;
}

} // namespace

bool CSurfaceNet::write(std::ostream& out)
{
    removeSinglePointLists();
    TextFormatScope format(out);

    // Node numbers: every point of the poly-lines once, by position, points
    // at one position in the order of their first use (so a text read back
    // numbers them alike). Two grid points at one place stay two nodes: as
    // one node, a poly-line through both would pass one point twice, which
    // the text read back takes for a junction where the net has none, and
    // the faces there would not find their loops again. A point that is no
    // hit record has no normal to write and gets no node.
    std::vector<CVertex<float, 3>*> entries;
    std::unordered_set<const CVertex<float, 3>*> listed;
    for (COffset_PointList* pl : pointLists)
        for (CVertex<float, 3>* v : pl->vertices)
            if (v != nullptr && listed.insert(v).second) {
                if (auto* g = dynamic_cast<Gridbench::CGridPoint*>(v))
                    g->savedIndex = -1;
                entries.push_back(v);
            }
    std::stable_sort(entries.begin(), entries.end(), lessVertex<CVertex<float, 3>>);
    std::vector<const Mesh::CBaseMesh::CBaseHitInfo*> nodes;
    std::unordered_map<const CVertex<float, 3>*, int> nodeOf;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto* hit = dynamic_cast<const Mesh::CBaseMesh::CBaseHitInfo*>(entries[i]);
        if (hit == nullptr) {
            std::cout << "excpected a HitItem. at index=" << i << std::endl;
            continue;
        }
        const int index = int(nodes.size());
        nodes.push_back(hit);
        nodeOf[hit] = index;
        if (auto* g = dynamic_cast<Gridbench::CGridPoint*>(entries[i])) {
            g->savedIndex = index;
            g->changed = false;
        }
    }

    const int version = topologySwitch ? 7 : 2;
    out << "Version " << version << '\n';
    out << "Nodes " << nodes.size() << '\n';
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const Mesh::CBaseMesh::CBaseHitInfo* p = nodes[i];
        out << i << ' ' << p->data[0] << ' ' << p->data[1] << ' ' << p->data[2] << ' '
            << p->normal.data[0] << ' ' << p->normal.data[1] << ' ' << p->normal.data[2] << '\n';
        if (version <= 1)
            continue;
        const auto* g = dynamic_cast<const Gridbench::CGridPoint*>(p);
        for (int d = 0; d < 2; ++d) {
            const CVector<float, 3> zero;
            const CVector<float, 3>& v = g == nullptr ? zero
                                         : d == 0     ? g->direction1
                                                      : g->direction2;
            const bool set = g != nullptr && (d == 0 ? g->direction1Set : g->direction2Set);
            const bool second = g != nullptr && (d == 0 ? g->direction1Flag : g->direction2Flag);
            out << set << '\t' << second << '\t' << v.data[0] << ' ' << v.data[1] << ' '
                << v.data[2] << '\n';
        }
    }

    out << "Polylines " << pointLists.count << '\n';
    for (COffset_PointList* pl : pointLists) {
        Kor::List<int> indices;
        for (int j = 0; j < pl->vertices.count; ++j) {
            const CVertex<float, 3>* v = pl->vertices[j];
            if (dynamic_cast<const Mesh::CBaseMesh::CBaseHitInfo*>(v) == nullptr) {
                std::cout << "excpected a HitItem 2. at index=" << j << std::endl;
                continue;
            }
            const auto found = nodeOf.find(v);
            const int index = found != nodeOf.end() ? found->second : -1;
            if (index < 0)
                std::cout << " referring to an unsaved vertex " << std::endl;
            indices.append(index);
        }
        // A closed poly-line goes on round its closing segment to its first
        // node, written twice: a reader that takes a node listed twice in a
        // row for one point has the ring back at its first point, and this
        // reader takes the repeat for the closing (a poly-line drawn back to
        // its first point ends with that node once).
        if (pl->closed && indices.count >= 3 && indices[0] != indices[indices.count - 1]) {
            const int first = indices[0];
            indices.append(first);
            indices.append(first);
        }
        // The count is that of the indices written, so a reader stays in step.
        out << indices.count << "\n ";
        auto* curve = dynamic_cast<Fenwo::NurbsSurf*>(pl->getCurve());
        if (pl->curveLocked && curve != nullptr && curve->uKnots != nullptr &&
            curve->vKnots != nullptr && curve->controlNet) {
            out << "2\n";
            curve->write(out);
            out << '\n';
        } else {
            out << "1\n";
        }
        for (int j = 0; j < indices.count; ++j)
            out << (j > 0 ? " " : "") << indices[j];
        if (version >= 7)
            out << '\n' << pl->optionFlag;
        out << '\n';
    }

    if (version >= 3) {
        out << "Topology\n";
        out << mode << ' ' << sideCount << ' ' << numCtrlPts << '\n';
        out << surfaceTolerance << '\n'
            << (draftOnly ? "1" : "0") << '\n'
            << surfaceQuality << '\n'
            << (depthTest ? "1" : "0") << '\n';
        for (double t : tolerances)
            out << t << '\n';
        std::vector<std::pair<std::vector<int>, const Face*>> faces;
        for (const Face* f = firstFace; f != nullptr; f = f->next)
            if (f->requestedState != Ribbon)
                faces.emplace_back(faceKey(f), f);
        std::stable_sort(faces.begin(), faces.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        out << faces.size() << '\n';
        for (const auto& [key, face] : faces)
            face->write(out, version);
    }
    savedMark = true;
    return true;
}

namespace {

// A poly-line record as read: its entries (node indices, each within the
// node table), its closing, its attached curve (owned until a poly-line
// takes it) and its option flag.
struct PolyLineRecord {
    std::vector<int> entries;
    bool closed = false;
    Fenwo::NurbsSurf* curve = nullptr;
    bool option = false;
};

} // namespace

bool CSurfaceNet::read(std::istream& in)
{
    Platform::WaitCursor wait;
    TextFormatScope format(in);
    int version = 0;
    Kor::List<Gridbench::CGridPoint*> nodes; // by node index
    enum Section { NoSection, NodeSection, PolyLineSection } section = NoSection;
    bool topology = false;
    bool netText = false;  // a header or section word was met
    bool cutShort = false; // a record could not be read to its end
    bool lost = false;     // a stored loop found no face
    // The poly-line records enter the net once the grid part has been read:
    // a text with a poly-line no net can hold is refused before the net
    // changes, with the reason.
    std::vector<PolyLineRecord> records;
    std::string refusal;

    while (in.good() && !topology) {
        char next = 0;
        const int kind = peekTokenClass(in, &next, true);
        if (kind == TokenClassLetter) {
            std::string word;
            in >> word;
            word = lowerCase(word);
            int count = 0;
            netText = netText || word == "nodes" || word == "polylines" || word == "version";
            if (word == "nodes") {
                section = NodeSection;
                in >> count;
            } else if (word == "polylines") {
                section = PolyLineSection;
                in >> count;
            } else if (word == "version") {
                in >> version;
                if (version == 4)
                    version = 2;
            } else if (word == "topology") {
                std::string rest;
                std::getline(in, rest);
                topology = true;
            }
        } else if (kind == TokenClassNumber && section == NodeSection) {
            int index = 0;
            Mesh::CBaseMesh::CBaseHitInfo hit;
            in >> index >> hit.data[0] >> hit.data[1] >> hit.data[2] >> hit.normal.data[0] >>
                hit.normal.data[1] >> hit.normal.data[2];
            if (in.fail()) {
                cutShort = true;
                break;
            }
            auto* point = new Gridbench::CGridPoint(hit);
            if (version > 1)
                for (int d = 0; d < 2; ++d) {
                    int set = 0, second = 0;
                    CVector<float, 3>& v = d == 0 ? point->direction1 : point->direction2;
                    in >> set >> second >> v.data[0] >> v.data[1] >> v.data[2];
                    // Stored as written: normalising again would move the
                    // last digits on every save.
                    (d == 0 ? point->direction1Set : point->direction2Set) = set != 0;
                    (d == 0 ? point->direction1Flag : point->direction2Flag) = second > 0;
                }
            point->changed = false;
            nodes.append(point);
            cutShort = in.fail();
        } else if (kind == TokenClassNumber && section == PolyLineSection) {
            int count = 0;
            if (!(in >> count)) {
                cutShort = true;
                break;
            }
            records.emplace_back();
            PolyLineRecord& record = records.back();
            if (version > 0) {
                int curveKind = -1;
                in >> curveKind;
                if (curveKind == 2) {
                    auto* curve = new Fenwo::NurbsSurf(in, false);
                    if (curve->valid) {
                        record.curve = curve;
                    } else {
                        std::cout << "poly-line curve not read." << std::endl;
                        delete curve;
                    }
                }
            }
            // One node listed twice in a row (as writers that made one node
            // of the grid points at one place wrote a poly-line through
            // both) is one point the poly-line passes: twice, it would make
            // a junction of no length. A poly-line of three points or more
            // that ends at its first node listed twice in a row is closed:
            // the repeat is its closing segment (a poly-line drawn back to
            // its first point ends with that node once). An index that names
            // no node read before is no point of the net: the poly-line
            // would lose a point and its faces a corner, so the whole text
            // is refused.
            std::vector<int>& entries = record.entries;
            bool repeatedAtEnd = false;
            for (int j = 0; j < count; ++j) {
                int index = -1;
                if (!(in >> index))
                    break;
                if (index < 0 || index >= nodes.count) {
                    refusal = "poly-line " + std::to_string(records.size()) +
                              " of the net text names node " + std::to_string(index) +
                              ", but the text has " + std::to_string(nodes.count) +
                              " nodes before it";
                    break;
                }
                repeatedAtEnd = !entries.empty() && index == entries.back();
                if (!repeatedAtEnd)
                    entries.push_back(index);
            }
            if (!refusal.empty())
                break;
            if (repeatedAtEnd && entries.size() >= 4 && entries.back() == entries.front()) {
                entries.pop_back();
                record.closed = true;
            }
            // A poly-line passes a point once, or twice where it runs
            // through itself: more entries than twice its points are no
            // poly-line of a net (a back and forth between two nodes would
            // have every entry fitted, the work of a net of that many
            // points from a text of a few bytes).
            if (entries.size() > 4) {
                std::vector<int> points(entries);
                std::sort(points.begin(), points.end());
                const std::size_t distinct =
                    std::size_t(std::unique(points.begin(), points.end()) - points.begin());
                if (entries.size() > 2 * distinct) {
                    refusal = "poly-line " + std::to_string(records.size()) +
                              " of the net text passes its " + std::to_string(distinct) +
                              " points " + std::to_string(entries.size()) +
                              " times, a poly-line passes a point twice at most";
                    break;
                }
            }
            if (version > 6) {
                int option = 0;
                in >> option;
                record.option = option == 1;
            }
            cutShort = in.fail();
        } else if (kind == TokenClassNumber) {
            std::string token; // a number outside the sections
            in >> token;
        } else if (in.good()) {
            in.get(); // a stray character: taken, so the scan moves on
        }
    }
    if (!refusal.empty()) {
        std::cout << refusal << ": the text is refused." << std::endl;
        for (PolyLineRecord& record : records)
            delete record.curve;
        for (Gridbench::CGridPoint* point : nodes)
            delete point;
        return false;
    }
    topologyPending = true;
    for (PolyLineRecord& record : records) {
        auto* pl = new COffset_PointList(this);
        pointLists.append(pl); // new, so it is no poly-line of the net yet
        if (record.curve != nullptr)
            pl->setCurve(record.curve, Kor::List<double>(), 0, -1);
        record.curve = nullptr;
        pl->closed = record.closed;
        for (int index : record.entries) {
            pl->appendVertex(nodes[index]);
            pl->parameters.append(-1.0);
        }
        // The entries of an attached curve take their places on it, so its
        // pieces between grid points can be cut out.
        pl->updateParameters();
        pl->optionFlag = record.option;
        pl->modified = false;
    }
    recountUse();
    // Nodes that no poly-line took were never handed to the grid: they go,
    // and stored loops that name them relocate to nothing.
    for (Gridbench::CGridPoint*& point : nodes)
        if (point->useCount == 0) {
            delete point;
            point = nullptr;
        }

    if (topology && version >= 3 && !cutShort) {
        fitPolyLineCurves();
        buildTopology(false);
        for (Face* f = firstFace; f != nullptr; f = f->next)
            f->requestedState = Initial;
        int newMode = 0;
        in >> newMode;
        std::string rest;
        std::getline(in, rest);
        int sides = 0, count = 100;
        if (std::sscanf(rest.c_str(), "%i %i", &sides, &count) == 2) {
            sideCount = sides;
            numCtrlPts = count;
        }
        if (version >= 6) {
            double tolerance = 0.0;
            int draft = 0, quality = 0, depth = 0;
            in >> tolerance >> draft >> quality >> depth;
            faceColorCoding->setRange(-tolerance, tolerance);
            surfaceTolerance = tolerance;
            draftOnly = draft != 0;
            surfaceQuality = quality;
            setDepthTest(depth != 0);
        }
        in >> tolerances[0] >> tolerances[1] >> tolerances[2];
        setMode(newMode);
        int faceCount = 0;
        in >> faceCount;
        std::vector<const Face*> taken;
        int lostFaces = 0; // stored faces a loop of which found no face
        cutShort = in.fail();
        // Version 3 stores single node indices: they are read as version 4
        // and matched like the pairs of later versions.
        const int recordVersion = version == 3 ? 4 : version;
        for (int i = 0; i < faceCount && !cutShort; ++i) {
            auto* stored = new Face();
            const bool ok = stored->read(in, 0, recordVersion);
            if (ok && version == 3)
                for (Loop* loop = stored->firstLoop; loop != nullptr; loop = loop->next) {
                    Kor::List<int> pairs;
                    for (int node : loop->references) {
                        pairs.append(node);
                        pairs.append(0);
                    }
                    loop->references = pairs;
                }
            if (ok && !relocateStoredFace(stored, nodes, taken))
                ++lostFaces;
            releaseTrimmedFace(stored); // a trimmed face no loop took
            delete stored;
            if (!ok) {
                cutShort = true;
                break;
            }
        }
        if (version == 3 && !cutShort)
            readCoEdgeBlock(in, nodes);
        // A face of the net read that no stored face took is a new region's
        // face, as after an edit: the next surface update computes it. The
        // net stays whole; only the stored face's own surface and states are
        // lost.
        if (lostFaces > 0) {
            lost = true;
            std::cout << "failed to relocate the loop of " << lostFaces
                      << (lostFaces == 1 ? " stored face: its face is"
                                         : " stored faces: their faces are")
                      << " rebuilt from the net read" << std::endl;
        }
        for (Face* f = firstFace; f != nullptr; f = f->next)
            if (std::find(taken.begin(), taken.end(), f) == taken.end()) {
                f->requestedState = ComplexApprox;
                f->computedState = Naked;
            }
        char next = 0;
        if (in.good() && peekTokenClass(in, &next, true) == TokenClassLetter) {
            std::string word;
            in >> word;
        }
    }
    for (Face* f = firstFace; f != nullptr; f = f->next)
        if (auto* s = dynamic_cast<Fenwo::NurbsSurf*>(f->surface))
            s->updateBoundaryPositions();
    hasAttachedCurves();
    return netText && !cutShort && !lost;
}

void CSurfaceNet::fitPolyLineCurves()
{
    // The first poly-line over each run of entries, by its closing and its
    // entries (compared as points: the key orders nothing that is written).
    std::map<std::pair<bool, std::vector<const CVertex<float, 3>*>>, COffset_PointList*> fitted;
    for (COffset_PointList* pl : pointLists) {
        if (pl->getCurve() != nullptr || pl->curveLocked)
            continue;
        std::pair<bool, std::vector<const CVertex<float, 3>*>> key(
            pl->closed,
            std::vector<const CVertex<float, 3>*>(pl->vertices.begin(), pl->vertices.end()));
        const auto [at, first] = fitted.emplace(std::move(key), pl);
        const auto* curve =
            first ? nullptr : dynamic_cast<const Fenwo::NurbsSurf*>(at->second->getCurve());
        if (curve == nullptr) {
            pl->interpolate();
            continue;
        }
        // The same points, their uses and the same mesh make the same curve.
        pl->curve = new Fenwo::NurbsSurf(*curve);
        pl->parameters = at->second->parameters;
    }
}

bool CSurfaceNet::relocateStoredFace(Face* stored, const Kor::List<Gridbench::CGridPoint*>& nodes,
                                     std::vector<const Face*>& taken)
{
    bool surfaceMoved = false;
    bool allFound = true;
    for (Loop* loop = stored->firstLoop; loop != nullptr; loop = loop->next) {
        Kor::List<int> pairs;
        for (int k = 0; k + 1 < loop->references.count; k += 2) {
            const int node = loop->references[k];
            pairs.append(node >= 0 && node < nodes.count && nodes[node] != nullptr
                             ? nodes[node]->serial
                             : -1);
            pairs.append(loop->references[k + 1]);
        }
        // The first face with the loop's corners; among several, the first
        // one no other stored loop took, along the same poly-lines when one
        // is.
        Face* found = nullptr;
        int foundRank = 0;
        for (Face* f = firstFace; f != nullptr; f = f->next) {
            if (f->firstLoop == nullptr || !matchLoopUpToRotation(f->firstLoop->cycle, pairs))
                continue;
            const bool free = std::find(taken.begin(), taken.end(), f) == taken.end();
            const int rank = 1 + (free ? 2 : 0) +
                             (free && polyLinesMatch(f->firstLoop->cycle, pairs, *this) ? 1 : 0);
            if (rank > foundRank) {
                found = f;
                foundRank = rank;
            }
        }
        if (found == nullptr) {
            allFound = false;
            continue;
        }
        taken.push_back(found);
        found->requestedState = stored->requestedState;
        found->computedState = stored->computedState;
        found->imprint[0] = stored->imprint[0];
        found->imprint[1] = stored->imprint[1];
        // The surface (or the trimmed face with the surface it owns) goes to
        // the face of the first loop relocated.
        auto* surface = dynamic_cast<Fenwo::NurbsSurf*>(stored->surface);
        if (!surfaceMoved && stored->trimmedFace != nullptr) {
            CFace* trimmed = stored->trimmedFace;
            stored->trimmedFace = nullptr;
            setFaceSurface(found, nullptr);
            displayContainer.removeEntity(findFaceDisplay(found));
            found->surface = trimmed->surface;
            // The stored face keeps its tessellation settings.
            const int meshType = trimmed->MeshType;
            const double meshDistance = trimmed->MeshDistance;
            updateFaceDisplay(trimmed, found->firstLoop, true);
            trimmed->MeshType = meshType;
            trimmed->MeshDistance = meshDistance;
            surfaceMoved = true;
        } else if (!surfaceMoved && (surface != nullptr || stored->surface == nullptr)) {
            stored->surface = nullptr;
            setFaceSurface(found, surface);
            surfaceMoved = true;
        }
        // The stored identity goes with the face and loop found, so the text
        // names them as before.
        found->id = stored->id;
        found->name = stored->name;
        found->layer = stored->layer;
        found->firstLoop->id = loop->id;
        found->firstLoop->name = loop->name;
        found->firstLoop->layer = loop->layer;
        if (found->requestedState != Trimmed)
            if (auto* display = dynamic_cast<COpenGLSasSurf*>(findFaceDisplay(found))) {
                float rgba[4];
                faceStateColour(found->requestedState, true, rgba);
                display->setColour(rgba[0], rgba[1], rgba[2], rgba[3]);
            }
    }
    return allFound;
}

void CSurfaceNet::setFaceSurface(Face* face, Fenwo::NurbsSurf* surface)
{
    if (face == nullptr)
        return;
    if (face->trimmedFace != nullptr) {
        displayContainer.removeEntity(findFaceDisplay(face));
        releaseTrimmedFace(face);
    }
    if (face->surface != surface)
        delete face->surface;
    face->surface = surface;
    face->errorPoints.removeAll();
    COpenGLEntity* display = findFaceDisplay(face);
    if (auto* sas = dynamic_cast<COpenGLSasSurf*>(display)) {
        sas->surface = surface;
        sas->setDirty();
    } else if (display == nullptr && surface != nullptr) {
        char name[32] = "";
        getFaceDisplayName(face, name, sizeof name);
        displayContainer.addEntity(
            new COpenGLSasSurf(name, surface, 1.f, 1.f, 1.f, 1.f, !wireframe, false, depthTest));
    }
}

void CSurfaceNet::readCoEdgeBlock(std::istream& in, const Kor::List<Gridbench::CGridPoint*>& nodes)
{
    rebuildCoEdges();
    int count = 0;
    if (!(in >> count))
        return;
    for (int i = 0; i < count; ++i) {
        int a = -1, b = -1;
        if (!(in >> a >> b))
            return;
        if (a < 0 || a >= nodes.count || b < 0 || b >= nodes.count) {
            std::cout << "vlist out of range. " << a << " " << b << std::endl;
            continue;
        }
        bool found = false;
        for (int k = 0; k < coedges.count; ++k) {
            const CCoEdge* c = coedges.items[k];
            const CVertex<float, 3>* ends[2] = {c->polyLine->entryAt(c->firstIndex),
                                                c->polyLine->entryAt(c->secondIndex)};
            if (ends[0] == nullptr || ends[1] == nullptr)
                continue;
            if ((ends[0] == nodes[a] && ends[1] == nodes[b]) ||
                (ends[0] == nodes[b] && ends[1] == nodes[a]))
                found = true;
        }
        if (!found)
            std::cout << "relocation failure for coedges. "
                      << " local =" << i << std::endl;
    }
}

} // namespace GB
