#include "platform/on/OpenNurbsSubset.h"

#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <istream>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes written(const std::function<void(ON_BinaryArchive&)>& write)
{
    ON_MemoryArchive archive;
    write(archive);
    return archive.Buffer();
}

Bytes pattern(size_t size)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<unsigned char>((i * 2654435761u) >> 13);
    return b;
}

// A compressed buffer of `size` bytes followed by the int 77.
Bytes bufferThenInt(const Bytes& data)
{
    return written([&](ON_BinaryArchive& a) {
        ASSERT_TRUE(a.WriteCompressedBuffer(data.size(), data.data()));
        ASSERT_TRUE(a.WriteInt(77));
    });
}

// What the compressed buffer at the archive's position streams: its bytes
// read in odd pieces, with a step back over every piece's end, and whether
// Finish found the payload whole (the archive then after the record).
Bytes streamed(ON_BinaryArchive& archive, bool& whole, bool stopAtNul = false,
               size_t* nulAt = nullptr)
{
    ON_CompressedBufferStream stream;
    whole = false;
    if (!stream.Open(archive, stopAtNul))
        return Bytes(1, 0xee);
    std::istream in(&stream);
    Bytes read;
    char piece[1000];
    while (in.read(piece, sizeof piece) || in.gcount() > 0) {
        read.insert(read.end(), piece, piece + in.gcount());
        // The byte before is given back and read again.
        if (in && in.unget()) {
            EXPECT_EQ(in.get(), std::istream::traits_type::to_int_type(piece[sizeof piece - 1]));
        }
    }
    in.clear();
    EXPECT_EQ(static_cast<size_t>(in.tellg()), read.size());
    whole = stream.Finish(nulAt);
    return read;
}

} // namespace

TEST(OnArchive, FieldsAreLittleEndianAndRoundTripInMemoryAndFiles)
{
    ON_UUID id = ON_UUID::Create();
    const ON_wString text(L"Gr\u00fc\u00dfe \u6f22\u5b57 \U0001F600");
    auto writeAll = [&](ON_BinaryArchive& a) {
        EXPECT_TRUE(a.WriteInt(4));
        EXPECT_TRUE(a.WriteInt(-2));
        EXPECT_TRUE(a.WriteInt64(-5000000000LL));
        EXPECT_TRUE(a.WriteDouble(-0.1));
        EXPECT_TRUE(a.WriteUuid(id));
        EXPECT_TRUE(a.WriteString(text));
    };
    Bytes bytes = written(writeAll);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{4, 0, 0, 0, 0xfe, 0xff, 0xff, 0xff}));

    std::string path = mwtest::scratchPath("fields.bin");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    {
        ON_BinaryFile file(ON::write, out);
        writeAll(file);
    }
    std::fclose(out);

    FILE* in = std::fopen(path.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    ON_BinaryFile fromFile(ON::read, in);
    ON_MemoryArchive fromMemory(bytes);
    for (ON_BinaryArchive* a :
         {static_cast<ON_BinaryArchive*>(&fromMemory), static_cast<ON_BinaryArchive*>(&fromFile)}) {
        int i4 = 0, m2 = 0;
        std::int64_t big = 0;
        double d = 0;
        ON_UUID readId;
        ON_wString readText;
        EXPECT_TRUE(a->ReadInt(&i4) && a->ReadInt(&m2) && a->ReadInt64(&big) && a->ReadDouble(&d) &&
                    a->ReadUuid(readId) && a->ReadString(readText));
        EXPECT_EQ(i4, 4);
        EXPECT_EQ(m2, -2);
        EXPECT_EQ(big, -5000000000LL);
        EXPECT_EQ(d, -0.1);
        EXPECT_EQ(readId, id);
        EXPECT_EQ(readText, text);
        EXPECT_TRUE(a->AtEnd());
        EXPECT_FALSE(a->ReadInt(&i4));
        EXPECT_EQ(i4, 4) << "a failed read leaves its output alone";
    }
    std::fclose(in);
}

TEST(OnArchive, CompressedBuffersKeepSizeAndBytes)
{
    for (size_t size : {size_t(0), size_t(1), size_t(10) << 20}) {
        Bytes data = pattern(size);
        ON_MemoryArchive archive(bufferThenInt(data));
        size_t stored = 99;
        ASSERT_TRUE(archive.ReadCompressedBufferSize(&stored)) << size;
        EXPECT_EQ(stored, size);
        Bytes back(stored);
        int crcFailed = -1;
        ASSERT_TRUE(archive.ReadCompressedBuffer(stored, back.data(), &crcFailed));
        EXPECT_EQ(crcFailed, 0);
        EXPECT_TRUE(back == data) << size;
        int next = 0;
        EXPECT_TRUE(archive.ReadInt(&next));
        EXPECT_EQ(next, 77);

        // Streamed, in pieces, the same bytes; to the first NUL when asked.
        for (bool stopAtNul : {false, true}) {
            ON_MemoryArchive again(bufferThenInt(data));
            bool whole = false;
            size_t nulAt = 0;
            const Bytes read = streamed(again, whole, stopAtNul, &nulAt);
            const size_t firstNul = size_t(std::find(data.begin(), data.end(), 0) - data.begin());
            EXPECT_EQ(nulAt, firstNul);
            EXPECT_TRUE(read == Bytes(data.begin(), data.begin() + (stopAtNul ? firstNul : size)))
                << size;
            EXPECT_TRUE(whole);
            EXPECT_TRUE(again.ReadInt(&next));
            EXPECT_EQ(next, 77);
        }
    }
}

