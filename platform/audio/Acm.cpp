#include "Acm.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "AcmDriver.h"

namespace murmel {

struct AcmStream {
    std::shared_ptr<AcmDriver> driver;  // kept alive while the stream is open
    std::unique_ptr<AcmDriverStream> stream;
};

namespace {

constexpr uint32_t kVersion = 0x02000000;  // 2.00, build 0
constexpr uint32_t kKnownOpenFlags =
    ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC | ACM_STREAMOPENF_NONREALTIME;
constexpr uint32_t kKnownConvertFlags =
    ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
constexpr uint32_t kKnownSuggestFlags =
    ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
    ACM_FORMATSUGGESTF_NSAMPLESPERSEC | ACM_FORMATSUGGESTF_WBITSPERSAMPLE;

struct Manager {
    std::mutex lock;
    std::vector<std::shared_ptr<AcmDriver>> local;  // newest last
    std::vector<std::shared_ptr<AcmDriver>> builtIn{MakeAcmPcmDriver(), MakeAcmMp3Driver()};
    std::unordered_set<const AcmStream*> open;

    // Local drivers first, newest first, then the built-in ones.
    std::vector<std::shared_ptr<AcmDriver>> Drivers() {
        std::lock_guard guard(lock);
        std::vector<std::shared_ptr<AcmDriver>> all(local.rbegin(), local.rend());
        all.insert(all.end(), builtIn.begin(), builtIn.end());
        return all;
    }

