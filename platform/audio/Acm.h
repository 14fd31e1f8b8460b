#pragma once
// Our Audio Compression Manager: the stream interface of the platform's ACM
// (names, flags, result codes and the header record as the recorder used them),
// served by drivers of our own (AcmDriver.h). Streams convert synchronously.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace murmel {

// The wave format record: an 18-byte little-endian header followed in memory by
// cbSize codec-specific bytes.
#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

constexpr uint16_t kAcmTagPcm = 1;
constexpr uint16_t kAcmTagMpegLayer3 = 0x55;

using MMRESULT = uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_BUSY = 513;
constexpr MMRESULT ACMERR_UNPREPARED = 514;

constexpr uint32_t ACM_METRIC_COUNT_DRIVERS = 1;
constexpr uint32_t ACM_METRIC_COUNT_CODECS = 2;
constexpr uint32_t ACM_METRIC_COUNT_CONVERTERS = 3;
constexpr uint32_t ACM_METRIC_COUNT_FILTERS = 4;
constexpr uint32_t ACM_METRIC_MAX_SIZE_FORMAT = 50;
constexpr uint32_t ACM_METRIC_MAX_SIZE_FILTER = 51;

constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr uint32_t ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
constexpr uint32_t ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
constexpr uint32_t ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;

constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x00000001;
constexpr uint32_t ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;

constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;

constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr uint32_t ACM_STREAMCONVERTF_START = 0x00000010;
constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

struct ACMSTREAMHEADER {
    uint32_t cbStruct;
    uint32_t fdwStatus;
    uintptr_t dwUser;
    uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
    uintptr_t dwDstUser;
    uint32_t dwReservedDriver[10];  // the lengths the header was prepared with
};

struct AcmStream;
using HACMSTREAM = AcmStream*;
using HACMDRIVER = void*;  // drivers are always chosen by the manager here
using HACMOBJ = void*;
struct WAVEFILTER;  // filters are not supported

// Version 2.00 in the high word: major in its high byte, minor in its low byte.
uint32_t acmGetVersion();

MMRESULT acmMetrics(HACMOBJ object, uint32_t metric, void* value);

// Fills dst (cbwfxDst bytes) with a format the drivers can reach from src; the
// fields named by the flags are taken from dst as it is given.
MMRESULT acmFormatSuggest(HACMDRIVER driver, const WAVEFORMATEX* src, WAVEFORMATEX* dst,
                          uint32_t cbwfxDst, uint32_t fdwSuggest);

// With ACM_STREAMOPENF_QUERY only answers whether a driver converts src to dst
// (phas may then be null). Filters, callbacks and ASYNC are not supported.
MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER driver, const WAVEFORMATEX* src,
                       const WAVEFORMATEX* dst, const WAVEFILTER* filter, uintptr_t callback,
                       uintptr_t instance, uint32_t fdwOpen);
MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose);

// Worst-case output for cbInput source bytes (SOURCE), or the source that fills
// cbInput destination bytes (DESTINATION).
MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes,
                       uint32_t fdwSize);

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare);

// Consumes all cbSrcLength bytes (cbSrcLengthUsed == cbSrcLength) and hands out
// up to cbDstLength bytes; what does not fit is kept for the next call. With
// ACM_STREAMCONVERTF_END the stream is drained: repeat until cbDstLengthUsed is 0.
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert);
MMRESULT acmStreamReset(HACMSTREAM has, uint32_t fdwReset);

}  // namespace murmel
