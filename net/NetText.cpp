// The net text: writer and reader of the whole net (grid points, poly-lines,
// settings, faces), the relocation of stored faces onto the faces the
// topology finds, and the face surface display it sets up.
#include "display/entities/OpenGLSasSurf.h"
#include "foundation/Box.h"
#include "geometry/GeoTokenizer.h"
#include "geometry/NurbsSurf.h"
#include "mesh/CharScanner.h"
#include "mesh/GridPoint.h"
#include "mesh/MeshGeometry.h"
#include "mesh/NumberText.h"
#include "net/Face.h"
#include "net/FailureMessages.h"
#include "net/SurfaceNet.h"
#include "platform/InputState.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iostream>
#include <locale>
#include <map>
#include <sstream>
#include <streambuf>
#include <string>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>
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

// The key of the canonical order of faces in the text: the sorted node
// indices of the targets of the face's first loop, then that loop's entries
// as its record writes them (node and poly-line, from the least node on).
// Faces with the same corners (the two sides of a lens, cut by a chord)
// differ in the poly-lines they walk; without them their order would be the
// net's, which the open does not keep, and a document opened and saved
// again would write them the other way round.
// The walk of the face's loop along the poly-lines' entries: per piece the
// poly-line's place in the net and the entries it runs from and to, from
// the least rotation on. Two regions between the same corners along the
// same poly-lines (a disc and its chord drawn as one stroke) walk other
// entries.
std::vector<int> loopEntryWalk(const Face* face)
{
    std::vector<int> walk;
    if (face == nullptr || face->firstLoop == nullptr)
        return walk;
    const GraphAlgorithm::Cycle& cycle = face->firstLoop->cycle;
    for (int i = 0; i < cycle.count; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
        const int position = h != nullptr && h->polyLine != nullptr && h->polyLine->owner != nullptr
                                 ? h->polyLine->owner->indexOfPointList(h->polyLine)
                                 : -1;
        walk.insert(walk.end(), {position, h != nullptr ? h->sourceEntry : -1,
                                 h != nullptr ? h->targetEntry : -1});
    }
    std::vector<int> least = walk;
    for (std::size_t k = 3; k < walk.size(); k += 3) {
        std::vector<int> turned(walk.begin() + std::ptrdiff_t(k), walk.end());
        turned.insert(turned.end(), walk.begin(), walk.begin() + std::ptrdiff_t(k));
        least = std::min(least, turned);
    }
    return least;
}