    bool IsOpen(const AcmStream* stream) {
        std::lock_guard guard(lock);
        return stream && open.count(stream) > 0;
    }
};

Manager& TheManager() {
    static Manager manager;
    return manager;
}

}  // namespace

void AcmAddLocalDriver(std::shared_ptr<AcmDriver> driver) {
    std::lock_guard guard(TheManager().lock);
    TheManager().local.push_back(std::move(driver));
}

void AcmRemoveLocalDriver(const AcmDriver* driver) {
    Manager& manager = TheManager();
    std::lock_guard guard(manager.lock);
    std::erase_if(manager.local, [driver](const auto& entry) { return entry.get() == driver; });
}

uint32_t acmGetVersion() { return kVersion; }

MMRESULT acmMetrics(HACMOBJ object, uint32_t metric, void* value) {
    if (object) return MMSYSERR_INVALHANDLE;  // only the manager-wide metrics exist here
    if (!value) return MMSYSERR_INVALPARAM;
    uint32_t count = 0;
    const std::vector<std::shared_ptr<AcmDriver>>& drivers = TheManager().builtIn;
    auto countKind = [&](AcmDriver::Kind kind) {
        return static_cast<uint32_t>(
            std::count_if(drivers.begin(), drivers.end(),
                          [kind](const auto& d) { return d->DriverKind() == kind; }));
    };
    switch (metric) {
        case ACM_METRIC_COUNT_DRIVERS:
            count = static_cast<uint32_t>(drivers.size());
            break;
        case ACM_METRIC_COUNT_CODECS:
            count = countKind(AcmDriver::Kind::Codec);
            break;
        case ACM_METRIC_COUNT_CONVERTERS:
            count = countKind(AcmDriver::Kind::Converter);
            break;
        case ACM_METRIC_COUNT_FILTERS:
            count = countKind(AcmDriver::Kind::Filter);
            break;
        case ACM_METRIC_MAX_SIZE_FORMAT:
            for (const auto& driver : drivers) count = std::max(count, driver->MaxFormatSize());
            break;
        case ACM_METRIC_MAX_SIZE_FILTER:
            count = 0;
            break;
        default:
            return MMSYSERR_NOTSUPPORTED;
    }
    *static_cast<uint32_t*>(value) = count;
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER driver, const WAVEFORMATEX* src, WAVEFORMATEX* dst,
                          uint32_t cbwfxDst, uint32_t fdwSuggest) {
    if (driver) return MMSYSERR_INVALHANDLE;
    if (!src || !dst || cbwfxDst < sizeof(WAVEFORMATEX)) return MMSYSERR_INVALPARAM;
    if (fdwSuggest & ~kKnownSuggestFlags) return MMSYSERR_INVALFLAG;
    for (const auto& candidate : TheManager().Drivers())
        if (candidate->Suggest(*src, dst, cbwfxDst, fdwSuggest) == MMSYSERR_NOERROR)
            return MMSYSERR_NOERROR;
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER driver, const WAVEFORMATEX* src,
                       const WAVEFORMATEX* dst, const WAVEFILTER* filter, uintptr_t, uintptr_t,
                       uint32_t fdwOpen) {
    if (phas) *phas = nullptr;
    if (driver) return MMSYSERR_INVALHANDLE;
    if (!src || !dst) return MMSYSERR_INVALPARAM;
    if (fdwOpen & ~kKnownOpenFlags) return MMSYSERR_INVALFLAG;
    if (filter || (fdwOpen & ACM_STREAMOPENF_ASYNC)) return MMSYSERR_NOTSUPPORTED;
    bool query = (fdwOpen & ACM_STREAMOPENF_QUERY) != 0;
    if (!query && !phas) return MMSYSERR_INVALPARAM;
    for (const auto& candidate : TheManager().Drivers()) {
        if (!candidate->CanOpen(*src, *dst, fdwOpen)) continue;
        if (query) return MMSYSERR_NOERROR;
        try {
            auto handle = std::make_unique<AcmStream>();
            handle->driver = candidate;
            handle->stream = candidate->Open(*src, *dst, fdwOpen);
            if (!handle->stream) return ACMERR_NOTPOSSIBLE;
            Manager& manager = TheManager();
            std::lock_guard guard(manager.lock);
            manager.open.insert(handle.get());
            *phas = handle.release();
            return MMSYSERR_NOERROR;
        } catch (const std::bad_alloc&) {
            return MMSYSERR_NOMEM;
        } catch (...) {
            return MMSYSERR_ERROR;
        }
    }
    return ACMERR_NOTPOSSIBLE;
}

MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose) {
    if (fdwClose) return MMSYSERR_INVALFLAG;
    Manager& manager = TheManager();
    {
        std::lock_guard guard(manager.lock);
        if (!has || manager.open.erase(has) == 0) return MMSYSERR_INVALHANDLE;
    }
    delete has;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes,
                       uint32_t fdwSize) {
    if (!TheManager().IsOpen(has)) return MMSYSERR_INVALHANDLE;
    if (!pdwOutputBytes) return MMSYSERR_INVALPARAM;
    if (fdwSize & ~ACM_STREAMSIZEF_DESTINATION) return MMSYSERR_INVALFLAG;
    if (cbInput == 0) return MMSYSERR_INVALPARAM;
    return has->stream->Size(cbInput, pdwOutputBytes, fdwSize);
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare) {
    if (!TheManager().IsOpen(has)) return MMSYSERR_INVALHANDLE;
    if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER) || !pash->pbSrc || !pash->pbDst)
        return MMSYSERR_INVALPARAM;
    if (fdwPrepare) return MMSYSERR_INVALFLAG;
    // Remembered so that a conversion never reaches past the prepared buffers.
    pash->dwReservedDriver[0] = pash->cbSrcLength;
    pash->dwReservedDriver[1] = pash->cbDstLength;
    pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare) {
    if (!TheManager().IsOpen(has)) return MMSYSERR_INVALHANDLE;
    if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
    if (fdwUnprepare) return MMSYSERR_INVALFLAG;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    // As on the platform: the lengths must be those the header was prepared with.
    if (pash->cbSrcLength != pash->dwReservedDriver[0] ||
        pash->cbDstLength != pash->dwReservedDriver[1])
        return MMSYSERR_INVALPARAM;
    pash->fdwStatus &= ~(ACMSTREAMHEADER_STATUSF_PREPARED | ACMSTREAMHEADER_STATUSF_DONE);
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert) {
    if (!TheManager().IsOpen(has)) return MMSYSERR_INVALHANDLE;
    if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
    if (fdwConvert & ~kKnownConvertFlags) return MMSYSERR_INVALFLAG;
    if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
    if (pash->fdwStatus & ACMSTREAMHEADER_STATUSF_INQUEUE) return ACMERR_BUSY;
    if (pash->cbSrcLength > pash->dwReservedDriver[0] ||
        pash->cbDstLength > pash->dwReservedDriver[1])
        return MMSYSERR_INVALPARAM;
    pash->fdwStatus =
        (pash->fdwStatus & ~ACMSTREAMHEADER_STATUSF_DONE) | ACMSTREAMHEADER_STATUSF_INQUEUE;
    pash->cbSrcLengthUsed = 0;
    pash->cbDstLengthUsed = 0;
    MMRESULT result;
    try {
        result = has->stream->Convert(*pash, fdwConvert);
    } catch (const std::bad_alloc&) {
        result = MMSYSERR_NOMEM;
    } catch (...) {
        result = MMSYSERR_ERROR;
    }
    pash->fdwStatus =
        (pash->fdwStatus & ~ACMSTREAMHEADER_STATUSF_INQUEUE) | ACMSTREAMHEADER_STATUSF_DONE;
    return result;
}

MMRESULT acmStreamReset(HACMSTREAM has, uint32_t fdwReset) {
    if (!TheManager().IsOpen(has)) return MMSYSERR_INVALHANDLE;
    if (fdwReset) return MMSYSERR_INVALFLAG;
    has->stream->Reset();
    return MMSYSERR_NOERROR;
}

}  // namespace murmel
