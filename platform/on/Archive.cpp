#include "platform/on/Archive.h"

#include "platform/Uuid.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <ostream>

namespace {

// Deflate never expands less than about 1:1032, so a stored size above this
// many bytes per compressed byte cannot be genuine; refusing it bounds what
// a reader allocates for a forged size field.
constexpr std::uint64_t maximumInflationRatio = 1040;
constexpr std::uint64_t compressedSlack = 64;

// zlib counts in 32-bit pieces; larger buffers go through in steps.
constexpr std::size_t zlibStep = std::size_t(1) << 30;

std::uint32_t crcOf(const void* data, std::size_t size)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    const Bytef* p = static_cast<const Bytef*>(data);
    while (size > 0) {
        std::size_t step = std::min(size, zlibStep);
        crc = crc32(crc, p, static_cast<uInt>(step));
        p += step;
        size -= step;
    }
    return static_cast<std::uint32_t>(crc);
}

// Level 4 compresses the mesh images documents hold (float coordinates and
// polygon records) as small as the default level 6, often smaller, in a
// third of the time: a mesh of a million facets saves a second sooner.
constexpr int deflateLevel = 4;

bool deflateAll(const void* data, std::size_t size, std::vector<unsigned char>& out)
{
    z_stream z{};
    if (deflateInit(&z, deflateLevel) != Z_OK)
        return false;
    // The output goes through a small buffer and is appended: the bound is
    // only reserved, so a large image's bound is never written over first.
    out.clear();
    out.reserve(static_cast<std::size_t>(deflateBound(&z, static_cast<uLong>(size))) + 64);
    std::vector<unsigned char> piece(std::size_t(1) << 18);
    const Bytef* in = static_cast<const Bytef*>(data);
    std::size_t inLeft = size;
    int status = Z_OK;
    while (status == Z_OK) {
        if (z.avail_in == 0 && inLeft > 0) {
            std::size_t step = std::min(inLeft, zlibStep);
            z.next_in = const_cast<Bytef*>(in);
            z.avail_in = static_cast<uInt>(step);
            in += step;
            inLeft -= step;
        }
        z.next_out = piece.data();
        z.avail_out = static_cast<uInt>(piece.size());
        status = deflate(&z, inLeft == 0 ? Z_FINISH : Z_NO_FLUSH);
        out.insert(out.end(), piece.data(), piece.data() + (piece.size() - z.avail_out));
        if (status == Z_BUF_ERROR)
            status = Z_OK; // no progress possible this turn: more room follows
    }
    deflateEnd(&z);
    return status == Z_STREAM_END;
}

// Inflates exactly `size` bytes; false when the stream is corrupt, ends
// early, holds more or leaves input unread. Once the output is full, one
// probe byte of room lets zlib finish the stream or reveal extra data.
bool inflateAll(const std::vector<unsigned char>& in, void* out, std::size_t size)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    const Bytef* src = in.data();
    std::size_t inLeft = in.size();
    Bytef* dst = static_cast<Bytef*>(out);
    std::size_t outLeft = size;
    unsigned char probe = 0;
    bool probing = false;
    bool ended = false;
    for (;;) {
        if (z.avail_in == 0 && inLeft > 0) {
            std::size_t step = std::min(inLeft, zlibStep);
            z.next_in = const_cast<Bytef*>(src);
            z.avail_in = static_cast<uInt>(step);
            src += step;
            inLeft -= step;
        }
        if (z.avail_out == 0) {
            if (outLeft > 0) {
                std::size_t step = std::min(outLeft, zlibStep);
                z.next_out = dst;
                z.avail_out = static_cast<uInt>(step);
                dst += step;
                outLeft -= step;
            } else if (!probing) {
                z.next_out = &probe;
                z.avail_out = 1;
                probing = true;
            } else {
                break; // the probe byte was written: more data than stored
            }
        }
        int status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            ended = true;
            break;
        }
        bool canGoOn = status == Z_OK || (status == Z_BUF_ERROR && z.avail_out == 0) ||
                       (status == Z_BUF_ERROR && z.avail_in == 0 && inLeft > 0);
        if (!canGoOn)
            break;
    }
    bool complete = ended && outLeft == 0 && z.avail_out == (probing ? 1u : 0u) &&
                    z.avail_in == 0 && inLeft == 0;
    inflateEnd(&z);
    return complete;
}

} // namespace

