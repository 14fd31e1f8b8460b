#pragma once
#include <cstddef>
#include <cstdint>

// The parameters of the -lh5- bit stream, shared by the compressor and the
// decompressor.
namespace murmel::lh5 {

inline constexpr int kDictionaryBits = 13;
inline constexpr int kDictionarySize = 1 << kDictionaryBits;  // match distances 1..8,192
inline constexpr int kMaxMatch = 256;                         // longest match
inline constexpr int kThreshold = 3;                          // shortest match

// Literal/length alphabet: bytes 0..255, then match lengths 3..256.
inline constexpr int kLiteralLengthSymbols = 256 + kMaxMatch + 1 - kThreshold;  // 510
inline constexpr int kFirstMatchSymbol = 256;
inline constexpr int kPositionSymbols = kDictionaryBits + 1;  // 14 bit lengths of p
inline constexpr int kCodeLengthSymbols = 16 + 3;             // 19: three zero runs, lengths 1..16
inline constexpr int kMaxCodeLength = 16;

// Field widths of the block header.
inline constexpr int kBlockSizeBits = 16;
inline constexpr int kLiteralLengthCountBits = 9;
inline constexpr int kCodeLengthCountBits = 5;
inline constexpr int kPositionCountBits = 4;

// The code-length code's two-bit zero run follows the length of this symbol's predecessor.
inline constexpr int kCodeLengthZeroRunAfter = 3;

// Both directions move data in pieces of this size.
inline constexpr size_t kChunkSize = 8192;

// The stream's only framing: the uncompressed size in front.
inline constexpr size_t kSizeFieldBytes = 4;

}  // namespace murmel::lh5
