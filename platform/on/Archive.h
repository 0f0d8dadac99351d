// Binary archives of the openNURBS subset: ON_BinaryArchive with its typed
// fields, an archive in memory, one on a FILE, a bounded archive that reads
// one chunk of another archive and ends there, and a compressed buffer read
// as a stream that inflates as it is read.
//
// Fields are fixed-width little-endian and written one by one:
//   int       4 bytes, two's complement
//   int64     8 bytes
//   double    8 bytes, IEEE 754 binary64
//   id        Data1 (4), Data2 (2), Data3 (2), Data4 (8 bytes as they are)
//   string    int byte count, then that many bytes of UTF-8
//   compressed buffer
//             int64 uncompressed size n; when n > 0: CRC-32 of the n bytes
//             (4 bytes), int64 compressed size c, then c bytes of zlib data
// Every count read from an archive is checked against the bytes left before
// anything is allocated. A failed read returns false, leaves its output as it
// was and the archive at the field where it started.
//
// Not thread-safe: an archive has one position.
#pragma once

#include "platform/on/Values.h"
#include "platform/on/WideString.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <streambuf>
#include <vector>

class ON_BinaryArchive {
public:
    explicit ON_BinaryArchive(ON::archive_mode mode) : m_mode(mode) {}
    ON_BinaryArchive(const ON_BinaryArchive&) = delete;
    ON_BinaryArchive& operator=(const ON_BinaryArchive&) = delete;
    virtual ~ON_BinaryArchive() = default;

    ON::archive_mode Mode() const { return m_mode; }
    bool ReadMode() const { return m_mode == ON::read; }
    bool WriteMode() const { return m_mode == ON::write; }

    // Byte offset from the start of the archive.
    virtual std::size_t CurrentPosition() const = 0;
    // False (position unchanged) for an offset past the end.
    virtual bool SeekFromStart(std::size_t offset) = 0;
    // Bytes a read archive can still deliver; 0 for a write archive.
    virtual std::size_t BytesLeft() const = 0;
    bool AtEnd() const { return BytesLeft() == 0; }

    bool WriteByte(std::size_t count, const void* bytes);
    bool ReadByte(std::size_t count, void* bytes);
    bool WriteInt(int value);
    bool ReadInt(int* value);
    bool WriteInt64(std::int64_t value);
    bool ReadInt64(std::int64_t* value);
    bool WriteDouble(double value);
    bool ReadDouble(double* value);
    bool WriteUuid(const ON_UUID& id);
    // The id read is marked taken (Platform::reserveUuid): this process
    // does not make it anew.
    bool ReadUuid(ON_UUID& id);
    bool WriteString(const ON_wString& text);
    bool ReadString(ON_wString& text);

    // Deflates size bytes (data may be null only when size is 0).
    bool WriteCompressedBuffer(std::size_t size, const void* data);
    // The uncompressed size of the compressed buffer that starts here,
    // without moving. False when no complete, plausible buffer record
    // starts here; a size it answers is safe to allocate.
    bool ReadCompressedBufferSize(std::size_t* size);
    // The same, with the size of its zlib data (the bytes that follow the
    // record's 20-byte head): what a reader bounds the inflation by before
    // it allocates anything. *compressedSize is 0 for an empty buffer.
    bool ReadCompressedBufferSize(std::size_t* size, std::size_t* compressedSize);
    // Reads the buffer record into buffer, which must hold exactly the
    // stored size. A payload that does not inflate to its size and CRC still
    // consumes its record and sets *crcFailed to 1 (the rest of buffer is
    // zero), so the next field reads normally; *crcFailed is 0 otherwise.
    // False only for a short or malformed record or a size mismatch.
    bool ReadCompressedBuffer(std::size_t size, void* buffer, int* crcFailed);

protected:
    // Transfers exactly count bytes at the current position or nothing.
    virtual bool readBytes(std::size_t count, void* bytes) = 0;
    virtual bool writeBytes(std::size_t count, const void* bytes) = 0;

private:
    friend class ON_CompressedBufferStream;
    struct CompressedHeader {
        std::uint64_t size = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
    };
    bool readCompressedHeader(CompressedHeader& header);
    bool readUnsigned(int bytes, std::uint64_t& value);
    bool writeUnsigned(int bytes, std::uint64_t value);

    ON::archive_mode m_mode;
};

// An archive in memory. Written bytes accumulate in Buffer(); a read archive
// reads its own copy of the bytes it was given.
class ON_MemoryArchive : public ON_BinaryArchive {
public:
    // An empty archive for writing.
    ON_MemoryArchive() : ON_BinaryArchive(ON::write) {}
    // An archive for reading the given bytes (copied).
    ON_MemoryArchive(const void* bytes, std::size_t size);
    explicit ON_MemoryArchive(std::vector<unsigned char> bytes);