bool ON_BinaryArchive::writeUnsigned(int bytes, std::uint64_t value)
{
    unsigned char b[8];
    for (int i = 0; i < bytes; ++i)
        b[i] = static_cast<unsigned char>(value >> (8 * i));
    return WriteByte(static_cast<std::size_t>(bytes), b);
}

bool ON_BinaryArchive::readUnsigned(int bytes, std::uint64_t& value)
{
    unsigned char b[8];
    if (!ReadByte(static_cast<std::size_t>(bytes), b))
        return false;
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint64_t(b[i]) << (8 * i);
    value = v;
    return true;
}

bool ON_BinaryArchive::WriteByte(std::size_t count, const void* bytes)
{
    if (!WriteMode() || (count > 0 && !bytes))
        return false;
    return count == 0 || writeBytes(count, bytes);
}

bool ON_BinaryArchive::ReadByte(std::size_t count, void* bytes)
{
    if (!ReadMode() || (count > 0 && !bytes) || count > BytesLeft())
        return false;
    return count == 0 || readBytes(count, bytes);
}

bool ON_BinaryArchive::WriteInt(int value)
{
    return writeUnsigned(4, static_cast<std::uint32_t>(value));
}

bool ON_BinaryArchive::ReadInt(int* value)
{
    std::uint64_t v;
    if (!value || !readUnsigned(4, v))
        return false;
    *value = static_cast<int>(static_cast<std::uint32_t>(v));
    return true;
}

bool ON_BinaryArchive::WriteInt64(std::int64_t value)
{
    return writeUnsigned(8, static_cast<std::uint64_t>(value));
}

bool ON_BinaryArchive::ReadInt64(std::int64_t* value)
{
    std::uint64_t v;
    if (!value || !readUnsigned(8, v))
        return false;
    *value = static_cast<std::int64_t>(v);
    return true;
}

bool ON_BinaryArchive::WriteDouble(double value)
{
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return writeUnsigned(8, bits);
}

bool ON_BinaryArchive::ReadDouble(double* value)
{
    std::uint64_t bits;
    if (!value || !readUnsigned(8, bits))
        return false;
    std::memcpy(value, &bits, sizeof bits);
    return true;
}

bool ON_BinaryArchive::WriteUuid(const ON_UUID& id)
{
    return writeUnsigned(4, id.Data1) && writeUnsigned(2, id.Data2) && writeUnsigned(2, id.Data3) &&
           WriteByte(8, id.Data4);
}

bool ON_BinaryArchive::ReadUuid(ON_UUID& id)
{
    if (!ReadMode() || BytesLeft() < 16)
        return false;
    std::uint64_t d1, d2, d3;
    ON_UUID read;
    if (!readUnsigned(4, d1) || !readUnsigned(2, d2) || !readUnsigned(2, d3) ||
        !ReadByte(8, read.Data4))
        return false;
    read.Data1 = static_cast<std::uint32_t>(d1);
    read.Data2 = static_cast<std::uint16_t>(d2);
    read.Data3 = static_cast<std::uint16_t>(d3);
    // The id may be one this process would make later: it is taken.
    Platform::reserveUuid(read.ToString());
    id = read;
    return true;
}

bool ON_BinaryArchive::WriteString(const ON_wString& text)
{
    std::string utf8 = text.ToUtf8();
    if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return false;
    return WriteInt(static_cast<int>(utf8.size())) && WriteByte(utf8.size(), utf8.data());
}

