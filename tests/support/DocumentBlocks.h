// Test helper: the blocks of a host document file of the current format
// (platform/host/DocumentFile.h), for tests that edit a document's records as
// a writer with a fault of its own would, the check sums made to fit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mwtest {

// Sets the head's file length and every block's CRC-32 from the bytes, and
// the offset of the last block's body; false when the blocks do not run to
// the end of the file.
bool sealDocument(std::vector<unsigned char>& bytes, std::size_t* lastBody = nullptr);

// The offset of the last block's body (a plug-in's id and record); 0 when
// the blocks do not run to the end of the file.
std::size_t lastBlockBody(const std::vector<unsigned char>& bytes);

// The document with the record of its last block (after the plug-in's id)
// replaced by `record`, the block's length and every check sum made to fit;
// empty when the blocks do not run to the end of the file.
std::vector<unsigned char> withLastRecord(std::vector<unsigned char> bytes,
                                          const std::string& record);

// The four bytes that take a running CRC-32 (zlib's) from `from` to `to`.
std::string crc32Forcing(std::uint32_t from, std::uint32_t to);

} // namespace mwtest
