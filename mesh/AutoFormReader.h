// Reading of AutoForm ".af" text files: points and triangular facets and,
// optionally, one result value per facet (a "post variable").
//
// The file is a sequence of sections, each opened by a keyword and followed
// by entries of whitespace-separated numbers, one entry per line:
//   "POINTS"   id x y z
//   "NORMALS"  id nx ny nz        (read and dropped)
//   "FACETS"   facet-id id1 id2 id3 (the facet id is dropped)
//   a line containing "Post variable:" and starting with neither a letter
//   nor a number opens the post-variable section: facet-index value.
// Other words are passed over and keep the current section. Other lines that
// start with neither a letter nor a number are reported with
// "skipping line=". Numbers before any section keyword are skipped with the
// rest of their line. CR LF line ends are accepted.
//
// Ownership: the caller owns the mesh and the value array handed out.
// Thread-safety: a mesh is filled by one thread at a time.
#pragma once

namespace Mesh {
class CBaseMesh;
}

// Reads the file into the mesh: every point becomes a vertex, every facet a
// triangle (facet information -1) whose ids are looked up among the points
// read so far. What cannot be used is left out and told at the end, one
// line per cause with the count and the first place (Mesh::CLeftOutRecords):
// a point whose id is not an integer, whose coordinate is not a number, or
// whose line or file ends first ("left out N points"); a facet whose ids
// are not integers, whose line or file ends first, that names a point not
// defined before it or one left out ("left out N facets"). A point with a
// coordinate that is NaN or beyond the range of a float ("nan", "1e39") gets
// no vertex, and a facet on it is left out (their count in one line,
// Mesh::reportNonFiniteFacets). A malformed entry of the normals or of a
// post variable is passed over with the rest of its line. "skipping line="
// is printed for the first few lines only, then counted in one line
// (Mesh::CRepeatedWarning). Vertices are not merged. Then topology,
// bounding box and modified flag; the facet hash is set to cells of 12.
//
// The third argument is not used. When values is not null and the file has a
// post-variable section, *values receives a new float array (the caller
// releases it with delete[]) with one entry per facet the mesh held when the
// section began, each -3.4028235e38 ("no value") unless the file sets it;
// entries whose facet index lies outside that range are dropped. With several
// such sections the last one is handed out. Without a section, or on a false
// result, *values is left untouched. When values is null a post-variable
// section is still reported ("Variable name=") and its values are skipped.
//
// Returns false, with the mesh as it was and one line on standard output
// saying why, when the file cannot be opened, holds a line of more than 1 MiB
// (no entry comes near; the file is looked through for one before anything
// is read, so a text without line ends is refused at the cost of reading it)
// or holds no readable point (the facets read are deleted again).
bool readAutoForm(Mesh::CBaseMesh& mesh, const char* path, int reserved, float** values);