bool ON_BinaryArchive::ReadString(ON_wString& text)
{
    std::size_t start = CurrentPosition();
    int count = 0;
    if (!ReadInt(&count))
        return false;
    if (count < 0 || static_cast<std::size_t>(count) > BytesLeft()) {
        SeekFromStart(start);
        return false;
    }
    std::string utf8(static_cast<std::size_t>(count), '\0');
    if (!ReadByte(utf8.size(), utf8.data())) {
        SeekFromStart(start);
        return false;
    }
    text = ON_wString(OnSubset::utf8ToWide(utf8.data(), utf8.size()));
    return true;
}

bool ON_BinaryArchive::WriteCompressedBuffer(std::size_t size, const void* data)
{
    if (!WriteMode() || (size > 0 && !data))
        return false;
    if (size == 0)
        return writeUnsigned(8, 0);
    std::vector<unsigned char> packed;
    if (!deflateAll(data, size, packed))
        return false;
    return writeUnsigned(8, size) && writeUnsigned(4, crcOf(data, size)) &&
           writeUnsigned(8, packed.size()) && WriteByte(packed.size(), packed.data());
}

bool ON_BinaryArchive::readCompressedHeader(CompressedHeader& header)
{
    std::uint64_t size = 0, crc = 0, packed = 0;
    if (!readUnsigned(8, size))
        return false;
    if (size > 0) {
        if (!readUnsigned(4, crc) || !readUnsigned(8, packed))
            return false;
        if (packed == 0 || packed > BytesLeft() ||
            size > packed * maximumInflationRatio + compressedSlack ||
            size > std::numeric_limits<std::size_t>::max())
            return false;
    }
    header.size = size;
    header.crc = static_cast<std::uint32_t>(crc);
    header.compressedSize = packed;
    return true;
}

bool ON_BinaryArchive::ReadCompressedBufferSize(std::size_t* size)
{
    if (!size || !ReadMode())
        return false;
    std::size_t start = CurrentPosition();
    CompressedHeader header;
    bool ok = readCompressedHeader(header);
    SeekFromStart(start);
    if (ok)
        *size = static_cast<std::size_t>(header.size);
    return ok;
}

bool ON_BinaryArchive::ReadCompressedBufferSize(std::size_t* size, std::size_t* compressedSize)
{
    if (!size || !compressedSize || !ReadMode())
        return false;
    std::size_t start = CurrentPosition();
    CompressedHeader header;
    bool ok = readCompressedHeader(header);
    SeekFromStart(start);
    if (ok) {
        *size = static_cast<std::size_t>(header.size);
        *compressedSize = static_cast<std::size_t>(header.compressedSize);
    }
    return ok;
}

bool ON_BinaryArchive::ReadCompressedBuffer(std::size_t size, void* buffer, int* crcFailed)
{
    if (!ReadMode() || (size > 0 && !buffer))
        return false;
    std::size_t start = CurrentPosition();
    CompressedHeader header;
    if (!readCompressedHeader(header) || header.size != size) {
        SeekFromStart(start);
        return false;
    }
    if (crcFailed)
        *crcFailed = 0;
    if (size == 0)
        return true;
    std::vector<unsigned char> packed(static_cast<std::size_t>(header.compressedSize));
    if (!ReadByte(packed.size(), packed.data())) {
        SeekFromStart(start);
        return false;
    }
    bool good = inflateAll(packed, buffer, size) && crcOf(buffer, size) == header.crc;
    if (!good) {
        std::memset(buffer, 0, size);
        if (crcFailed)
            *crcFailed = 1;
    }
    return true;
}

ON_MemoryArchive::ON_MemoryArchive(const void* bytes, std::size_t size) : ON_BinaryArchive(ON::read)
{
    if (bytes && size > 0) {
        const unsigned char* p = static_cast<const unsigned char*>(bytes);
        m_bytes.assign(p, p + size);
    }
}

ON_MemoryArchive::ON_MemoryArchive(std::vector<unsigned char> bytes)
    : ON_BinaryArchive(ON::read), m_bytes(std::move(bytes))
{
}

bool ON_MemoryArchive::SeekFromStart(std::size_t offset)
{
    if (offset > m_bytes.size())
        return false;
    m_position = offset;
    return true;
}