    const std::vector<unsigned char>& Buffer() const { return m_bytes; }

    std::size_t CurrentPosition() const override { return m_position; }
    bool SeekFromStart(std::size_t offset) override;
    std::size_t BytesLeft() const override;

protected:
    bool readBytes(std::size_t count, void* bytes) override;
    bool writeBytes(std::size_t count, const void* bytes) override;

private:
    std::vector<unsigned char> m_bytes;
    std::size_t m_position = 0;
};

// An archive on a FILE the caller opened in binary mode (and closes after
// the archive is gone). A read archive starts at the file's current position.
class ON_BinaryFile : public ON_BinaryArchive {
public:
    ON_BinaryFile(ON::archive_mode mode, FILE* file);

    std::size_t CurrentPosition() const override;
    bool SeekFromStart(std::size_t offset) override;
    std::size_t BytesLeft() const override;

protected:
    bool readBytes(std::size_t count, void* bytes) override;
    bool writeBytes(std::size_t count, const void* bytes) override;

private:
    FILE* m_file;
    std::size_t m_start = 0;
    std::size_t m_end = 0; // file size when reading
};

// Reads the next `length` bytes of a parent archive as an archive of its
// own: positions count from the chunk's start and no read passes its end,
// so a record reader cannot consume what follows the chunk. The parent must
// outlive it and is advanced as the chunk is read; SkipToEnd leaves the
// parent just after the chunk.
class ON_BoundedArchive : public ON_BinaryArchive {
public:
    ON_BoundedArchive(ON_BinaryArchive& parent, std::size_t length);

    std::size_t CurrentPosition() const override;
    bool SeekFromStart(std::size_t offset) override;
    std::size_t BytesLeft() const override;
    bool SkipToEnd() { return SeekFromStart(m_length); }

protected:
    bool readBytes(std::size_t count, void* bytes) override;
    bool writeBytes(std::size_t count, const void* bytes) override;

private:
    ON_BinaryArchive& m_parent;
    std::size_t m_start;
    std::size_t m_length;
};

// A compressed buffer of a read archive as a stream that inflates as it is
// read: a reader takes what it asks for, and neither the buffer's contents
// nor its zlib data are ever held whole (the stream keeps 64 KB of each).
// Each byte passes the CRC-32 on its way; Finish inflates what the reader
// left and tells whether the whole payload matched its size and CRC, so a
// reader that takes a stream must hold what it read until Finish agrees.
// The stream answers tellg (bytes delivered so far) and a putback of up to
// 16 bytes; it seeks nowhere.
//
// The archive must outlive the stream, and nothing else reads it from Open
// until Finish, which leaves it just after the buffer's record.
class ON_CompressedBufferStream : public std::streambuf {
public:
    ON_CompressedBufferStream();
    ~ON_CompressedBufferStream() override;
    ON_CompressedBufferStream(const ON_CompressedBufferStream&) = delete;
    ON_CompressedBufferStream& operator=(const ON_CompressedBufferStream&) = delete;

    // Starts on the compressed buffer whose record starts at the archive's
    // position. False (the archive unmoved, the stream empty) when no
    // complete, plausible record starts there (ReadCompressedBufferSize).
    // With stopAtNul the stream ends before the buffer's first NUL byte: a
    // text and its terminator.
    bool Open(ON_BinaryArchive& archive, bool stopAtNul = false);
    // Every byte inflated from now on is also written to copy (none: null).
    void CopyTo(std::ostream* copy);
    // The stored uncompressed size, and the size of the zlib data.
    std::size_t Size() const;
    std::size_t CompressedSize() const;
    // Whether the compressed buffer whose record starts at the archive's
    // position inflates to its size and CRC-32 (as Finish tells), checked
    // before a reader takes anything from it: inflated once, the bytes
    // dropped as they come, and the archive left where it was. *nulAt (when
    // asked) receives the offset of the first NUL byte, the size when there
    // is none. False also when no complete, plausible record starts there.
    static bool Check(ON_BinaryArchive& archive, std::size_t* nulAt = nullptr);
    // Inflates the rest of the payload and leaves the archive after the
    // record, damaged payload or not. True when the payload inflated to
    // exactly Size() bytes, its zlib stream ended with its last byte and its
    // CRC-32 matched. *nulAt (when asked) receives the offset of the first
    // NUL byte, Size() when there is none. The stream is empty afterwards.
    bool Finish(std::size_t* nulAt = nullptr);

protected:
    int_type underflow() override;
    pos_type seekoff(off_type off, std::ios_base::seekdir dir,
                     std::ios_base::openmode which) override;

private:
    struct State;
    // Inflates the next piece into the get area; false at the end of the
    // payload or when it is damaged.
    bool inflatePiece();
    std::unique_ptr<State> m_state;
};
