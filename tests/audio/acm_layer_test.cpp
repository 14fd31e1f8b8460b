// The Audio Compression Manager layer: formats, queries, sizes, conversions.
#include <gtest/gtest.h>

#include <cstring>

#include "Acm.h"
#include "AcmDriver.h"
#include "PresetsStore.h"
#include "acm_support.h"

namespace murmel {
namespace {

WAVEFORMATEX Pcm(uint16_t channels, uint32_t rate, uint16_t bits = 16) {
    WAVEFORMATEX format{};
    format.wFormatTag = kAcmTagPcm;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.wBitsPerSample = bits;
    format.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    return format;
}

// A preset record in storage of the layer's own type.
struct Preset {
    explicit Preset(const std::string& name) {
        std::vector<uint8_t> bytes = StandardPreset(name);
        std::memcpy(storage, bytes.data(), bytes.size());
    }
    WAVEFORMATEX storage[2]{};
    const WAVEFORMATEX* get() const { return storage; }
};

MMRESULT Query(const WAVEFORMATEX& src, const WAVEFORMATEX& dst, uint32_t flags = 0) {
    return acmStreamOpen(nullptr, nullptr, &src, &dst, nullptr, 0, 0,
                         ACM_STREAMOPENF_QUERY | flags);
}

// An open stream with one prepared header over buffers of the given sizes.
struct OpenStream {
    OpenStream(const WAVEFORMATEX* src, const WAVEFORMATEX* dst, uint32_t sourceSize,
               uint32_t destinationSize = 0, uint32_t flags = ACM_STREAMOPENF_NONREALTIME) {
        EXPECT_EQ(acmStreamOpen(&handle, nullptr, src, dst, nullptr, 0, 0, flags),
                  MMSYSERR_NOERROR);
        if (destinationSize == 0) {
            EXPECT_EQ(acmStreamSize(handle, sourceSize, &destinationSize, ACM_STREAMSIZEF_SOURCE),
                      MMSYSERR_NOERROR);
        }
        source.resize(sourceSize);
        destination.resize(destinationSize);
        header.cbStruct = sizeof header;
        header.pbSrc = source.data();
        header.cbSrcLength = sourceSize;
        header.pbDst = destination.data();
        header.cbDstLength = destinationSize;
        EXPECT_EQ(acmStreamPrepareHeader(handle, &header, 0), MMSYSERR_NOERROR);
    }
    ~OpenStream() {
        header.cbSrcLength = static_cast<uint32_t>(source.size());
        header.cbDstLength = static_cast<uint32_t>(destination.size());
        acmStreamUnprepareHeader(handle, &header, 0);
        acmStreamClose(handle, 0);
    }
    // Converts `bytes` piece by piece, then drains; returns everything produced.
    std::vector<uint8_t> ConvertAll(const std::vector<uint8_t>& bytes, bool drain = true) {
        std::vector<uint8_t> out;
        for (size_t offset = 0; offset < bytes.size(); offset += source.size()) {
            auto count = static_cast<uint32_t>(std::min(source.size(), bytes.size() - offset));
            std::memcpy(source.data(), bytes.data() + offset, count);
            header.cbSrcLength = count;
            EXPECT_EQ(acmStreamConvert(handle, &header, ACM_STREAMCONVERTF_BLOCKALIGN),
                      MMSYSERR_NOERROR);
            EXPECT_EQ(header.cbSrcLengthUsed, count);  // every byte is consumed
            out.insert(out.end(), destination.begin(),
                       destination.begin() + header.cbDstLengthUsed);
        }
        header.cbSrcLength = 0;
        for (int round = 0; drain && round < 1000; ++round) {
            EXPECT_EQ(acmStreamConvert(handle, &header, ACM_STREAMCONVERTF_END), MMSYSERR_NOERROR);
            if (header.cbDstLengthUsed == 0) break;
            out.insert(out.end(), destination.begin(),
                       destination.begin() + header.cbDstLengthUsed);
        }
        return out;
    }
    HACMSTREAM handle = nullptr;
    std::vector<uint8_t> source, destination;
    ACMSTREAMHEADER header{};
};

TEST(AcmLayer, ReportsVersionTwoAndItsDrivers) {
    EXPECT_GE(acmGetVersion() >> 16, 0x0200u);
    uint32_t drivers = 0, codecs = 0, converters = 0, filters = 9, formatSize = 0;
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_DRIVERS, &drivers), MMSYSERR_NOERROR);
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_CODECS, &codecs), MMSYSERR_NOERROR);
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_CONVERTERS, &converters), MMSYSERR_NOERROR);
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_COUNT_FILTERS, &filters), MMSYSERR_NOERROR);
    EXPECT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &formatSize), MMSYSERR_NOERROR);
    EXPECT_EQ(drivers, 2u);
    EXPECT_EQ(codecs, 1u);
    EXPECT_EQ(converters, 1u);
    EXPECT_EQ(filters, 0u);
    EXPECT_EQ(formatSize, 30u);  // an MPEG Layer-3 record
    EXPECT_EQ(acmMetrics(nullptr, 99, &drivers), MMSYSERR_NOTSUPPORTED);
}