std::size_t ON_MemoryArchive::BytesLeft() const
{
    return ReadMode() ? m_bytes.size() - m_position : 0;
}

bool ON_MemoryArchive::readBytes(std::size_t count, void* bytes)
{
    if (count > m_bytes.size() - m_position)
        return false;
    std::memcpy(bytes, m_bytes.data() + m_position, count);
    m_position += count;
    return true;
}

bool ON_MemoryArchive::writeBytes(std::size_t count, const void* bytes)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::size_t overlap = std::min(count, m_bytes.size() - m_position);
    if (overlap > 0)
        std::memcpy(m_bytes.data() + m_position, p, overlap);
    m_bytes.insert(m_bytes.end(), p + overlap, p + count);
    m_position += count;
    return true;
}

ON_BinaryFile::ON_BinaryFile(ON::archive_mode mode, FILE* file)
    : ON_BinaryArchive(file ? mode : ON::unset_archive_mode), m_file(file)
{
    if (!m_file)
        return;
    long here = std::ftell(m_file);
    m_start = here > 0 ? static_cast<std::size_t>(here) : 0;
    if (ReadMode() && std::fseek(m_file, 0, SEEK_END) == 0) {
        long end = std::ftell(m_file);
        m_end = end > 0 ? static_cast<std::size_t>(end) : 0;
        std::fseek(m_file, static_cast<long>(m_start), SEEK_SET);
    }
}

std::size_t ON_BinaryFile::CurrentPosition() const
{
    long here = m_file ? std::ftell(m_file) : 0;
    return here > static_cast<long>(m_start) ? static_cast<std::size_t>(here) - m_start : 0;
}

bool ON_BinaryFile::SeekFromStart(std::size_t offset)
{
    if (!m_file || (ReadMode() && m_start + offset > m_end))
        return false;
    return std::fseek(m_file, static_cast<long>(m_start + offset), SEEK_SET) == 0;
}

std::size_t ON_BinaryFile::BytesLeft() const
{
    if (!ReadMode())
        return 0;
    std::size_t here = m_start + CurrentPosition();
    return here < m_end ? m_end - here : 0;
}

bool ON_BinaryFile::readBytes(std::size_t count, void* bytes)
{
    std::size_t start = CurrentPosition();
    if (std::fread(bytes, 1, count, m_file) == count)
        return true;
    SeekFromStart(start);
    return false;
}

bool ON_BinaryFile::writeBytes(std::size_t count, const void* bytes)
{
    return std::fwrite(bytes, 1, count, m_file) == count;
}

ON_BoundedArchive::ON_BoundedArchive(ON_BinaryArchive& parent, std::size_t length)
    : ON_BinaryArchive(parent.ReadMode() ? ON::read : ON::unset_archive_mode), m_parent(parent),
      m_start(parent.CurrentPosition()), m_length(std::min(length, parent.BytesLeft()))
{
}

std::size_t ON_BoundedArchive::CurrentPosition() const
{
    std::size_t here = m_parent.CurrentPosition();
    return here > m_start ? here - m_start : 0;
}

bool ON_BoundedArchive::SeekFromStart(std::size_t offset)
{
    return offset <= m_length && m_parent.SeekFromStart(m_start + offset);
}

std::size_t ON_BoundedArchive::BytesLeft() const
{
    std::size_t here = CurrentPosition();
    return ReadMode() && here < m_length ? m_length - here : 0;
}

bool ON_BoundedArchive::readBytes(std::size_t count, void* bytes)
{
    return count <= BytesLeft() && m_parent.ReadByte(count, bytes);
}

bool ON_BoundedArchive::writeBytes(std::size_t, const void*)
{
    return false;
}

// ---- ON_CompressedBufferStream ----------------------------------------------------------------

namespace {

// Bytes of zlib data read from the archive at once, and bytes inflated at
// once; the get area keeps the last few bytes of the previous piece before
// the new one, for a putback across pieces.
constexpr std::size_t streamPiece = std::size_t(1) << 16;
constexpr std::size_t putbackRoom = 16;

} // namespace

