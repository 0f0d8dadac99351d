// Reading of STL mesh files, binary and ASCII.
//
// `readSTL` tells the two forms apart by the file size (a binary file is
// 84 + 50 N bytes for its facet count N, whatever its header text says) or,
// for a binary file with bytes after its facets, cut short or with its count
// left 0, by its binary data, and fills the mesh through its add-vertex and
// add-polygon operations,
// one new vertex per facet corner. The mesh is then optionally merged, given
// its topology and bounding box, and marked as modified. Writing is
// `Mesh::CBaseMesh::writeBinarySTL` (mesh/BaseMesh.h).
//
// Binary layout, all numbers little-endian: 80 header bytes (never
// interpreted), uint32 facet count, then per facet 50 bytes: normal (3 x
// float32, ignored on reading), three corners (3 x 3 float32), uint16
// attribute (ignored). A file that matches the size test only with its count
// byte-reversed is read as big-endian throughout.
//
// Ownership: the caller owns the mesh; the readers only add to it.
// Thread-safety: a mesh is filled by one thread at a time.
#pragma once

namespace Mesh {
class CBaseMesh;
}

// Merge tolerances of the two readers.
inline constexpr double kBinaryStlMergeTolerance = 0.0001;
inline constexpr double kAsciiStlMergeTolerance = 1e-8;

// Sets the mesh's modified flag and reads the file with `readBinarySTL` or
// `readAsciiSTL` as `isBinarySTL` decides. Returns the reader's result.
bool readSTL(Mesh::CBaseMesh& mesh, const char* path, bool merge);

// True when the file holds at least 84 bytes and its size is 84 + 50 N for
// the stored count N read little-endian or byte-reversed; true as well for
// a file of another size that holds a NUL byte in its first 64 KB followed
// by other bytes (binary data: a binary STL with bytes after its facets, cut
// short or with a count of 0, or no STL at all, which readBinarySTL refuses)
// and is no STL text ("solid", after a byte-order mark and blanks, then
// "facet" or "vertex" after the first 84 bytes: a text a damaged byte gave a
// NUL). A text whose NULs all pad its end is text. False for a file that
// cannot be opened.
bool isBinarySTL(const char* path);

// Reads a binary STL file. Every facet becomes a triangle over three new
// vertices (corners 1, 2, 3 in file order), except a facet with a NaN or
// infinite coordinate, which is left out (their count in one line,
// Mesh::reportNonFiniteFacets); with merge, vertices within
// kBinaryStlMergeTolerance are merged afterwards. Then topology, bounding box
// and modified flag. Bytes after the last facet the count declares are
// passed over, said in one line. A count that disagrees with the size (more
// facets than the file holds, as in a file cut short, or 0 where whole
// facets follow) gives the whole facets the size holds, said in one line
// (how many were read and left out). Where the size is not exactly that of
// the count, every record read must be a facet as writers write it, its
// stored normal of unit length or zero and not all its bytes zero. Returns
// false, with the mesh
// unchanged, when the file cannot be opened, is shorter than 84 bytes, ends
// inside its first facet, cannot be read to its last whole record, or is not
// of its count's size and holds a record that is no such facet (a picture or
// other binary data); one line on standard output says why.
bool readBinarySTL(Mesh::CBaseMesh& mesh, const char* path, bool merge);

// Reads an ASCII STL file: "vertex" x y z adds a corner to the facet (at
// most three; a fourth prints "not a triangle !" and is dropped), "endfacet"
// adds the triangle of the three corners. Keywords are compared without
// regard to case; any number of solid blocks, CR LF line ends, tabs and
// trailing blanks are accepted; every other word and number is skipped, and
// so is the name after "solid" and "endsolid". With merge, vertices within
// kAsciiStlMergeTolerance are merged. Then topology, bounding box and
// modified flag.
// A facet is left out when it has fewer than three corners ("endfacet on
// incomplete facet ! "), when a coordinate is missing or not a number ("bad
// number in STL text: " and the word), or when the file ends inside it; at
// the end one line per cause says how many and where the first was
// (Mesh::CLeftOutRecords). A coordinate that is NaN or beyond the range of a
// float ("nan", "inf", "1e39") leaves its facet out too (their count in one
// line, Mesh::reportNonFiniteFacets). A facet whose "endfacet" is missing
// ends at the next "facet", "solid" or "endsolid" and is taken when whole
// (its end is told). Each message given per facet is printed for the first
// few facets only, then counted in one line (Mesh::CRepeatedWarning). A text
// whose last solid has no "endsolid" after whole facets is told to be
// possibly cut short.
// NUL bytes that pad the end of the text are passed over unsaid.
// Returns false, with the mesh unchanged, when the file cannot be opened,
// contains a NUL byte before other bytes (binary data; the whole file is
// checked before anything is added), or contains no STL keyword at all; one
// line on standard output says why.
bool readAsciiSTL(Mesh::CBaseMesh& mesh, const char* path, bool merge);
