// The records in which the host's document file stores the geometry of its
// built-in objects: meshes, curves (NURBS and lines), NURBS surfaces and
// Breps with all their tables, written field by field into an archive.
//
// Other curve and surface kinds are stored in their NURBS form. A reader
// checks every count against the bytes left before it allocates, and gives
// back geometry only when it is valid. Plain functions; not thread-safe on
// one archive.
#pragma once

#include "platform/on/OpenNurbsSubset.h"

namespace VezadHost {

// False when the geometry is of a kind without a record, or the archive
// refuses a field.
bool writeGeometry(ON_BinaryArchive& archive, const ON_Geometry& geometry);

// The geometry of a record of that object type (ON::mesh_object, ...), owned
// by the caller; null, with the archive's position unspecified, for a short,
// malformed or invalid record.
ON_Geometry* readGeometry(ON_BinaryArchive& archive, ON::object_type type);

} // namespace VezadHost