TEST(OnArchive, CorruptPayloadIsFlaggedAndTheNextFieldStillReads)
{
    const Bytes data = pattern(5000);
    const Bytes good = bufferThenInt(data);
    // Header: size (8), CRC (4), compressed size (8); the payload follows and
    // the trailing int takes the last 4 bytes.
    const size_t payload = 20, payloadEnd = good.size() - 4;
    for (size_t at : {size_t(8), payload, (payload + payloadEnd) / 2, payloadEnd - 1}) {
        Bytes bad = good;
        bad[at] ^= 0x5a;
        ON_MemoryArchive archive(bad);
        Bytes back(data.size());
        int crcFailed = 0;
        ASSERT_TRUE(archive.ReadCompressedBuffer(back.size(), back.data(), &crcFailed)) << at;
        EXPECT_EQ(crcFailed, 1) << at;
        int next = 0;
        EXPECT_TRUE(archive.ReadInt(&next));
        EXPECT_EQ(next, 77) << at;
        // Streamed, the payload is not whole, and the next field reads.
        ON_MemoryArchive again(bad);
        bool whole = true;
        streamed(again, whole);
        EXPECT_FALSE(whole) << at;
        EXPECT_TRUE(again.ReadInt(&next));
        EXPECT_EQ(next, 77) << at;
    }
}

TEST(OnArchive, ShortOrForgedRecordsFailWithoutOverReading)
{
    const Bytes data = pattern(3000);
    const Bytes whole = bufferThenInt(data);
    const Bytes record(whole.begin(), whole.end() - 4);
    for (size_t cut = 0; cut < record.size(); cut += (cut < 40 ? 1 : 97)) {
        ON_MemoryArchive archive(Bytes(record.begin(), record.begin() + cut));
        size_t size = 12345;
        EXPECT_FALSE(archive.ReadCompressedBufferSize(&size)) << cut;
        EXPECT_EQ(size, 12345u);
        Bytes back(data.size(), 0xcc);
        EXPECT_FALSE(archive.ReadCompressedBuffer(back.size(), back.data(), nullptr)) << cut;
        EXPECT_EQ(back[0], 0xcc) << "untouched after a failed read";
        EXPECT_EQ(archive.CurrentPosition(), 0u);
        ON_CompressedBufferStream stream;
        EXPECT_FALSE(stream.Open(archive)) << cut;
        EXPECT_EQ(archive.CurrentPosition(), 0u);
    }

    // A forged uncompressed size far beyond what the payload can inflate to,
    // and a string claiming more bytes than remain: refused before any
    // allocation.
    Bytes forged = record;
    for (int i = 0; i < 8; ++i)
        forged[i] = i == 6 ? 0x10 : 0; // 2^52 bytes
    ON_MemoryArchive forgedArchive(forged);
    size_t size = 0;
    EXPECT_FALSE(forgedArchive.ReadCompressedBufferSize(&size));
    ON_CompressedBufferStream forgedStream;
    EXPECT_FALSE(forgedStream.Open(forgedArchive));
    ON_MemoryArchive longString(written([](ON_BinaryArchive& a) { a.WriteInt(1 << 30); }));
    ON_wString text(L"kept");
    EXPECT_FALSE(longString.ReadString(text));
    EXPECT_EQ(text, L"kept");
    EXPECT_EQ(longString.CurrentPosition(), 0u);

    // The size handed to ReadCompressedBuffer must be the stored one.
    ON_MemoryArchive wrongSize(whole);
    Bytes small(data.size() - 1);
    EXPECT_FALSE(wrongSize.ReadCompressedBuffer(small.size(), small.data(), nullptr));
}

TEST(OnArchive, BoundedArchiveEndsAtItsChunk)
{
    ON_UUID id = ON_UUID::Create();
    Bytes bytes = written([&](ON_BinaryArchive& a) {
        a.WriteInt(11);
        a.WriteUuid(id); // 16 bytes inside the chunk
        a.WriteInt(22);  // first field after the chunk
        a.WriteString(L"after");
    });
    ON_MemoryArchive parent(bytes);
    int first = 0;
    ASSERT_TRUE(parent.ReadInt(&first));
    {
        ON_BoundedArchive chunk(parent, 16);
        EXPECT_EQ(chunk.BytesLeft(), 16u);
        int a = 0, b = 0, c = 0, d = 0, e = 0;
        EXPECT_TRUE(chunk.ReadInt(&a) && chunk.ReadInt(&b) && chunk.ReadInt(&c));
        EXPECT_FALSE(chunk.ReadInt64(nullptr));
        std::int64_t wide = 0;
        EXPECT_FALSE(chunk.ReadInt64(&wide)) << "8 bytes asked, 4 left in the chunk";
        EXPECT_TRUE(chunk.ReadInt(&d));
        EXPECT_FALSE(chunk.ReadInt(&e)) << "the parent has more, the chunk does not";
        EXPECT_FALSE(chunk.SeekFromStart(17));
        EXPECT_TRUE(chunk.SeekFromStart(0));
        ON_UUID back;
        EXPECT_TRUE(chunk.ReadUuid(back));
        EXPECT_EQ(back, id);
        EXPECT_TRUE(chunk.SeekFromStart(3));
        EXPECT_TRUE(chunk.SkipToEnd());
    }
    int next = 0;
    ON_wString after;
    EXPECT_TRUE(parent.ReadInt(&next) && parent.ReadString(after));
    EXPECT_EQ(next, 22);
    EXPECT_EQ(after, L"after");

    // A chunk longer than its parent ends with the parent.
    ON_MemoryArchive shortParent(Bytes{1, 0, 0, 0});
    ON_BoundedArchive overlong(shortParent, 1000);
    EXPECT_EQ(overlong.BytesLeft(), 4u);
}
