#include "zip/codec.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "zip/messages.h"

namespace qv::zip {

namespace {
constexpr std::size_t kChunk = 64 * 1024;

// zlib counts in uInt; feed it at most this much at a time.
constexpr std::size_t kMaxZlibSpan = 1u << 30;

Error damaged(const char* what) {
    return Error(ErrorCode::BadZip, std::string("the compressed data is damaged (") + what + ")");
}
}  // namespace

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
    uLong c = crc;
    while (!data.empty()) {
        std::size_t n = std::min(data.size(), kMaxZlibSpan);
        c = crc32(c, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(n));
        data.remove_prefix(n);
    }
    return static_cast<std::uint32_t>(c);
}

Result<Deflated> DeflateRaw(std::string_view data, int level) {
    z_stream zs{};
    // A window no larger than the data finds the same matches, and a small
    // part then costs the encoder a few KB instead of a quarter megabyte.
    int windowBits = 9;
    while (windowBits < MAX_WBITS && (std::size_t{1} << windowBits) < data.size())
        ++windowBits;
    int memLevel = std::clamp(windowBits - 6, 1, 8);
    int rc = deflateInit2(&zs, level, Z_DEFLATED, -windowBits, memLevel, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK)
        return Error(rc == Z_MEM_ERROR ? ErrorCode::Internal : ErrorCode::InvalidArgument,
                     "can't start the Deflate encoder");
    Deflated result;
    auto chunk = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
    std::string_view rest = data;
    for (;;) {
        if (zs.avail_in == 0 && !rest.empty()) {
            std::size_t n = std::min(rest.size(), kMaxZlibSpan);
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(rest.data()));
            zs.avail_in = static_cast<uInt>(n);
            rest.remove_prefix(n);
        }
        int flush = rest.empty() ? Z_FINISH : Z_NO_FLUSH;
        zs.next_out = chunk.get();
        zs.avail_out = static_cast<uInt>(kChunk);
        rc = deflate(&zs, flush);
        result.bytes.append(reinterpret_cast<const char*>(chunk.get()), kChunk - zs.avail_out);
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            deflateEnd(&zs);
            return Error(ErrorCode::Internal, "the Deflate encoder failed");
        }
    }
    result.looksLikeText = zs.data_type == Z_TEXT;
    deflateEnd(&zs);
    result.crc32 = Crc32(data);
    return result;
}

Result<Inflated> InflateRaw(const ByteSource& source, std::uint64_t offset, std::uint64_t maxInput, std::string* out,
                            std::uint64_t maxOutput) {
    z_stream zs{};
    int rc = inflateInit2(&zs, -MAX_WBITS);
    if (rc != Z_OK)
        return Error(ErrorCode::Internal, kMsgInflateOutOfMemory);
    struct Ender {
        z_stream* zs;
        ~Ender() { inflateEnd(zs); }
    } ender{&zs};

    // Buffers no larger than the data needs and not zeroed: an archive's
    // small parts are extracted many times.
    const std::size_t inSize = static_cast<std::size_t>(std::clamp<std::uint64_t>(maxInput, 1, kChunk));
    const std::size_t outSize = maxOutput >= kChunk ? kChunk : static_cast<std::size_t>(maxOutput) + 1;
    auto in = std::make_unique_for_overwrite<unsigned char[]>(inSize);
    auto chunk = std::make_unique_for_overwrite<unsigned char[]>(outSize);
    std::uint64_t readPos = 0;
    Inflated result;
    uLong crc = 0;
    for (;;) {
        if (zs.avail_in == 0 && readPos < maxInput) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(inSize, maxInput - readPos));
            QV_TRY(source.readAt(offset + readPos, in.get(), n));
            readPos += n;
            zs.next_in = in.get();
            zs.avail_in = static_cast<uInt>(n);
        }
        zs.next_out = chunk.get();
        zs.avail_out = static_cast<uInt>(outSize);
        // With all the input given and room for all the output, the decoder
        // finishes in this call and keeps no window (no 32 KiB block and copy
        // for each small part).
        int flush = readPos >= maxInput && outSize > maxOutput - result.produced ? Z_FINISH : Z_NO_FLUSH;
        rc = inflate(&zs, flush);
        std::size_t got = outSize - zs.avail_out;
        if (got > 0) {
            if (got > maxOutput - result.produced)
                return Error(ErrorCode::SizeMismatch, kMsgLargerThanUncompressed);
            result.produced += got;
            crc = crc32(crc, chunk.get(), static_cast<uInt>(got));
            if (out)
                out->append(reinterpret_cast<const char*>(chunk.get()), got);
        }
        if (rc == Z_STREAM_END)
            break;
        if (rc == Z_MEM_ERROR)
            return Error(ErrorCode::Internal, kMsgInflateOutOfMemory);
        if (rc == Z_NEED_DICT)
            return damaged("it asks for a preset dictionary");
        if (rc == Z_DATA_ERROR)
            return damaged(zs.msg ? zs.msg : "invalid Deflate data");
        if (rc != Z_OK && rc != Z_BUF_ERROR)
            return damaged("the decoder stopped");
        if (got == 0 && zs.avail_in == 0 && readPos >= maxInput)
            return damaged("it ends before the end of its Deflate stream");
        if (rc == Z_BUF_ERROR && zs.avail_in != 0)
            return damaged("the decoder can't go on");
    }
    result.consumed = readPos - zs.avail_in;
    result.crc32 = static_cast<std::uint32_t>(crc);
    return result;
}

}  // namespace qv::zip
