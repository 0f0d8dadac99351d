// The loaders behind "MWLoadMesh": a mesh file chosen in a file dialog, read
// by the reader of its extension into the system's mesh (alone, or wrapped
// into a new mesh document object), and the host's own meshes joined into
// one mesh through their openNURBS topology. Each loaded mesh gets its
// bounding box and its facet hash.
//
// Ownership: every mesh and object returned is new and the caller's; a mesh
// object is not yet in the document (the caller adds it). Not thread-safe:
// the host's user-interface thread only (dialogs and message boxes).
#pragma once

#include "platform/on/OpenNurbsSubset.h"

#include <string>

class CFlatMesh;
class CMWMeshObject;
class CProgress;

// Asks for a mesh file and reads it: STL ("stl", "stla", "stlb"), POL, AutoForm
// ("af"), Nastran ("nas") or VRML ("wrl", "vrml"), the extension compared
// without regard to case; any other extension reads nothing. The readers
// leave out facets with a corner that is not finite. A mesh without facets
// is still returned, after the box "No facets have been imported" and the
// line "No facets have been imported from <path>" on the command line; one
// of more than 750000 facets loads after a note on its size. Null when the
// dialog is cancelled. A path given (an import's file) is read without the
// dialog.
CFlatMesh* loadMeshFile(const std::wstring* path = nullptr);

// loadMeshFile, then the mesh in a new mesh object named after the file's
// full path. Null when the dialog is cancelled or the file yields no facets;
// *cancelled (when given) tells which: true for the cancelled dialog.
CMWMeshObject* loadMeshObject(bool* cancelled = nullptr, const std::wstring* path = nullptr);

// One mesh of all the host meshes: the topological vertices of each (so
// that vertices the host duplicates become one), its triangles and quads (a
// quad whose last two corners coincide is a triangle), then coincident
// vertices of different meshes merged ("stitch") and the facet hash built
// ("init search"). progress (may be null) sees one step per face; a cancel
// ends the face loops, gives null and is cleared on the sink.
CFlatMesh* meshFromVezadMesh(CProgress* progress, const ON_SimpleArray<const ON_Mesh*>& meshes);