TEST(AcmLayer, EncoderTakesOnlySixteenBitPcmAtItsOwnRateAndChannels) {
    const WAVEFORMATEX input = Pcm(2, 44100);
    EXPECT_EQ(Query(input, *Preset("8K").get()), MMSYSERR_NOERROR);
    for (const char* name : {"1K", "2K", "4K"})
        EXPECT_EQ(Query(input, *Preset(name).get()), ACMERR_NOTPOSSIBLE) << name;
    EXPECT_EQ(Query(Pcm(1, 8000), *Preset("1K").get()), MMSYSERR_NOERROR);
    EXPECT_EQ(Query(Pcm(1, 8000, 8), *Preset("1K").get()), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(Query(Pcm(2, 8000), *Preset("1K").get()), ACMERR_NOTPOSSIBLE);
    // A bit rate that MPEG does not have at that rate.
    Preset odd("1K");
    odd.storage[0].nAvgBytesPerSec = 1100;
    EXPECT_EQ(Query(Pcm(1, 8000), *odd.get()), ACMERR_NOTPOSSIBLE);
    // Nothing decodes MPEG here.
    EXPECT_EQ(Query(*Preset("8K").get(), input), ACMERR_NOTPOSSIBLE);
}

TEST(AcmLayer, PcmConverterChangesRateChannelsAndWidth) {
    EXPECT_EQ(Query(Pcm(2, 44100), Pcm(1, 8000)), MMSYSERR_NOERROR);
    EXPECT_EQ(Query(Pcm(1, 11025, 8), Pcm(2, 48000, 16)), MMSYSERR_NOERROR);
    EXPECT_EQ(Query(Pcm(2, 44100), Pcm(3, 44100)), ACMERR_NOTPOSSIBLE);
    WAVEFORMATEX broken = Pcm(2, 44100);
    broken.nBlockAlign = 3;
    EXPECT_EQ(Query(broken, Pcm(1, 8000)), ACMERR_NOTPOSSIBLE);
}

TEST(AcmLayer, SuggestsPcmWithTheAskedShape) {
    const WAVEFORMATEX input = Pcm(2, 44100);
    WAVEFORMATEX suggestion[2]{};
    suggestion[0].nChannels = 1;
    suggestion[0].nSamplesPerSec = 16000;
    ASSERT_EQ(acmFormatSuggest(nullptr, &input, suggestion, 1025,
                               ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_NSAMPLESPERSEC),
              MMSYSERR_NOERROR);
    EXPECT_EQ(suggestion[0].wFormatTag, kAcmTagPcm);
    EXPECT_EQ(suggestion[0].nChannels, 1);
    EXPECT_EQ(suggestion[0].nSamplesPerSec, 16000u);
    EXPECT_EQ(suggestion[0].wBitsPerSample, 16);
    EXPECT_EQ(suggestion[0].nBlockAlign, 2);
    EXPECT_EQ(suggestion[0].nAvgBytesPerSec, 32000u);
    EXPECT_EQ(suggestion[0].cbSize, 0);

    suggestion[0].wBitsPerSample = 8;
    ASSERT_EQ(acmFormatSuggest(nullptr, &input, suggestion, 1025,
                               ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_WBITSPERSAMPLE),
              MMSYSERR_NOERROR);
    EXPECT_EQ(suggestion[0].nSamplesPerSec, 44100u);
    EXPECT_EQ(suggestion[0].nBlockAlign, 1);

    EXPECT_EQ(acmFormatSuggest(nullptr, &input, suggestion, 17, 0), MMSYSERR_INVALPARAM);
    suggestion[0].wFormatTag = kAcmTagMpegLayer3;
    EXPECT_EQ(acmFormatSuggest(nullptr, &input, suggestion, 1025, ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmFormatSuggest(nullptr, Preset("8K").get(), suggestion, 1025, 0),
              ACMERR_NOTPOSSIBLE);
}

TEST(AcmLayer, SizesCoverTheWorstCase) {
    const WAVEFORMATEX input = Pcm(2, 44100);
    HACMSTREAM mp3 = nullptr, pcm = nullptr;
    ASSERT_EQ(acmStreamOpen(&mp3, nullptr, &input, Preset("8K").get(), nullptr, 0, 0, 0),
              MMSYSERR_NOERROR);
    const WAVEFORMATEX mono8k = Pcm(1, 8000);
    ASSERT_EQ(acmStreamOpen(&pcm, nullptr, &input, &mono8k, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    uint32_t size = 0;
    ASSERT_EQ(acmStreamSize(mp3, 32768, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_GE(size, 8192u * 5 / 4 + 7200);  // LAME's bound for 8192 samples
    ASSERT_EQ(acmStreamSize(pcm, 32768, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    EXPECT_GE(size, 8192u * 8000 / 44100 * 2);
    EXPECT_LT(size, 8192u * 8000 / 44100 * 2 + 1024);
    ASSERT_EQ(acmStreamSize(pcm, 2000, &size, ACM_STREAMSIZEF_DESTINATION), MMSYSERR_NOERROR);
    EXPECT_EQ(size, 1000u * 44100 / 8000 * 4);
    EXPECT_EQ(acmStreamSize(pcm, 0, &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamSize(pcm, 100, &size, 7), MMSYSERR_INVALFLAG);
    acmStreamClose(mp3, 0);
    acmStreamClose(pcm, 0);
    EXPECT_EQ(acmStreamSize(pcm, 100, &size, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmStreamClose(pcm, 0), MMSYSERR_INVALHANDLE);
}

TEST(AcmLayer, HeadersMustBePreparedAndKeepTheirLengths) {
    const WAVEFORMATEX input = Pcm(2, 44100), output = Pcm(1, 22050);
    OpenStream stream(&input, &output, 2048);
    ACMSTREAMHEADER fresh = stream.header;
    fresh.fdwStatus = 0;
    EXPECT_EQ(acmStreamConvert(stream.handle, &fresh, 0), ACMERR_UNPREPARED);
    stream.header.cbSrcLength = 4096;  // beyond the prepared buffer
    EXPECT_EQ(acmStreamConvert(stream.handle, &stream.header, 0), MMSYSERR_INVALPARAM);
    stream.header.cbSrcLength = 1024;
    EXPECT_EQ(acmStreamConvert(stream.handle, &stream.header, 0x1000), MMSYSERR_INVALFLAG);
    ASSERT_EQ(acmStreamConvert(stream.handle, &stream.header, 0), MMSYSERR_NOERROR);
    EXPECT_TRUE(stream.header.fdwStatus & ACMSTREAMHEADER_STATUSF_DONE);
    // Unpreparing wants the lengths the header was prepared with.
    EXPECT_EQ(acmStreamUnprepareHeader(stream.handle, &stream.header, 0), MMSYSERR_INVALPARAM);
    stream.header.cbSrcLength = 2048;
    EXPECT_EQ(acmStreamUnprepareHeader(stream.handle, &stream.header, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamUnprepareHeader(stream.handle, &stream.header, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamPrepareHeader(stream.handle, &stream.header, 0), MMSYSERR_NOERROR);
}

TEST(AcmLayer, OpenRefusesWhatItCannotServe) {
    const WAVEFORMATEX input = Pcm(2, 44100), output = Pcm(1, 8000);
    HACMSTREAM handle = reinterpret_cast<HACMSTREAM>(1);
    EXPECT_EQ(acmStreamOpen(&handle, nullptr, &input, Preset("1K").get(), nullptr, 0, 0, 0),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(
        acmStreamOpen(&handle, nullptr, &input, &output, nullptr, 0, 0, ACM_STREAMOPENF_ASYNC),
        MMSYSERR_NOTSUPPORTED);
    EXPECT_EQ(acmStreamOpen(&handle, nullptr, &input, &output, nullptr, 0, 0, 0x80),
              MMSYSERR_INVALFLAG);
    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &input, &output, nullptr, 0, 0, 0),
              MMSYSERR_INVALPARAM);
    EXPECT_EQ(acmStreamOpen(&handle, nullptr, nullptr, &output, nullptr, 0, 0, 0),
              MMSYSERR_INVALPARAM);
}

TEST(AcmLayer, PcmConversionKeepsLengthAndToneAcrossOddPieces) {
    const WAVEFORMATEX input = Pcm(2, 44100), output = Pcm(1, 8000);
    std::vector<uint8_t> tone = test::SinePcm(1000, 1.0, 44100, 2);
    OpenStream stream(&input, &output, 2047);  // pieces that split frames
    std::vector<uint8_t> out = stream.ConvertAll(tone);
    ASSERT_EQ(out.size() % 2, 0u);
    EXPECT_NEAR(double(out.size() / 2), 8000.0, 2.0);  // the whole second, nothing held back
    std::vector<double> signal(out.size() / 2);
    for (size_t i = 0; i < signal.size(); ++i) {
        int16_t sample;
        std::memcpy(&sample, &out[2 * i], 2);
        signal[i] = sample / 32768.0;
    }
    EXPECT_NEAR(double(test::ZeroCrossings(signal)), 2000.0, 20.0);
    EXPECT_GT(test::TonePower(signal, 1000, 8000), 100 * test::TonePower(signal, 1500, 8000));
}

TEST(AcmLayer, WidthAndChannelChangeWithoutResampling) {
    const WAVEFORMATEX input = Pcm(1, 22050, 8), output = Pcm(2, 22050, 16);
    OpenStream stream(&input, &output, 4);
    std::vector<uint8_t> out = stream.ConvertAll({0x80, 0xFF, 0x00, 0x40, 0xC0});
    const std::vector<int16_t> expected = {0,      0,      32512,  32512, -32768,
                                           -32768, -16384, -16384, 16384, 16384};
    ASSERT_EQ(out.size(), expected.size() * 2);
    for (size_t i = 0; i < expected.size(); ++i) {
        int16_t sample;
        std::memcpy(&sample, &out[2 * i], 2);
        EXPECT_EQ(sample, expected[i]) << i;
    }
}

TEST(AcmLayer, OutputThatDoesNotFitWaitsForTheNextCall) {
    const WAVEFORMATEX input = Pcm(1, 11025, 8), output = Pcm(2, 44100, 16);
    std::vector<uint8_t> silence(4096, 0x80);
    OpenStream small(&input, &output, 1024, 100);
    OpenStream roomy(&input, &output, 1024);
    std::vector<uint8_t> a = small.ConvertAll(silence), b = roomy.ConvertAll(silence);
    EXPECT_EQ(a.size(), b.size());
    EXPECT_NEAR(double(a.size()), 4096.0 * 16, 64.0);
}

TEST(AcmLayer, EncoderStartsSilentAndGivesEverythingAtTheEnd) {
    const WAVEFORMATEX input = Pcm(2, 44100);
    std::vector<uint8_t> tone = test::SinePcm(1000, 1.0, 44100, 2);
    OpenStream stream(&input, Preset("8K").get(), 2048, 0, 0);
    std::memcpy(stream.source.data(), tone.data(), 2048);
    ASSERT_EQ(acmStreamConvert(stream.handle, &stream.header, ACM_STREAMCONVERTF_BLOCKALIGN),
              MMSYSERR_NOERROR);
    EXPECT_EQ(stream.header.cbSrcLengthUsed, 2048u);
    EXPECT_EQ(stream.header.cbDstLengthUsed, 0u);  // still within the encoder's delay
    std::vector<uint8_t> rest(tone.begin() + 2048, tone.end());
    std::vector<uint8_t> withoutEnd = stream.ConvertAll(rest, false);
    std::vector<uint8_t> end = stream.ConvertAll({}, true);
    EXPECT_FALSE(end.empty());
    withoutEnd.insert(withoutEnd.end(), end.begin(), end.end());
    test::DecodedAudio audio = test::DecodeMp3(withoutEnd);
    EXPECT_EQ(audio.rate, 44100);
    EXPECT_EQ(audio.channels, 2);
    EXPECT_GE(audio.Seconds(), 1.0);
    EXPECT_LE(audio.Seconds(), 1.0 + (1105.0 + 1152.0) / 44100);
}

TEST(AcmLayer, EncoderStartsAFreshStreamAfterTheEnd) {
    const WAVEFORMATEX input = Pcm(1, 16000);
    Preset preset("2K");
    std::vector<uint8_t> tone = test::SinePcm(440, 0.5, 16000, 1);
    OpenStream stream(&input, preset.get(), 4096);
    std::vector<uint8_t> first = stream.ConvertAll(tone);
    std::vector<uint8_t> second = stream.ConvertAll(tone);
    EXPECT_NEAR(double(first.size()), double(second.size()), 2.0 * 72);
    EXPECT_GE(test::DecodeMp3(second).Seconds(), 0.5);
}

}  // namespace
}  // namespace murmel
