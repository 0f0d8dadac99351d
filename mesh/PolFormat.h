#pragma once
// The POL binary mesh format: a 512-byte header (CPOLHeader, FlatMesh.h), a
// block of float32 vertex coordinates and a block of int32 polygon records
// (loop count L, then per loop its corner count n and n vertex indices). All
// values are 4 bytes wide and written little-endian, field by field; the
// readers also accept files whose 4-byte values are all byte-reversed. Also
// the in-memory POL image of a mesh and its base64 text form.
//
// The writer works on any Mesh::CBaseMesh through its virtual operations;
// the readers are CFlatMesh::readPOL (FlatMeshPol.cpp).
//
// Ownership: buffers handed out by serializeMesh, base64EncodeBuffer and
// base64DecodeBuffer belong to the caller, who releases them with delete[].
// Thread-safety: the functions keep no shared state, except that swapBytes
// returns a per-thread buffer overwritten by that thread's next call. The
// mesh operations they call are not re-entrant on one mesh.

#include "mesh/BaseMesh.h"
#include "mesh/FlatMesh.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>

// Creator text the writer puts at offset 64 of the header; no reader looks
// at it (nor at the title).
inline constexpr const char* polWriterCreator = "Form Fenwo GmbH Vorlach";
inline constexpr int polTitleOffset = 0;
inline constexpr int polCreatorOffset = 64;

// The bytes in reverse order for widths 2, 4, 8 and 16, in a per-thread
// buffer that the next call overwrites; any other width returns `bytes`
// itself, unchanged.
const unsigned char* swapBytes(const void* bytes, int width);

// Writes the whole POL image of the mesh: the header (title, creator and the
// counts of CPOLHeader::polImageSize), the vertex block and one record per
// facet (L = 1, the facet size n, the n vertex indices). False when the mesh
// is too large for the 32-bit header words (nothing written then), when a
// vertex the mesh counts cannot be read (written as 0, 0, 0, so the image
// stays consistent), or when the stream reports failure afterwards.
bool writePOL(Mesh::CBaseMesh& mesh, std::ostream& out);

// Writes the mesh's POL image (writePOL) to the file at path. The image goes
// to a temporary file beside it that replaces the file only when the whole
// image was written; on failure (no mesh, an unwritable place, a failed
// write) the result is false and no partial file is left.
bool writePOLFile(Mesh::CBaseMesh* mesh, const char* path);

// The POL image of the mesh in a new buffer, as base64 text (NUL-terminated)
// when asText is set. On success *buffer is the caller's and *length (when
// asked for) the image size, or the text length without its NUL. On failure
// *buffer is null, *length 0 and nothing is allocated.
bool serializeMesh(Mesh::CBaseMesh* mesh, char** buffer, bool asText, unsigned* length = nullptr);

// Base64 (RFC 4648, standard alphabet, "=" padding) of the input stream's
// bytes: a newline after every 76 characters of full groups, the last group
// (which does not count towards the line) and a final newline; an empty
// input yields a single newline. On an output failure prints "write error
// at " and the output position to standard output and returns false.
bool base64Encode(std::istream& in, std::ostream& out);

// base64Encode of length bytes into a new NUL-terminated buffer of exactly
// the text's size. False (*text null) when encoding fails or data is null
// with a non-zero length.
bool base64EncodeBuffer(const char* data, std::size_t length, char** text);

// Decodes base64 text of `length` characters (whitespace and line breaks are
// skipped; the padding may be left out) into a new buffer of *dataLength
// bytes. False (*data null, *dataLength 0) for a character outside the
// alphabet, text after the padding, or a dangling single character.
bool base64DecodeBuffer(const char* text, std::size_t length, char** data, std::size_t* dataLength);

// Reads the 512-byte header into `header`, its six count words decoded from
// little-endian. The header fits when 512 + vertex bytes + polygon bytes +
// third-block bytes equals `available` (the bytes the stream holds from the
// header on, summed without 32-bit wraparound); when it does not, the six
// words are byte-reversed and the test repeated, and `swapped` tells that
// the rest of the image is byte-reversed too. False when the stream is
// already failed, the header cannot be read, or neither test holds.
bool readPOLHeader(std::istream& in, CPOLHeader& header, bool& swapped, std::uint64_t available);