struct ON_CompressedBufferStream::State {
    ON_BinaryArchive* archive = nullptr;
    std::size_t recordEnd = 0; // archive position after the record
    std::uint64_t size = 0;
    std::uint64_t compressedSize = 0;
    std::uint32_t storedCrc = 0;
    std::uint64_t packedLeft = 0; // zlib bytes not yet taken from the archive
    std::uint64_t produced = 0;   // bytes inflated so far
    std::uint64_t firstInGet = 0; // stream offset of the get area's first new byte
    uLong crc = 0;
    bool zlibOpen = false;
    bool ended = false;   // the zlib stream ended
    bool damaged = false; // the payload cannot inflate to its size
    bool stopAtNul = false;
    bool stopped = false; // the stream ended at a NUL
    std::uint64_t nulAt = 0;
    std::ostream* copy = nullptr;
    z_stream z{};
    std::vector<unsigned char> in;
    std::vector<unsigned char> out;

    ~State()
    {
        if (zlibOpen)
            inflateEnd(&z);
    }
};

ON_CompressedBufferStream::ON_CompressedBufferStream() = default;

ON_CompressedBufferStream::~ON_CompressedBufferStream() = default;

bool ON_CompressedBufferStream::Open(ON_BinaryArchive& archive, bool stopAtNul)
{
    m_state.reset();
    setg(nullptr, nullptr, nullptr);
    if (!archive.ReadMode())
        return false;
    const std::size_t start = archive.CurrentPosition();
    ON_BinaryArchive::CompressedHeader header;
    if (!archive.readCompressedHeader(header)) {
        archive.SeekFromStart(start);
        return false;
    }
    auto state = std::make_unique<State>();
    state->archive = &archive;
    state->size = header.size;
    state->compressedSize = header.compressedSize;
    state->storedCrc = header.crc;
    state->packedLeft = header.compressedSize;
    state->recordEnd = archive.CurrentPosition() + static_cast<std::size_t>(header.compressedSize);
    state->crc = crc32(0L, Z_NULL, 0);
    state->stopAtNul = stopAtNul;
    state->nulAt = header.size;
    if (header.size > 0) {
        if (inflateInit(&state->z) != Z_OK) {
            archive.SeekFromStart(start);
            return false;
        }
        state->zlibOpen = true;
        state->in.resize(
            static_cast<std::size_t>(std::min<std::uint64_t>(streamPiece, header.compressedSize)));
        state->out.resize(putbackRoom + static_cast<std::size_t>(
                                            std::min<std::uint64_t>(streamPiece, header.size)));
    }
    m_state = std::move(state);
    return true;
}

void ON_CompressedBufferStream::CopyTo(std::ostream* copy)
{
    if (m_state)
        m_state->copy = copy;
}

std::size_t ON_CompressedBufferStream::Size() const
{
    return m_state ? static_cast<std::size_t>(m_state->size) : 0;
}

std::size_t ON_CompressedBufferStream::CompressedSize() const
{
    return m_state ? static_cast<std::size_t>(m_state->compressedSize) : 0;
}

