// Test and tool helper: nets as users draw them on a mesh. A net of n x n
// four-sided regions is laid on a smooth spot of the mesh (where rays from a
// viewing direction meet it), and its lines are drawn in one of several
// styles: one poly-line per row and column, every side its own stroke, the
// same in reverse, with a side or a row left out, with a row that stops one
// side short (a T-junction), with a diagonal, with a lasso (a poly-line
// through one of its own points), with a block of cells drawn as one region
// of many corners, or with strokes inside a cell: a spur into it, a spur
// with a branch, a ring drawn as one stroke or as two, a figure-eight, a
// loop at the end of a spur, an island touching the cell's side, a small
// net of its own, a ring across a line of the net or through two of its
// nodes. The strokes may end as a user's pen ends them: past the junction
// with a tail, running past it and back, or with the last point before it a
// little short; and a stroke may have points of its own between the
// junctions. The net is written as a version-2 net text, which the import
// job reads.
//
// Ownership: plain values; the net text's grid points live in a temporary
// net. Thread-safety: none needed (no shared state).
#pragma once

#include "foundation/Vertex.h"
#include "mesh/FlatMesh.h"

#include <string>
#include <utility>
#include <vector>

namespace mwtest {

enum class NetStyle {
    Lines,       // one poly-line per row and per column
    Strokes,     // every side its own 2-point stroke
    Reversed,    // the lines in reverse order, each drawn backwards
    MixedRow,    // strokes, but for one interior row drawn as one poly-line
    MissingSide, // lines with one interior side left out (a 6-sided face from n = 3 on)
    MissingRow,  // lines with one interior row left out
    TeeLines,    // lines with one interior row stopping one side short
    TeeStrokes,  // the same drawn as strokes
    Diagonal,    // lines with one cell cut by a diagonal stroke (two 3-sided faces)
    Lasso,       // one poly-line runs along a row, round outside the net and back
                 // in down a column, through its own point where they cross
    LassoSplit,  // the same points drawn as separate poly-lines
    // Lines, but for those inside a block of (n - 4) x (n - 4) cells in the
    // middle: the block is one region of 4 (n - 4) corners (n = 11: 28), the
    // lines around it running on past its corners.
    BigRegion,
    // Lines, and inside the middle cell (the one from the middle row and
    // column on) strokes of points a quarter of a cell apart:
    Spur,            // a spur from the cell's first corner to its middle and on
    YSpur,           // the same with a branch from its middle: a dangling Y
    Ring,            // a ring round the middle drawn as one stroke back to its first point
    RingStrokes,     // the same ring drawn as two strokes: a region inside the cell
    FigureEight,     // two squares of a quarter cell meeting at a corner, one stroke
    Lollipop,        // the spur, ending in a ring that comes back onto its end: one stroke
    LollipopStrokes, // the same drawn as a spur and a ring
    Island,          // a ring touching the cell's first side at its middle, drawn from
                     // that node (which the side passes) back onto it
    IslandStrokes,   // the same ring drawn as two strokes from that node
    GridInFace,      // a net of 2 x 2 squares of a quarter cell round the middle
    RingAcross,      // a ring round the middle of the cell's first column side, crossing
                     // that line (whose points are the cells' corners only)
    RingThrough,     // the same ring drawn from off the line through two of its
                     // nodes (the column side passes them), back to its first point
                     // (both rings only from n = 2 on)
};

// The style's name as the tool and the test tables write it (its words in
// lower case joined by '-': "lines", "y-spur", "ring-strokes"), and back;
// false for an unknown name.
const char* netStyleName(NetStyle style);
bool netStyleFromName(const std::string& name, NetStyle& style);

// How each stroke meets the junctions at its ends, as a user's pen does:
// stopping on them (Exact); running on past one by the distance and
// stopping there (Tail: the stroke begins that far before its first
// junction and ends that far past its last); running past it by the
// distance and coming back onto it (Overshoot); coming onto it from a last
// point the distance short of it (Short); or running past it by the
// distance, turning aside by as much and joining back onto it (Hook). Border junctions only, inner
// ones only, or all; the first end of each stroke, its last, or both. With
// more than one point a step, a stroke has points of its own between its
// junctions, moved across it by up to `wobble` of a step (seeded).
enum class StrokeEnds { Exact, Tail, Overshoot, Short, Hook };
struct StrokeShape {
    StrokeEnds ends = StrokeEnds::Exact;
    double distance = 0.0; // in the mesh's units
    bool atBorder = true, inside = true;
    bool first = true, last = true;
    int pointsPerStep = 1;
    double wobble = 0.0;
};

// The kind's name as the tool writes it ("exact", "tail", "overshoot",
// "short", "hook"), and back; false for an unknown name.
const char* strokeEndsName(StrokeEnds ends);
bool strokeEndsFromName(const std::string& name, StrokeEnds& ends);

// A poly-line as the lattice positions (i, j) of its points.
using LatticeLine = std::vector<std::pair<int, int>>;

// The poly-lines of a net of n x n regions drawn in the style, on the
// lattice 0..n (the lasso's turn outside the net uses n + 1), or 0..4n for
// the styles with strokes inside a cell (the net's lines on every fourth
// point). A ring's first point is its last as well.
std::vector<LatticeLine> netLines(int n, NetStyle style);

// The regions the net of netLines(n, style) encloses.
int netFaceCount(int n, NetStyle style);

// Where a net lies on the mesh: rays along -look (look points from the mesh
// towards the viewer) through the lattice points of a square window across
// the mesh's box seen from there. A user's points lie off any lattice: with
// a jitter, each lattice point is moved across the view by up to that share
// of a step each way (at most 0.45: neighbours never meet), by a generator
// seeded with seed, so the same seed draws the same net.
// The lattice may be turned about the window's centre by `turn` degrees. A
// spot across a crease of the mesh (`creased`) is not held to be smooth:
// its rays need only meet the mesh facing the viewer without a jump in
// depth.
struct NetSpot {
    CVector<double, 3> look{0.0, 0.0, 1.0};
    double centre[2] = {0.5, 0.5}; // the window's centre, as fractions of the box seen
    double size = 0.3;             // the window's side, as a fraction of the box's larger side
    double jitter = 0.0;           // 0: the lattice as it is
    unsigned seed = 1;
    // The places of the lattice's columns and rows across the window, as
    // fractions of its side (last + 1 rising values in 0..1: a narrow
    // border row, a strip beside a wide face); empty: evenly spaced.
    std::vector<double> columns, rows;
    double turn = 0.0;
    bool creased = false;
};

// The mesh points of the lattice 0..last in each direction at the spot
// (last: n, n + 1 for a lasso, 4n with strokes inside a cell),
// row-major (index j * (last + 1) + i), with their facet normals; with a
// jitter, each where the ray through its moved place meets the mesh. False
// when a ray misses the mesh or the spot is not smooth: rays through a
// lattice four times as fine (reaching out as far as the jitter moves a
// point) must meet the mesh facing the viewer within 60 degrees, turning by
// at most 20 degrees between neighbours without a jump in depth, and no
// normal may lie more than 35 degrees off the middle one.
bool netNodes(CFlatMesh& mesh, const NetSpot& spot, int last,
              std::vector<Mesh::CBaseMesh::CBaseHitInfo>& nodes);

// A smooth spot for a net of n x n regions (lattice 0..n, or 0..n + 1 for a
// lasso) seen along look: the window is tried at the box's middle and at
// points around it, at sizes from 0.3 down to 0.1 of the box. The spot's
// jitter and seed are kept. False when none is smooth.
bool findNetSpot(CFlatMesh& mesh, const CVector<double, 3>& look, int n, NetStyle style,
                 NetSpot& spot);

// The version-2 net text of the net of n x n regions in the style at the
// spot, its strokes ending as `shape` says (no topology section: the import
// finds the regions). Empty when the spot's nodes or the strokes' own
// points cannot be placed.
std::string netText(CFlatMesh& mesh, const NetSpot& spot, int n, NetStyle style,
                    const StrokeShape& shape = {});

} // namespace mwtest