// The order of the faces in the text: by their corners, then their walks
// along corners and poly-lines, then along the poly-lines' entries, so that
// a reader relocating stored faces with the same corners and poly-lines
// takes them in the text's order by the same walks.
using FaceKey = std::tuple<std::vector<int>, std::vector<int>, std::vector<int>>;
FaceKey faceKey(const Face* face)
{
    std::vector<int> key, entries;
    if (face->firstLoop == nullptr)
        return {};
    const GraphAlgorithm::Cycle& cycle = face->firstLoop->cycle;
    std::size_t start = 0;
    for (int i = 0; i < cycle.count; ++i) {
        const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
        const auto* node = h != nullptr ? dynamic_cast<const _CVertex*>(h->target) : nullptr;
        const auto* p =
            node != nullptr ? dynamic_cast<const Gridbench::CGridPoint*>(node->point) : nullptr;
        if (p == nullptr)
            continue;
        key.push_back(p->savedIndex);
        if (p->savedIndex < key[start])
            start = key.size() - 1;
        const int position = h->polyLine != nullptr && h->polyLine->owner != nullptr
                                 ? h->polyLine->owner->indexOfPointList(h->polyLine)
                                 : -1;
        entries.push_back(p->savedIndex);
        entries.push_back(position < 0 ? 0 : position);
    }
    std::rotate(entries.begin(), entries.begin() + std::ptrdiff_t(2 * start), entries.end());
    std::sort(key.begin(), key.end());
    return {key, entries, loopEntryWalk(face)};
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

std::vector<std::intptr_t> loopWalkKey(std::vector<std::intptr_t> ids)
{
    std::vector<std::intptr_t> least = ids;
    for (std::size_t k = 1; k < ids.size(); ++k) {
        std::rotate(ids.begin(), ids.begin() + 1, ids.end());
        least = std::min(least, ids);
    }
    return least;
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
    // Only the points the user placed are written: the point that follows
    // the cursor, and a closing it made, are taken back first, as before
    // every topology step (the next mouse move puts it back). A poly-line
    // left with one point then goes like any other.
    bool rolledBack = false;
    for (COffset_PointList* pl : pointLists)
        rolledBack = pl->RollBack() || rolledBack;
    if (rolledBack)
        redisplayCurrent(true);
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
        // A long list goes on over several lines: the reader takes the
        // count's indices across line ends, and every line stays far within
        // the longest it reads.
        const bool broken = indices.count > kIndicesOnOneLine;
        for (int j = 0; j < indices.count; ++j)
            out << (j == 0 ? "" : broken && j % kIndicesOnOneLine == 0 ? "\n" : " ") << indices[j];
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
        std::vector<std::pair<FaceKey, const Face*>> faces;
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

// The newest version of the net text this reader knows.
constexpr int kNewestVersion = 7;
// How far from its mesh's box a point of a poly-line may lie, in diagonals
// of the box. Grid points lie on the mesh or on curves drawn near it; a
// point thousands of mesh sizes away is none, and the curves and fits
// through it work at coordinates whose float steps outgrow the tolerance
// (a node at 1e9 over a mesh of size 100 took seconds and 600 MB to fit).
constexpr double kFarthestNode = 1000.0;
// Tokens are words and numbers; a longer word is no field of a net text
// (and only this much of it is kept to name it). A number is kept whole up
// to kLongestNumber characters, far more digits than any writer gives it.
constexpr std::size_t kLongestToken = 128;
constexpr std::size_t kLongestNumber = std::size_t(1) << 16;
// No line of a net text comes near this many characters: the longest the
// writer writes are a poly-line's node indices, CSurfaceNet::kIndicesOnOneLine
// of them at most (other writers put millions on one line). A text whose
// line runs past it is refused there, so that a text without line ends is
// not scanned to its end.
constexpr std::size_t kLongestLine = std::size_t(1) << 24;
// An index takes 11 characters at most, and its blank one.
static_assert(std::size_t(CSurfaceNet::kIndicesOnOneLine) * 12 < kLongestLine);

// A stream buffer over another one that counts the line ends of what is
// taken: the reader names the line where a text stops being a net text,
// whichever reader (its own fields, a curve's or a face's record) took the
// characters before. Every line end reaches the readers as a line feed: a
// CR LF as one, and so does a CR alone (texts of systems that end their
// lines with it), so that the readers of lines see the lines the text has.
// A line that runs past kLongestLine ends the text there for every reader.
//
// The characters are taken from the source a piece at a time into a get
// area of the buffer's own, so the readers take them without a call per
// character; the line ends and the bound are worked out per piece (the line
// ends taken are counted when a line is asked for). The source is read
// ahead by up to a piece: what follows the text in it is not the readers'.
class LineCountingBuffer : public std::streambuf {
public:
    explicit LineCountingBuffer(std::streambuf* source) : source(source), area(kPutBack + kPiece)
    {
        char* start = area.data() + kPutBack;
        setg(start, start, start);
        counted = start;
        held = start;
    }
    // The line (counted from 1) of the next character.
    long long line()
    {
        countLineEnds();
        return lineEnds + 1;
    }
    // True once a line ran past kLongestLine: the text ended there.
    bool overlong() const { return tooLong; }

protected:
    int_type underflow() override
    {
        for (;;) {
            if (gptr() < egptr())
                return traits_type::to_int_type(*gptr());
            if (tooLong)
                return traits_type::eof();
            if (egptr() < held) {
                // The line has kLongestLine characters: only its end may
                // follow.
                if (*egptr() != '\n') {
                    tooLong = true;
                    return traits_type::eof();
                }
                expose(held);
            } else if (!takePiece()) {
                return traits_type::eof();
            }
        }
    }

private:
    // Characters kept before the get area for the readers to put back.
    static constexpr std::size_t kPutBack = 16;
    static constexpr std::size_t kPiece = std::size_t(1) << 16;
    // Only the line a piece continues, and the one it leaves open, can
    // reach the bound: every line inside a piece is shorter.
    static_assert(kPiece < kLongestLine);
    std::streambuf* source;
    std::vector<char> area;
    char* held;          // [egptr(), held): read, but beyond the bound
    const char* counted; // lineEnds counts the line ends before it
    long long lineEnds = 0;
    std::size_t column = 0;             // characters of the open line up to egptr()
    bool lastWasCarriageReturn = false; // the source's last character taken
    bool tooLong = false;

    void countLineEnds()
    {
        if (gptr() >= counted)
            lineEnds += std::count(counted, static_cast<const char*>(gptr()), '\n');
        else
            lineEnds -= std::count(static_cast<const char*>(gptr()), counted, '\n');
        counted = gptr();
    }

    // The next piece of the source, its line ends made line feeds, into the
    // get area after the last characters taken; false at the source's end.
    bool takePiece()
    {
        countLineEnds();
        const std::size_t keep = std::min(kPutBack, std::size_t(gptr() - eback()));
        char* start = area.data() + kPutBack;
        std::memmove(start - keep, gptr() - keep, keep);
        setg(start - keep, start, start);
        counted = start;
        held = start;
        const std::streamsize n = source->sgetn(start, std::streamsize(kPiece));
        if (n <= 0)
            return false;
        const char* in = start;
        const char* const end = start + n;
        char* out = start;
        if (lastWasCarriageReturn && *in == '\n')
            ++in; // the LF of a CR LF that the last piece ended inside
        lastWasCarriageReturn = false;
        while (in < end) {
            const void* found = std::memchr(in, '\r', std::size_t(end - in));
            const char* stop = found != nullptr ? static_cast<const char*>(found) : end;
            if (out != in)
                std::memmove(out, in, std::size_t(stop - in));
            out += stop - in;
            in = stop;
            if (in == end)
                break;
            *out++ = '\n';
            if (++in == end)
                lastWasCarriageReturn = true;
            else if (*in == '\n')
                ++in;
        }
        held = out;
        expose(held);
        return true;
    }

    // Hands the readers the characters from egptr() on up to `end`, or up
    // to where the open line reaches kLongestLine characters.
    void expose(char* end)
    {
        char* from = egptr();
        const std::size_t room = kLongestLine - column;
        const void* feed = std::memchr(from, '\n', std::size_t(end - from));
        char* stop = end;
        if (feed == nullptr || std::size_t(static_cast<const char*>(feed) - from) > room) {
            const std::size_t added = std::min(room, std::size_t(end - from));
            stop = from + added;
            column += added;
        } else {
            const char* last = end - 1;
            while (*last != '\n')
                --last;
            column = std::size_t(end - last - 1);
        }
        setg(eback(), gptr(), stop);
    }
};

bool isBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A character of a plain real: digits, signs, point and exponent.
bool isNumberCharacter(int c)
{
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

bool hasLetterOrDigit(const std::string& token)
{
    return std::any_of(token.begin(), token.end(), [](char c) {
        const int k = characterClass(static_cast<unsigned char>(c));
        return k == TokenClassLetter || (c >= '0' && c <= '9');
    });
}

// A token as a message shows it: quoted, bytes that are not printable as
// '?', a long one cut.
std::string shown(const std::string& token, bool cut)
{
    std::string text = "\"";
    for (std::size_t i = 0; i < token.size() && i < 40; ++i)
        text += token[i] >= ' ' && token[i] <= '~' ? token[i] : '?';
    return text + (cut || token.size() > 40 ? "...\"" : "\"");
}

// Digits only (no sign, no point), fitting an int.
bool parseCount(const std::string& token, int& value)
{
    if (token.empty() || token[0] < '0' || token[0] > '9')
        return false;
    const char* last = token.data() + token.size();
    const auto r = std::from_chars(token.data(), last, value);
    return r.ec == std::errc() && r.ptr == last;
}

// An optional minus and digits, fitting an int.
bool parseInteger(const std::string& token, int& value)
{
    const char* last = token.data() + token.size();
    const auto r = std::from_chars(token.data(), last, value);
    return !token.empty() && r.ec == std::errc() && r.ptr == last;
}

// A plain real (optional sign, digits, point, exponent) that the type holds
// as a finite value, read to its nearest value (0 where it is too small).
template <class Real> bool parseReal(const std::string& token, Real& value)
{
    const auto [first, last] = numberSpan(token);
    return parseNearestReal(first, last, value);
}

// The whole content of a net text as read, before any of it enters a net:
// its grid points (owned until the poly-lines take them), poly-line
// records, settings and stored faces (owned until relocated). A text is
// read whole, or it is refused with the line that says where and why.
struct NetTextContents {
    // A poly-line record: its entries (node indices, each within the node
    // table), its closing, its attached curve (owned until a poly-line
    // takes it) and its option flag.
    struct PolyLine {
        std::vector<int> entries;
        bool closed = false;
        Fenwo::NurbsSurf* curve = nullptr;
        bool option = false;
    };
    int version = 0;
    Kor::List<Gridbench::CGridPoint*> nodes; // by node index
    std::vector<long long> nodeLines;        // the line of each node record
    std::vector<PolyLine> polyLines;
    // The Topology section, read from version 3 on.
    bool topology = false;
    int mode = 0;
    bool sidesGiven = false; // the side and control-point counts follow the mode
    int sides = 0, controlPoints = 100;
    double tolerance = 0.0; // version 6 on: tolerance, draft, quality, depth
    bool draft = false, depth = false;
    int quality = 0;
    double tolerances[3] = {0.0, 0.0, 0.0};
    std::vector<Face*> faces;                        // stored faces in the text's order
    std::vector<std::pair<int, int>> coedgeBlock;    // version 3: node pairs of the coedges
    std::string refusal;

    NetTextContents() = default;
    NetTextContents(const NetTextContents&) = delete;
    NetTextContents& operator=(const NetTextContents&) = delete;
    ~NetTextContents()
    {
        for (PolyLine& record : polyLines)
            delete record.curve;
        for (Gridbench::CGridPoint* point : nodes)
            delete point;
        for (Face* face : faces) {
            releaseTrimmedFace(face);
            delete face;
        }
    }
};

// Reads a net text into NetTextContents, field by field: every count is a
// count, every index an integer, every coordinate a finite number, and each
// section holds the records its count declares, no fewer and no more.
class NetTextParser {
public:
    NetTextParser(std::istream& source, NetTextContents& text)
        : buffer(source.rdbuf()), in(&buffer), asWritten(in), text(text)
    {
        in.imbue(std::locale::classic());
    }

    // The whole text; false, with text.refusal saying where and why, for a
    // text that is not read whole. A line past kLongestLine ends the text
    // for every reader, and is the refusal whatever they made of the end.
    bool parse()
    {
        const bool read = parseSections();
        if (!buffer.overlong())
            return read;
        text.refusal = "line " + std::to_string(buffer.line()) + ": the line runs past " +
                       std::to_string(kLongestLine) + " characters, more than a net text's line";
        return false;
    }

private:
    LineCountingBuffer buffer;
    std::istream in;
    // The curves and faces of the text are read as their writers write
    // them, and say here why one was refused.
    GeoTextAsWritten asWritten;
    NetTextContents& text;
    std::string token;     // the last token read
    bool cut = false;      // it was longer than kLongestToken
    long long tokenLine = 0; // the line it starts on (or where the text ended)

    bool refuse(long long line, const std::string& why)
    {
        if (text.refusal.empty())
            text.refusal = "line " + std::to_string(line) + ": " + why;
        return false;
    }
    // The next token; false at the end of the text. A token cut at
    // kLongestToken (a number at kLongestNumber) is read no further: no
    // field is that long, and the token is refused wherever it stands (a run
    // of a billion bytes costs no more than one of a few hundred).
    bool next()
    {
        while (isBlank(buffer.sgetc()))
            buffer.sbumpc();
        tokenLine = buffer.line();
        token.clear();
        cut = false;
        bool number = true; // of the characters of a number so far
        for (int c = buffer.sgetc(); c != std::char_traits<char>::eof() && !isBlank(c);
             c = buffer.sgetc()) {
            number = number && isNumberCharacter(c);
            if (token.size() >= (number ? kLongestNumber : kLongestToken)) {
                cut = true;
                break;
            }
            token += char(c);
            buffer.sbumpc();
        }
        return !token.empty();
    }
    // What a curve's or face's reader could not read, after the record it
    // was reading: its cause, or only that it could not be read.
    std::string unreadable() const
    {
        return asWritten.cause().empty() ? " could not be read" : ": " + asWritten.cause();
    }
    // The next token that is more than a stray mark (one without letters
    // and digits, passed over between records, and shorter than any field);
    // false at the end.
    bool nextBetweenRecords()
    {
        while (next())
            if (cut || hasLetterOrDigit(token))
                return true;
        return false;
    }
    // The next character that is not white space, left in the stream; false
    // at the end of the text.
    bool more()
    {
        while (isBlank(buffer.sgetc()))
            buffer.sbumpc();
        tokenLine = buffer.line();
        return buffer.sgetc() != std::char_traits<char>::eof();
    }
    // The record being read, named in a refusal: its kind ("node record"),
    // number (from 1), how many its section declared and on which line.
    const char* recordKind = nullptr;
    int recordNumber = 0, recordsDeclared = 0;
    long long recordsDeclaredOn = 0;

    void enterRecord(const char* kind, int number, int declared, long long declaredOn)
    {
        recordKind = kind;
        recordNumber = number;
        recordsDeclared = declared;
        recordsDeclaredOn = declaredOn;
    }
    std::string record() const
    {
        return std::string(recordKind) + " " + std::to_string(recordNumber) + " of the " +
               std::to_string(recordsDeclared) + " declared on line " +
               std::to_string(recordsDeclaredOn);
    }
    // What the field is: its name, of the record being read.
    std::string field(const char* name) const
    {
        return recordKind != nullptr ? std::string(name) + " of " + record() : std::string(name);
    }
    bool unexpected(const std::string& what, const char* kind)
    {
        if (token.empty())
            return refuse(tokenLine, "the text ends where " + what + " was expected");
        return refuse(tokenLine,
                      "expected " + what + " (" + kind + "), found " + shown(token, cut));
    }
    static constexpr const char* kCount = "a whole number from 0 to 2147483647";
    static constexpr const char* kInteger = "a whole number within the range of an int";
    bool count(const char* name, int& value)
    {
        return (next() && !cut && parseCount(token, value)) || unexpected(field(name), kCount);
    }
    bool integer(const char* name, int& value)
    {
        return (next() && !cut && parseInteger(token, value)) ||
               unexpected(field(name), kInteger);
    }
    bool flag(const char* name, bool& value)
    {
        if (!next() || (token != "0" && token != "1"))
            return unexpected(field(name), "0 or 1");
        value = token == "1";
        return true;
    }
    template <class Real> bool real(const char* name, Real& value)
    {
        return (next() && !cut && parseReal(token, value)) ||
               unexpected(field(name), sizeof(Real) == sizeof(float)
                                           ? "a finite number within the range of a float"
                                           : "a finite number");
    }
    // The refusal of a text that ends before the records its section
    // declared, after `read` of them.
    bool endsAfter(int read, const char* records)
    {
        return refuse(tokenLine, "the text ends after " + std::to_string(read) + " of the " +
                                     std::to_string(recordsDeclared) + " " + records +
                                     " declared on line " + std::to_string(recordsDeclaredOn));
    }

    // The sections in order (parse).
    bool parseSections();
    // The node records and poly-line records a section's count declared
    // (on line declaredOn).
    bool nodes(long long declaredOn, int declared);
    bool polyLines(long long declaredOn, int declared);
    // The Topology section after its word: the settings, the face records
    // and, at version 3, the coedge block; then the end of the text.
    bool topology();
};

bool NetTextParser::parseSections()
{
    // Sections in order: an optional Version, Nodes, Polylines, and from
    // version 3 on Topology, each once; stray marks between them are passed
    // over, words are compared without case.
    enum { Start, Version, Nodes, PolyLines } last = Start;
    bool topologyMet = false;
    // A byte-order mark, as editors put it before a UTF-8 text, is no part
    // of the text.
    for (const int mark : {0xef, 0xbb, 0xbf}) {
        if (buffer.sgetc() != mark)
            break;
        buffer.sbumpc();
    }
    int declared = 0;          // the records the last section declared
    long long declaredOn = 0;  // on this line
    while (!topologyMet && nextBetweenRecords()) {
        const std::string word = lowerCase(token);
        const long long line = tokenLine;
        if (word == "version" && last == Start) {
            if (!count("the version after \"Version\"", text.version))
                return false;
            if (text.version > kNewestVersion)
                return refuse(line, "version " + std::to_string(text.version) +
                                        " is newer than this reader's " +
                                        std::to_string(kNewestVersion));
            if (text.version == 4)
                text.version = 2; // what writers of version 4 wrote
            last = Version;
        } else if (word == "nodes" && last < Nodes) {
            if (!count("the node count after \"Nodes\"", declared) || !nodes(line, declared))
                return false;
            declaredOn = line;
            last = Nodes;
        } else if (word == "polylines" && last == Nodes) {
            if (!count("the poly-line count after \"Polylines\"", declared) ||
                !polyLines(line, declared))
                return false;
            declaredOn = line;
            last = PolyLines;
        } else if (word == "topology" && last == PolyLines) {
            topologyMet = true;
        } else if (characterClass(static_cast<unsigned char>(token[0])) != TokenClassLetter &&
                   (last == Nodes || last == PolyLines)) {
            return refuse(line, std::string("more records follow than the ") +
                                    std::to_string(declared) +
                                    (last == Nodes ? " nodes" : " poly-lines") +
                                    " declared on line " + std::to_string(declaredOn) +
                                    ": found " + shown(token, cut));
        } else {
            const char* expected = last == Start     ? "\"Version\" or \"Nodes\""
                                   : last == Version ? "\"Nodes\""
                                   : last == Nodes   ? "\"Polylines\""
                                                     : "\"Topology\" or the end of the text";
            return refuse(line,
                          std::string("expected ") + expected + ", found " + shown(token, cut));
        }
    }
    if (last < PolyLines) {
        const char* expected = last == Nodes ? "\"Polylines\"" : "\"Nodes\"";
        return refuse(tokenLine, std::string("the text ends where ") + expected + " was expected");
    }
    if (text.version < 3)
        return true; // a Topology section is not read before version 3
    if (!topologyMet)
        return refuse(tokenLine, "the text ends where \"Topology\" was expected (version " +
                                     std::to_string(text.version) + " has the section)");
    return topology();
}

bool NetTextParser::nodes(long long declaredOn, int declared)
{
    static const char* const coordinates[3] = {"the x coordinate", "the y coordinate",
                                               "the z coordinate"};
    static const char* const normal[3] = {"the normal's x", "the normal's y", "the normal's z"};
    static const char* const directions[2][5] = {
        {"the set flag of the first direction", "the second flag of the first direction",
         "the x of the first direction", "the y of the first direction",
         "the z of the first direction"},
        {"the set flag of the second direction", "the second flag of the second direction",
         "the x of the second direction", "the y of the second direction",
         "the z of the second direction"}};
    for (int i = 0; i < declared; ++i) {
        enterRecord("node record", i + 1, declared, declaredOn);
        if (!nextBetweenRecords())
            return endsAfter(i, "nodes");
        int index = -1;
        if (cut || !parseInteger(token, index))
            return unexpected(field("the index"), kInteger);
        if (index != i)
            return refuse(tokenLine, record() + " is numbered " + std::to_string(index) +
                                         ", expected " + std::to_string(i));
        Mesh::CBaseMesh::CBaseHitInfo hit;
        for (int d = 0; d < 3; ++d)
            if (!real(coordinates[d], hit.data[d]))
                return false;
        for (int d = 0; d < 3; ++d)
            if (!real(normal[d], hit.normal.data[d]))
                return false;
        auto* point = new Gridbench::CGridPoint(hit);
        text.nodes.append(point);
        text.nodeLines.push_back(tokenLine);
        if (text.version > 1)
            for (int d = 0; d < 2; ++d) {
                bool set = false, second = false;
                CVector<float, 3>& v = d == 0 ? point->direction1 : point->direction2;
                if (!flag(directions[d][0], set) || !flag(directions[d][1], second))
                    return false;
                for (int k = 0; k < 3; ++k)
                    if (!real(directions[d][2 + k], v.data[k]))
                        return false;
                // Stored as written: normalising again would move the last
                // digits on every save.
                (d == 0 ? point->direction1Set : point->direction2Set) = set;
                (d == 0 ? point->direction1Flag : point->direction2Flag) = second;
            }
        point->changed = false;
    }
    recordKind = nullptr;
    return true;
}

bool NetTextParser::polyLines(long long declaredOn, int declared)
{
    for (int i = 0; i < declared; ++i) {
        enterRecord("poly-line", i + 1, declared, declaredOn);
        if (!nextBetweenRecords())
            return endsAfter(i, "poly-lines");
        int entryCount = 0;
        if (cut || !parseCount(token, entryCount))
            return unexpected(field("the point count"), kCount);
        text.polyLines.emplace_back();
        NetTextContents::PolyLine& polyLine = text.polyLines.back();
        if (text.version > 0) {
            int kind = 0;
            if (!integer("the curve kind", kind))
                return false;
            if (kind != 1 && kind != 2)
                return unexpected(field("the curve kind"), "1, or 2 before a curve");
            if (kind == 2) {
                const long long from = buffer.line();
                in.clear();
                asWritten.clear();
                auto* curve = new Fenwo::NurbsSurf(in, false);
                if (!curve->valid) {
                    delete curve;
                    return refuse(buffer.line(), "the curve of " + record() + " (from line " +
                                                     std::to_string(from) + ")" + unreadable());
                }
                polyLine.curve = curve;
            }
        }
        // One node listed twice in a row (as writers that made one node of
        // the grid points at one place wrote a poly-line through both) is
        // one point the poly-line passes: twice, it would make a junction of
        // no length. A poly-line of three points or more that ends at its
        // first node listed twice in a row is closed: the repeat is its
        // closing segment (a poly-line drawn back to its first point ends
        // with that node once). An index that names no node read before is
        // no point of the net: the poly-line would lose a point and its
        // faces a corner, so the whole text is refused.
        std::vector<int>& entries = polyLine.entries;
        bool repeatedAtEnd = false;
        for (int j = 0; j < entryCount; ++j) {
            int index = -1;
            if (!next() || cut || !parseInteger(token, index))
                return unexpected("entry " + std::to_string(j + 1) + " of the " +
                                      std::to_string(entryCount) + " of " + record(),
                                  kInteger);
            if (index < 0 || index >= text.nodes.count)
                return refuse(tokenLine, "poly-line " + std::to_string(i + 1) +
                                             " of the net text names node " +
                                             std::to_string(index) + ", but the text has " +
                                             std::to_string(text.nodes.count) +
                                             " nodes before it");
            repeatedAtEnd = !entries.empty() && index == entries.back();
            if (!repeatedAtEnd)
                entries.push_back(index);
        }
        if (repeatedAtEnd && entries.size() >= 4 && entries.back() == entries.front()) {
            entries.pop_back();
            polyLine.closed = true;
        }
        // A poly-line passes a point once, or twice where it runs through
        // itself: more entries than twice its points are no poly-line of a
        // net (a back and forth between two nodes would have every entry
        // fitted, the work of a net of that many points from a text of a
        // few bytes). The net's editing builds no such poly-line either.
        if (passesItsPointsTooOften(entries)) {
            std::vector<int> points(entries);
            std::sort(points.begin(), points.end());
            const auto distinct = std::unique(points.begin(), points.end()) - points.begin();
            return refuse(tokenLine, "poly-line " + std::to_string(i + 1) +
                                         " of the net text passes its " +
                                         std::to_string(distinct) + " points " +
                                         std::to_string(entries.size()) +
                                         " times, a poly-line passes a point twice at most");
        }
        if (text.version > 6 && !flag("the option flag", polyLine.option))
            return false;
    }
    recordKind = nullptr;
    return true;
}

bool NetTextParser::topology()
{
    text.topology = true;
    // The rest of the "Topology" line is not read.
    while (buffer.sgetc() != std::char_traits<char>::eof() && buffer.sbumpc() != '\n') {
    }
    if (!integer("the net's mode after \"Topology\"", text.mode))
        return false;
    // The side and control-point counts on the mode's line, both or none.
    const long long modeLine = tokenLine;
    std::string rest;
    in.clear();
    std::getline(in, rest);
    std::istringstream counts(rest);
    std::string first, second, third;
    counts >> first >> second >> third;
    if (!first.empty()) {
        text.sidesGiven = true;
        if (!parseInteger(first, text.sides) || !parseInteger(second, text.controlPoints) ||
            !third.empty())
            return refuse(modeLine, "expected the side count and the control-point count after "
                                    "the net's mode (two whole numbers), found " +
                                        shown(rest, false));
    }
    if (text.version >= 6 &&
        (!real("the surface tolerance", text.tolerance) ||
         !flag("the draft-only flag", text.draft) ||
         !integer("the surface quality", text.quality) || !flag("the depth flag", text.depth)))
        return false;
    static const char* const gridTolerances[3] = {"the first grid tolerance",
                                                  "the second grid tolerance",
                                                  "the third grid tolerance"};
    for (int k = 0; k < 3; ++k)
        if (!real(gridTolerances[k], text.tolerances[k]))
            return false;
    int declared = 0;
    if (!count("the face count", declared))
        return false;
    const long long declaredOn = tokenLine;
    // Version 3 stores single node indices: they are read as version 4 and
    // matched like the pairs of later versions.
    const int recordVersion = text.version == 3 ? 4 : text.version;
    for (int i = 0; i < declared; ++i) {
        enterRecord("face record", i + 1, declared, declaredOn);
        if (!more())
            return endsAfter(i, "faces");
        const long long from = tokenLine;
        auto* stored = new Face();
        text.faces.push_back(stored);
        in.clear();
        asWritten.clear();
        if (!stored->read(in, 0, recordVersion))
            return refuse(buffer.line(),
                          record() + " (from line " + std::to_string(from) + ")" + unreadable());
        int loopNumber = 0;
        for (Loop* loop = stored->firstLoop; loop != nullptr; loop = loop->next) {
            ++loopNumber;
            // Each entry names a node of the text and, from version 5 on, a
            // poly-line of it: one it does not have is no corner of the net.
            const int step = text.version >= 5 ? 2 : 1;
            for (int k = 0; k < loop->references.count; k += step) {
                const int node = loop->references[k];
                const int polyLine =
                    step == 2 && k + 1 < loop->references.count ? loop->references[k + 1] : 0;
                const bool nodeKnown = node >= 0 && node < text.nodes.count;
                if (nodeKnown && polyLine >= 0 && std::size_t(polyLine) < text.polyLines.size())
                    continue;
                return refuse(
                    from,
                    record() + " (from line " + std::to_string(from) + "): entry " +
                        std::to_string(k / step + 1) + " of its loop " +
                        std::to_string(loopNumber) +
                        (nodeKnown
                             ? " names poly-line " + std::to_string(polyLine) +
                                   ", but the text has " + std::to_string(text.polyLines.size())
                             : " names node " + std::to_string(node) + ", but the text has " +
                                   std::to_string(text.nodes.count)));
            }
            if (text.version == 3) {
                Kor::List<int> pairs;
                for (int node : loop->references) {
                    pairs.append(node);
                    pairs.append(0);
                }
                loop->references = pairs;
            }
        }
    }
    recordKind = nullptr;
    if (text.version == 3) {
        int coedges = 0;
        if (!count("the coedge count", coedges))
            return false;
        const long long coedgesOn = tokenLine;
        for (int i = 0; i < coedges; ++i) {
            enterRecord("coedge", i + 1, coedges, coedgesOn);
            std::pair<int, int> ends;
            if (!integer("the first node", ends.first) || !integer("the second node", ends.second))
                return false;
            text.coedgeBlock.push_back(ends);
        }
        recordKind = nullptr;
    }
    // One word may close the text; nothing else follows the last record.
    if (!more())
        return true;
    const long long after = tokenLine;
    const bool word = characterClass(buffer.sgetc()) == TokenClassLetter;
    next();
    const std::string found = shown(token, cut);
    if (word && !more())
        return true;
    return refuse(after, "expected the end of the text after the last of the " +
                             std::to_string(declared) + " faces declared on line " +
                             std::to_string(declaredOn) + ", found " + found);
}

} // namespace

bool CSurfaceNet::read(std::istream& source)
{
    Platform::WaitCursor wait;
    TextFormatScope format(source);
    lostStoredFaceCount = 0;
    // The whole text is read before anything of it enters the net: a text
    // refused leaves the net as it was.
    NetTextContents text;
    if (source.rdbuf() == nullptr || !NetTextParser(source, text).parse()) {
        std::cout << (text.refusal.empty() ? "no net text" : text.refusal)
                  << ": the text is refused." << std::endl;
        return false;
    }

    // Over a mesh, every point of a poly-line lies near it.
    const CBox<float, 3> box = mesh != nullptr ? mesh->getBoundingBox() : CBox<float, 3>();
    double diagonal = 0.0;
    for (int d = 0; !box.isEmpty() && d < 3; ++d)
        diagonal += double(box.max[d] - box.min[d]) * double(box.max[d] - box.min[d]);
    diagonal = std::sqrt(diagonal);
    if (diagonal > 0.0 && std::isfinite(diagonal))
        for (const NetTextContents::PolyLine& record : text.polyLines)
            for (int index : record.entries) {
                const Gridbench::CGridPoint& p = *text.nodes[index];
                double outside = 0.0;
                for (int d = 0; d < 3; ++d) {
                    const double beyond = std::max({double(box.min[d]) - double(p.data[d]),
                                                    double(p.data[d]) - double(box.max[d]), 0.0});
                    outside += beyond * beyond;
                }
                outside = std::sqrt(outside);
                if (outside > kFarthestNode * diagonal) {
                    std::ostringstream why;
                    why << "line " << text.nodeLines[std::size_t(index)] << ": node record "
                        << index + 1 << " lies " << outside << " from the mesh's box, more than "
                        << kFarthestNode << " times its diagonal of " << diagonal
                        << ": the text is refused.";
                    std::cout << why.str() << std::endl;
                    return false;
                }
            }

    topologyPending = true;
    for (NetTextContents::PolyLine& record : text.polyLines) {
        auto* pl = new COffset_PointList(this);
        pointLists.append(pl); // new, so it is no poly-line of the net yet
        if (record.curve != nullptr)
            pl->setCurve(record.curve, Kor::List<double>(), 0, -1);
        record.curve = nullptr;
        pl->closed = record.closed;
        for (int index : record.entries) {
            pl->appendVertex(text.nodes[index]);
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
    // and stored loops that name them relocate to nothing. The others are
    // the grid's now.
    Kor::List<Gridbench::CGridPoint*>& nodes = text.nodes;
    for (Gridbench::CGridPoint*& point : nodes)
        if (point->useCount == 0) {
            delete point;
            point = nullptr;
        }

    // The net is judged at the tolerance it was drawn and saved at: the
    // least region of its topology and the junctions of an import follow it.
    if (text.topology && text.version >= 6)
        surfaceTolerance = text.tolerance;
    // An imported net's lines that cross meet at junctions from now on, as
    // lines drawn across one another do; a document's net is read as it was
    // saved, junctions and all.
    if (junctionsAtCrossingsOnRead) {
        fitPolyLineCurves();
        putJunctionsWhereLinesCross(true, false);
    }
    takeStretchesAsSeen();

    bool lost = false; // a stored loop found no face
    if (text.topology) {
        fitPolyLineCurves();
        buildTopology(false);
        for (Face* f = firstFace; f != nullptr; f = f->next)
            f->requestedState = Initial;
        if (text.sidesGiven) {
            sideCount = text.sides;
            numCtrlPts = text.controlPoints;
        }
        if (text.version >= 6) {
            faceColorCoding->setRange(-text.tolerance, text.tolerance);
            surfaceTolerance = text.tolerance;
            draftOnly = text.draft;
            surfaceQuality = text.quality;
            setDepthTest(text.depth);
        }
        std::copy(text.tolerances, text.tolerances + 3, tolerances);
        setMode(text.mode);
        std::set<const Face*> taken;
        const FacesByWalk faces = facesByWalk();
        int lostFaces = 0; // stored faces a loop of which found no face
        int cutFaces = 0;  // stored trimmed faces read without every trim curve
        for (Face*& stored : text.faces) {
            // A trimmed face read without every trim curve written is not
            // the face saved: its face is rebuilt from the net, as one whose
            // loop found none.
            if (stored->trimmedFace != nullptr && stored->trimmedFace->leftOutTrimCurves > 0)
                ++cutFaces;
            else if (!relocateStoredFace(stored, nodes, faces, taken))
                ++lostFaces;
            releaseTrimmedFace(stored); // a trimmed face no loop took
            delete stored;
            stored = nullptr;
        }
        if (text.version == 3)
            checkCoEdgeBlock(text.coedgeBlock, nodes);
        // A face of the net read that no stored face took is a new region's
        // face, as after an edit: the next surface update computes it. The
        // net stays whole; only the stored face's own surface and states are
        // lost.
        if (lostFaces > 0) {
            lost = true;
            std::cout << FailureMessages::kLostLoop << " of " << lostFaces
                      << (lostFaces == 1 ? " stored face: its face is"
                                         : " stored faces: their faces are")
                      << " rebuilt from the net read" << std::endl;
        }
        if (cutFaces > 0) {
            lost = true;
            std::cout << (cutFaces == 1 ? "the trimmed face of " : "the trimmed faces of ")
                      << cutFaces
                      << (cutFaces == 1 ? " stored face was read without every trim curve: its "
                                          "face is"
                                        : " stored faces were read without every trim curve: "
                                          "their faces are")
                      << " rebuilt from the net read" << std::endl;
        }
        int freshFaces = 0; // regions of the net read no stored face took
        for (Face* f = firstFace; f != nullptr; f = f->next)
            if (taken.count(f) == 0) {
                f->requestedState = ComplexApprox;
                f->computedState = Naked;
                ++freshFaces;
            }
        // The writer stores a face for every region: a text with faces whose
        // net holds regions none of them took is not the net it stored (a
        // node moved far across the others parts a region anew). Those
        // regions' faces are computed, and the text is read as a loss.
        if (text.faces.empty() || lostFaces + cutFaces > 0)
            freshFaces = 0;
        if (freshFaces > 0) {
            lost = true;
            std::cout << freshFaces
                      << (freshFaces == 1 ? " region of the net read has no stored face: its face is"
                                          : " regions of the net read have no stored face: their "
                                            "faces are")
                      << " rebuilt from the net read" << std::endl;
        }
        lostStoredFaceCount = lostFaces + cutFaces + freshFaces;
    }
    nodes.removeAll(); // none is the text's to delete any more
    text.faces.clear();
    for (Face* f = firstFace; f != nullptr; f = f->next)
        if (auto* s = dynamic_cast<Fenwo::NurbsSurf*>(f->surface))
            s->updateBoundaryPositions();
    hasAttachedCurves();
    return !lost;
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
        pl->fittedEntries = at->second->fittedEntries;
        pl->fittedClosed = at->second->fittedClosed;
    }
}

CSurfaceNet::FacesByWalk CSurfaceNet::facesByWalk() const
{
    FacesByWalk faces;
    for (Face* f = firstFace; f != nullptr; f = f->next) {
        if (f->firstLoop == nullptr)
            continue;
        const GraphAlgorithm::Cycle& cycle = f->firstLoop->cycle;
        std::vector<std::intptr_t> ids;
        for (int i = 0; i < cycle.count; ++i) {
            const GraphAlgorithm::CHalfEdge* h = cycle.items[i];
            ids.push_back(h != nullptr && h->target != nullptr ? h->target->getId() : -1);
        }
        faces[loopWalkKey(std::move(ids))].push_back(f);
    }
    return faces;
}

bool CSurfaceNet::relocateStoredFace(Face* stored, const Kor::List<Gridbench::CGridPoint*>& nodes,
                                     const FacesByWalk& faces, std::set<const Face*>& taken)
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
        // is. Only faces whose walk has the same key may match.
        std::vector<std::intptr_t> ids;
        for (int k = 0; k < pairs.count; k += 2)
            ids.push_back(pairs[k]);
        const auto candidates = faces.find(loopWalkKey(std::move(ids)));
        const std::vector<Face*> none;
        // Faces alike in all that (regions between the same corners along
        // the same poly-lines) are taken in the order of their walks along
        // the entries, as the writer ordered their records.
        // A face's own loop takes a face no other stored face took: two
        // records of one region are one face stored twice, and the region
        // one of them stood for has lost its face. (A hole's loop is the
        // walk round the island's face, which the island's record takes.)
        Face* found = nullptr;
        int foundRank = 0;
        std::vector<int> foundWalk;
        for (Face* f : candidates != faces.end() ? candidates->second : none) {
            if (!matchLoopUpToRotation(f->firstLoop->cycle, pairs))
                continue;
            const bool free = taken.count(f) == 0;
            if (!free && loop == stored->firstLoop)
                continue;
            const int rank = 1 + (free ? 2 : 0) +
                             (free && polyLinesMatch(f->firstLoop->cycle, pairs, *this) ? 1 : 0);
            if (rank < foundRank)
                continue;
            std::vector<int> walk = loopEntryWalk(f);
            if (rank > foundRank || walk < foundWalk) {
                found = f;
                foundRank = rank;
                foundWalk = std::move(walk);
            }
        }
        if (found == nullptr) {
            allFound = false;
            continue;
        }
        taken.insert(found);
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
            restoreTrimmedFace(found, trimmed);
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

void CSurfaceNet::checkCoEdgeBlock(const std::vector<std::pair<int, int>>& block,
                                   const Kor::List<Gridbench::CGridPoint*>& nodes)
{
    rebuildCoEdges();
    for (std::size_t i = 0; i < block.size(); ++i) {
        const auto [a, b] = block[i];
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
