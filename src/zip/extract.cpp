#include "zip/extract.h"

#include <cstdio>
#include <optional>

#include "base/text.h"
#include "zip/codec.h"
#include "zip/limits.h"
#include "zip/messages.h"

namespace qv::zip {

namespace {
std::string hex8(std::uint32_t v) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v));
    return buf;
}
}  // namespace

Result<std::string> ExtractEntry(const ByteSource& source, const ZipEntry& entry) {
    const std::string shown = text::sanitizeUtf8(entry.name);
    if (entry.isEncrypted())
        return Error(ErrorCode::Unsupported, shown + " is encrypted, which this tool does not read");
    if (entry.header.method != kMethodStored && entry.header.method != kMethodDeflated)
        return Error(ErrorCode::UnsupportedMethod, kMsgUnknownMethod);
    if (entry.uncompressedSize > kMaxExtractedSize)
        return Error(ErrorCode::TooLarge, shown + " is " + std::to_string(entry.uncompressedSize) +
                                              " bytes uncompressed, more than this tool extracts");
    // The size limit bounds the product: a larger compressed size can't exceed the ratio.
    if (entry.compressedSize > 0 && entry.compressedSize < kMaxExtractedSize &&
        entry.uncompressedSize > entry.compressedSize * kMaxCompressionRatio)
        return Error(ErrorCode::TooLarge, shown + " expands more than " + std::to_string(kMaxCompressionRatio) +
                                              " times; it is not extracted");

    auto fixed = source.read(entry.localHeaderOffset, LocalFileHeader::kSize);
    LocalFileHeader local;
    ByteReader r(fixed ? std::string_view(*fixed) : std::string_view());
    if (!fixed || !local.read(r))
        return Error(ErrorCode::BadZip, std::string(kMsgNotAZip) + " (no local header for " + shown + ")");
    std::uint64_t dataStart = entry.localHeaderOffset + LocalFileHeader::kSize + local.nameLength + local.extraLength;
    if (dataStart > entry.regionEnd || entry.compressedSize > entry.regionEnd - dataStart)
        return Error(ErrorCode::BadZip,
                     std::string(kMsgNotAZip) + " (the data of " + shown + " runs into the next entry)");

    std::string out;
    std::optional<std::uint32_t> crc;  // the decoder's, when it computed one
    if (entry.header.method == kMethodStored) {
        if (entry.compressedSize != entry.uncompressedSize)
            return Error(ErrorCode::SizeMismatch, entry.compressedSize > entry.uncompressedSize
                                                      ? std::string(kMsgLargerThanUncompressed)
                                                      : "File is smaller than uncompressed size!");
        auto data = source.read(dataStart, static_cast<std::size_t>(entry.compressedSize));
        if (!data)
            return data.error();
        out = std::move(*data);
    } else if (entry.compressedSize > 0) {
        out.reserve(static_cast<std::size_t>(entry.uncompressedSize));
        auto inflated = InflateRaw(source, dataStart, entry.compressedSize, &out, entry.uncompressedSize);
        if (!inflated) {
            Error e = inflated.error();
            if (e.code == ErrorCode::BadZip)
                e.message = "the compressed data of " + shown + " is damaged: " + e.message;
            return e;
        }
        crc = inflated->crc32;
    }
    if (out.size() < entry.uncompressedSize)
        return Error(ErrorCode::SizeMismatch, "File is smaller than uncompressed size!");
    // The decoder's check value covers what it produced, which is all of out.
    if (!crc)
        crc = Crc32(out);
    if (*crc != entry.header.crc32)
        return Error(ErrorCode::CrcMismatch, "CRC error in " + shown + ": stored " + hex8(entry.header.crc32) +
                                                 ", computed " + hex8(*crc));
    return out;
}

}  // namespace qv::zip
