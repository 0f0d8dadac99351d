// Reading of Nastran bulk data: grid points and triangular and quadrilateral
// shell elements become the vertices and polygons of a mesh.
//
// Fixed-format cards of 80 columns are read (columns count from 1 after the
// leading blanks of a card line are dropped):
//   "GRID"   small field: id 9-16, X1 25-32, X2 33-40, X3 41-48;
//   "GRID*"  large field (also written "GRID   *"): id 9-24, X1 41-56,
//            X2 57-72, and X3 in columns 9-24 of the continuation line;
//   "CTRIA3" grid ids in 25-32, 33-40, 41-48;
//   "CQUAD4" grid ids in 25-32, 33-40, 41-48, 49-56.
// Card names are compared without regard to case. Numbers follow the Nastran
// conventions: "1.", ".5", "1.5E+3", "1.5D+3" and the implicit exponent of
// "-1.42569-13". Coordinates are taken as written: the coordinate system
// fields (CP, CD) are not read, so grids given in a local system keep their
// local coordinates. Free-field cards (commas, tabs) and large-field element
// cards are not read. Every other line ("$" comments, case control, other
// cards, continuation lines) is passed over; there is no need for "BEGIN
// BULK" or "ENDDATA".
//
// Ownership: the caller owns the mesh; the reader only adds to it.
// Thread-safety: a mesh is filled by one thread at a time.
#pragma once

namespace Mesh {
class CBaseMesh;
}

// Cell size of the facet hash of meshes read from finite-element and forming
// files (their units are millimetres, their elements large).
inline constexpr double kFiniteElementHashCellSize = 12.0;

// Reads the file in two passes, grids first, so that elements may come before
// the grids they use. Each element becomes a polygon of 3 or 4 corners
// (facet information -1); a well-formed grid id that no GRID card defines
// takes vertex 0. A grid with a coordinate beyond the range of a float gets
// no vertex, and an element on it is left out (their count in one line,
// Mesh::reportNonFiniteFacets). An element card whose grid fields are not integers is
// skipped. Vertices are not merged. Then topology, bounding box and modified
// flag; the facet hash is set to cells of kFiniteElementHashCellSize.
// Returns false, with the mesh unchanged and one line on standard output
// saying why, when the file cannot be opened or holds no readable grid point.
bool readNastran(Mesh::CBaseMesh& mesh, const char* path);
