// The table of file-format numbers the mesh readers are chosen by: a format
// name or file extension ("stl", "pol", "wrl", ...) to its number.
//
// Thread-safety: pure functions over a constant table.
#pragma once

// The number of a format name, compared without regard to case (the first
// match of the table wins). False with number 0 for a null name or one not
// in the table.
bool formatFromName(const char* name, int& number);
// The number of a path's extension; 0 for a null path, a path without
// extension or an extension not in the table.
int formatFromExtension(const char* path);
