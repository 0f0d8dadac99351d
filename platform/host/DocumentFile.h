// The host's document file (".vzd"): the absolute tolerance, the layers,
// the built-in objects that are not deleted with their ids, attributes and
// geometry, and one chunk per plug-in that asked to write its data.
//
// Layout (fields little-endian, written one by one), format version 2:
//   8 bytes "VZDOC\r\n\x1a"; int format version (2); int64 file length
//   then blocks, each int64 body length, uint32 CRC-32 of the length's
//   eight bytes and the body, and the body:
//   the settings: double absolute tolerance; int layer count L (>= 1);
//       int current layer; L strings (layer names); int object count N;
//       int chunk count C
//   N objects: int object type, id, its ON_3dmObjectAttributes, then its
//       geometry record (platform/host/GeometryRecords.h)
//   C chunks: plug-in id, then the bytes written by the plug-in's
//       WriteDocument (the chunks of plug-ins that are not loaded follow,
//       as the file opened held them)
// and nothing after. Custom objects are the plug-ins' to store.
// Format version 1, still read, has no file length and no blocks: the
// settings bare, int object count, per object: int object type, id, int64
// record length, the record (attributes, geometry); int chunk count, per
// chunk: plug-in id, int64 length, that many bytes.
//
// Saving writes a temporary file beside the target and renames it into
// place, so a failed save leaves no partial file. Opening checks the file's
// signature, every length its tables declare and every check sum on the
// file itself, then reads and checks the whole file before it touches the
// document. Not thread-safe.
#pragma once

#include <string>

class CVezadDoc;

namespace VezadHost {

// False with the reason when the file cannot be written or a plug-in fails
// to write its data; nothing is then left at path. version 1 writes the
// first format, which hosts that know no other read.
bool saveDocument(CVezadDoc& doc, const std::string& path, std::string& error, int version = 2);

enum class OpenResult {
    // The document holds the file's contents.
    opened,
    // It does, but a plug-in could not read its chunk, or a chunk's plug-in
    // is not loaded (error says which).
    openedWithLoss,
    // The file is missing, foreign or damaged (error says why); the document
    // is as it was and no event was raised.
    refused,
};

// Replaces the document's contents by the file's: the close-document and
// new-document events, then the objects (each raising its add event), then
// each chunk handed to the ReadDocument of its loaded plug-in through an
// archive that ends with the chunk. Chunks of plug-ins that are not loaded
// are kept unread in the document (CVezadDoc::unreadPlugInData) and a save
// writes them back as they were. Only a regular file is read: a folder, a
// FIFO or a device is refused, error naming which. A file that is no
// document, or whose lengths or check sums do not hold, is refused before
// its body is read (a file of gigabytes in a fraction of a second, with
// little memory). Before anything changes,
// each loaded plug-in checks its chunk (CheckDocument): a chunk its plug-in
// cannot read whole refuses the file, error naming the plug-in and what of
// its record is wrong.
OpenResult openDocument(CVezadDoc& doc, const std::string& path, std::string& error);

} // namespace VezadHost