bool ON_CompressedBufferStream::inflatePiece()
{
    State& s = *m_state;
    if (s.ended || s.damaged || s.size == 0)
        return false;
    unsigned char* piece = s.out.data() + putbackRoom;
    const std::size_t room = s.out.size() - putbackRoom;
    s.z.next_out = piece;
    s.z.avail_out = static_cast<uInt>(room);
    while (s.z.avail_out == room) {
        if (s.z.avail_in == 0 && s.packedLeft > 0) {
            const std::size_t step =
                static_cast<std::size_t>(std::min<std::uint64_t>(s.in.size(), s.packedLeft));
            if (!s.archive->ReadByte(step, s.in.data())) {
                s.damaged = true;
                return false;
            }
            s.packedLeft -= step;
            s.z.next_in = s.in.data();
            s.z.avail_in = static_cast<uInt>(step);
        }
        const int status = inflate(&s.z, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            s.ended = true;
            break;
        }
        // Without progress and without input left, the stream ends early.
        if (status != Z_OK && !(status == Z_BUF_ERROR && s.z.avail_in == 0 && s.packedLeft > 0)) {
            s.damaged = true;
            break;
        }
    }
    const std::size_t made = room - s.z.avail_out;
    if (made > s.size - s.produced) {
        s.damaged = true; // more than the record stores
        return false;
    }
    s.crc = crc32(s.crc, piece, static_cast<uInt>(made));
    if (s.copy != nullptr)
        s.copy->write(reinterpret_cast<const char*>(piece), static_cast<std::streamsize>(made));
    if (s.nulAt == s.size)
        if (const void* nul = std::memchr(piece, 0, made))
            s.nulAt = s.produced +
                      static_cast<std::uint64_t>(static_cast<const unsigned char*>(nul) - piece);
    s.firstInGet = s.produced;
    s.produced += made;
    char* first = reinterpret_cast<char*>(piece);
    std::size_t shown = made;
    if (s.stopAtNul && s.nulAt < s.produced) {
        shown = s.nulAt >= s.firstInGet ? static_cast<std::size_t>(s.nulAt - s.firstInGet) : 0;
        s.stopped = true;
    }
    setg(first, first, first + shown);
    return made > 0;
}

ON_CompressedBufferStream::int_type ON_CompressedBufferStream::underflow()
{
    if (gptr() < egptr())
        return traits_type::to_int_type(*gptr());
    if (!m_state || m_state->stopped || m_state->out.empty())
        return traits_type::eof();
    // The last bytes of the piece read stay before the next for a putback.
    const std::size_t keep =
        eback() != nullptr ? std::min(putbackRoom, static_cast<std::size_t>(gptr() - eback())) : 0;
    unsigned char* piece = m_state->out.data() + putbackRoom;
    if (keep > 0)
        std::memmove(piece - keep, gptr() - keep, keep);
    while (!m_state->stopped && gptr() == egptr()) {
        if (!inflatePiece()) {
            setg(nullptr, nullptr, nullptr);
            return traits_type::eof();
        }
    }
    if (gptr() == egptr())
        return traits_type::eof();
    setg(reinterpret_cast<char*>(piece) - keep, gptr(), egptr());
    return traits_type::to_int_type(*gptr());
}

ON_CompressedBufferStream::pos_type
ON_CompressedBufferStream::seekoff(off_type off, std::ios_base::seekdir dir,
                                   std::ios_base::openmode which)
{
    // Only the position asks are answered: tellg.
    if (!m_state || off != 0 || dir != std::ios_base::cur || !(which & std::ios_base::in))
        return pos_type(off_type(-1));
    if (gptr() == nullptr)
        return pos_type(off_type(m_state->produced));
    const char* first = reinterpret_cast<const char*>(m_state->out.data()) + putbackRoom;
    return pos_type(off_type(m_state->firstInGet) + off_type(gptr() - first));
}

bool ON_CompressedBufferStream::Check(ON_BinaryArchive& archive, std::size_t* nulAt)
{
    const std::size_t start = archive.CurrentPosition();
    ON_CompressedBufferStream stream;
    if (!stream.Open(archive))
        return false;
    const bool whole = stream.Finish(nulAt);
    archive.SeekFromStart(start);
    return whole;
}

bool ON_CompressedBufferStream::Finish(std::size_t* nulAt)
{
    if (!m_state)
        return false;
    State& s = *m_state;
    s.stopped = true; // nothing more reaches the reader
    while (inflatePiece()) {
    }
    setg(nullptr, nullptr, nullptr);
    const bool whole =
        s.size == 0 || (s.ended && !s.damaged && s.produced == s.size && s.z.avail_in == 0 &&
                        s.packedLeft == 0 && static_cast<std::uint32_t>(s.crc) == s.storedCrc);
    if (nulAt)
        *nulAt = static_cast<std::size_t>(s.nulAt);
    s.archive->SeekFromStart(s.recordEnd);
    m_state.reset();
    return whole;
}
