// Test helper: the blocks of a host document file of the current format
// (platform/host/DocumentFile.h), for tests that build or edit a document's
// bytes as a writer with a fault of its own would: the file's length and
// every block's check sum are made to fit the bytes again, so that what the
// reader says is said of the record inside, not of its check sum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mwtest {

// Sets the file length in the head and every block's CRC-32 from the bytes
// as they stand; false when the blocks do not run to the file's end.
bool sealDocument(std::vector<unsigned char>& bytes);

// The offset of the last block's body (a plug-in's record after its 16-byte
// id, when the document ends with one); 0 when the blocks do not run to the
// file's end.
std::size_t lastBlockBody(const std::vector<unsigned char>& bytes);

// The four bytes that take a running CRC-32 (as zlib's crc32 answers it)
// from `from` to `to`: the 32 bits four bytes span decide the value alone.
std::string crc32Forcing(std::uint32_t from, std::uint32_t to);

} // namespace mwtest
