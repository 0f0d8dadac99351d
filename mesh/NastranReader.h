// Reading of Nastran bulk data: grid points and triangular and quadrilateral
// shell elements become the vertices and polygons of a mesh.
//
// Cards of three formats are read (columns count from 1 after the leading
// blanks of a card line are dropped):
//   small field, 8 columns a field: "GRID" id 9-16, CP 17-24, X1 25-32,
//            X2 33-40, X3 41-48; "CTRIA3" and "CQUAD4" element id 9-16,
//            property id 17-24, grid ids from 25-32 on (3 or 4 fields);
//   large field, a name ending in "*" (also written "GRID   *"): fields of
//            16 columns 9-24, 25-40, 41-56, 57-72, continued on the next
//            line in columns 9-24 and 25-40: "GRID*" id, CP, X1, X2 and X3
//            on the continuation; "CTRIA3*" and "CQUAD4*" element id,
//            property id, G1, G2 and the other grids on the continuation;
//   free field, a line that holds a comma: the fields are the texts
//            between the commas, in the order of the small-field format (a
//            large-field card continues on the next line as above).
// A tab in a fixed-format line stands for the blanks up to the next field
// of 8 columns (columns 9, 17, 25, ...), as in every tab-formatted bulk data
// file. Card names are compared without regard to case. Numbers follow the
// Nastran conventions: "1.", ".5", "1.5E+3", "1.5D+3" and the implicit
// exponent of "-1.42569-13". A grid whose CP field names a coordinate
// system of a CORD2R, CORD2C or CORD2S card of the file (fields CID, RID,
// A1-A3, B1-B3 on its first line, C1-C3 on its continuation; a large-field
// card four a line) is placed in it: rectangular, cylindrical (R, theta
// degrees, z) or spherical (R, theta, phi degrees), through the chain of
// its reference systems. CD, the system of a grid's displacements, plays
// no part in its place. A "$" opens a comment, on a
// line of its own or after the fields of a card, and a UTF-8 byte-order
// mark before the first line is no part of it. Every other line (case
// control, other cards, continuation lines) is passed over; there is no
// need for "BEGIN BULK" or "ENDDATA".
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
// (facet information -1). What cannot be used is left out and told at the
// end, one line per cause with the count and the first place
// (Mesh::CLeftOutRecords): a GRID card whose id is not an integer, or whose
// CP or coordinate field is of another type, and one in a coordinate system
// that cannot be placed: one no card defines, one defined by grid points
// (CORD1R, CORD1C, CORD1S), one defined twice, whose card has a field that
// is not a number or lacks its point C, whose points do not span a system,
// or whose references lead back to it ("left out N grids"); an element
// whose id or grid fields are not integers (a blank grid field included),
// one that names a grid no GRID card defines, one on a grid left out, and
// shell elements of kinds not read (CTRIA6, CTRIAR, CQUAD8, CQUADR, CQUAD)
// ("left out N facets"). The cards of the bulk data (after "BEGIN BULK",
// when the file has it) of kinds not read, and its lines that start no card
// nor a continuation (a damaged card name), are counted and told in one
// line with their first kinds and the line of the first ("passed over N
// cards of kinds not read (...)"). A file with "BEGIN BULK" but no
// "ENDDATA" after it is said to be possibly cut short, and the card on its
// last line is left
// out when that line has no line end (it is cut inside). A grid with a
// coordinate beyond the range of a float gets no vertex, and an element on
// it is left out (their count in one line, Mesh::reportNonFiniteFacets).
// Vertices are not merged. Then topology, bounding box and modified flag;
// the facet hash is set to cells of kFiniteElementHashCellSize.
// Returns false, with the mesh unchanged and one line on standard output
// saying why, when the file cannot be opened, holds a line of more than 1 MiB
// (no line of bulk data comes near; the first pass stops there, so a text
// without line ends costs a megabyte) or holds no readable grid point.
bool readNastran(Mesh::CBaseMesh& mesh, const char* path);
