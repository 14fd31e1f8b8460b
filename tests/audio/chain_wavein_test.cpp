// The wave input on a device the test drives: notification order, re-chunking,
// position and wrap, the stop protocol with a slow element, failures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <limits>
#include <cstring>
#include <mutex>
#include <cmath>

#include "ChainTestElements.h"
#include "MMWavIn.h"
#include "MMWave.h"
#include "TestFiles.h"

namespace murmel {
namespace {

using namespace std::chrono_literals;
using test::EventLog;
using test::FakeCapture;
using test::FakeDeviceState;
using test::LoggingElement;

std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + size_t(seed)) & 0xFF);
    return bytes;
}

// WaveIn_Mic → Connector → Reverb → ACMConverter → WaveFile_Output, as the recorder
// sets it up, with logging stand-ins for the four elements.
struct Recorder {
    EventLog log;
    std::shared_ptr<FakeDeviceState> device = std::make_shared<FakeDeviceState>();
    UIThreadQueue ui;
    std::unique_ptr<TMMWaveIn> waveIn;
    LoggingElement connector{"Connector", log}, reverb{"Reverb", log},
        converter{"ACMConverter", log}, writer{"WaveFile_Output", log};

    explicit Recorder(std::unique_ptr<CaptureDevice> capture = nullptr) {
        waveIn = std::make_unique<TMMWaveIn>(
            "WaveIn_Mic", capture ? std::move(capture) : std::make_unique<FakeCapture>(device));
        waveIn->UseRecorderSettings(&ui);
        waveIn->SetOutput(&connector);
        connector.SetOutput(&reverb);
        reverb.SetOutput(&converter);
        converter.SetOutput(&writer);
        waveIn->OnStart = [this](TMMDSPComponent*) { log.Add("OnStart"); };
        // The recorder closes the input from its stop event.
        waveIn->OnStop = [this](TMMDSPComponent*) {
            log.Add("OnStop");
            waveIn->Close();
        };
        waveIn->OnClose = [this](TMMDSPComponent*) { log.Add("OnClose"); };
    }
    ~Recorder() { waveIn.reset(); }
};

TEST(WaveIn, ConstructionDefaults) {
    TMMWaveIn waveIn("WaveIn", std::make_unique<FakeCapture>(std::make_shared<FakeDeviceState>()));
    EXPECT_EQ(waveIn.DeviceID(), 0);
    EXPECT_EQ(waveIn.CallBackMode(), cmWindow);
    EXPECT_EQ(waveIn.Mode(), mMono);
    EXPECT_EQ(waveIn.BitLength(), b8Bit);
    EXPECT_EQ(waveIn.SampleRate(), 11025);
    EXPECT_EQ(waveIn.BufferSize(), 2048);
    EXPECT_EQ(waveIn.NumBuffers(), 10);
    EXPECT_EQ(waveIn.TimeFormat(), tfByte);
    EXPECT_EQ(waveIn.MaxRecordTime(), -1);
    EXPECT_EQ(waveIn.Priority(), tpHigher);
    EXPECT_EQ(waveIn.PWaveFormat()->nSamplesPerSec, 11025u);
    EXPECT_EQ(waveIn.PWaveFormat()->nBlockAlign, 1);
    EXPECT_EQ(waveIn.Position(), 0);
    waveIn.SetNumBuffers(1);
    EXPECT_EQ(waveIn.NumBuffers(), 10);
    waveIn.SetNumBuffers(900);
    EXPECT_EQ(waveIn.NumBuffers(), 500);
    waveIn.SetSampleRate(200000);
    EXPECT_EQ(waveIn.SampleRate(), 100000);
    waveIn.SetBufferSize(8);
    EXPECT_EQ(waveIn.BufferSize(), 32);
}

TEST(WaveIn, NotificationsReachTheChainInOrder) {
    Recorder r;
    r.waveIn->Start();
    EXPECT_EQ(r.log.Take(),
              (std::vector<std::string>{
                  "Connector:Opened:2048", "Reverb:Opened:2048", "ACMConverter:Opened:2048",
                  "WaveFile_Output:Opened:2048", "Connector:Started", "Reverb:Started",
                  "ACMConverter:Started", "WaveFile_Output:Started", "OnStart"}));
    EXPECT_EQ(r.writer.PWaveFormat()->nAvgBytesPerSec, 176400u);
    r.waveIn->Stop();
    EXPECT_EQ(r.log.Take(),
              (std::vector<std::string>{"Connector:Stopped", "Reverb:Stopped",
                                        "ACMConverter:Stopped", "WaveFile_Output:Stopped", "OnStop",
                                        "Connector:Closed", "Reverb:Closed", "ACMConverter:Closed",
                                        "WaveFile_Output:Closed", "OnClose"}));
    EXPECT_EQ(r.waveIn->State(), wisClosed);
}

TEST(WaveIn, RepeatedCallsDoNothing) {
    Recorder r;
    r.waveIn->Stop();
    r.waveIn->Close();
    EXPECT_TRUE(r.log.Take().empty());
    r.waveIn->Start();
    r.log.Take();
    r.waveIn->Start();
    EXPECT_TRUE(r.log.Take().empty());
}

TEST(WaveIn, DeliversDeviceFragmentsAsWholeBuffersInOrder) {
    Recorder r;
    r.waveIn->Start();
    std::string sound = Pattern(3 * 2048, 1);
    for (size_t at = 0; at < sound.size(); at += 1000) r.device->Push(sound.substr(at, 1000));
    ASSERT_TRUE(r.writer.WaitForBuffers(3));
    EXPECT_TRUE(r.writer.Bytes() == sound);
    EXPECT_EQ(r.connector.Buffers(), 3);
    r.waveIn->Stop();
}

TEST(WaveIn, HolesBecomeSilence) {
    Recorder r;
    r.waveIn->Start();
    r.device->Push(std::string(1024, '\x55'));
    r.device->PushHole(1024);
    ASSERT_TRUE(r.writer.WaitForBuffers(1));
    EXPECT_TRUE(r.writer.Bytes() == std::string(1024, '\x55') + std::string(1024, '\0'));
    r.waveIn->Stop();
}

TEST(WaveIn, StopPassesAPartlyFilledBufferDownOnce) {
    Recorder r;
    r.waveIn->Start();
    std::string sound = Pattern(2048 + 1000, 2);
    r.device->Push(sound);
    ASSERT_TRUE(r.writer.WaitForBuffers(1));
    r.waveIn->Stop();
    EXPECT_TRUE(r.writer.Bytes() == sound);
    EXPECT_EQ(r.writer.Buffers(), 2);
}

TEST(WaveIn, PositionFollowsTheDeviceClock) {
    Recorder r;
    r.device->position = 44100 * 3;
    EXPECT_EQ(r.waveIn->Position(), 0);  // not open
    r.waveIn->Open();
    r.device->position = 0;
    EXPECT_EQ(r.waveIn->Position(), 0);
    r.device->position = 44100;
    EXPECT_EQ(r.waveIn->Position(), 1000);
    r.device->position = 44099;
    EXPECT_EQ(r.waveIn->Position(), 999);  // truncated
    r.waveIn->SetTimeFormat(tfByte);
    EXPECT_EQ(r.waveIn->Position(), 44099 * 4);
    r.waveIn->SetTimeFormat(tfSample);
    EXPECT_EQ(r.waveIn->Position(), 44099);
    r.waveIn->Close();
    EXPECT_EQ(r.waveIn->Position(), 0);
}

TEST(WaveIn, MaxRecordTimeCapsPositionAndPostsTheStop) {
    Recorder r;
    r.waveIn->SetMaxRecordTime(20);  // ms: 3528 bytes
    r.waveIn->Start();
    r.device->position = 44100;
    EXPECT_EQ(r.waveIn->Position(), 20);
    r.device->Push(Pattern(4096, 3));
    ASSERT_TRUE(r.writer.WaitForBuffers(2));
    EXPECT_EQ(r.writer.Bytes().size(), 3528u);
    EXPECT_EQ(r.ui.WaitAndRun(2s), 1u);  // the stop, run on the UI thread
    EXPECT_EQ(r.waveIn->State(), wisClosed);
}

// A device with a narrow sample counter: a step back of 65535 or more is a wrap.
TEST(WaveIn, NarrowDeviceCounterWrapsAreAddedBack) {
    Recorder r;
    r.waveIn->SetTimeFormat(tfSample);
    r.waveIn->Start();
    auto bufferAt = [&](uint64_t position) {
        int before = r.writer.Buffers();
        r.device->Push(Pattern(2048, 0));
        ASSERT_TRUE(r.writer.WaitForBuffers(before + 1));
        // the position is read when the buffer goes back to the device
        for (int i = 0; i < 100 && r.device->position != position; ++i)
            std::this_thread::sleep_for(1ms);
    };
    r.device->position = 1048000;
    bufferAt(1048000);
    std::this_thread::sleep_for(20ms);
    r.device->position = 1048000 - 65534;  // a small step back is no wrap
    r.device->Push(Pattern(2048, 0));
    ASSERT_TRUE(r.writer.WaitForBuffers(2));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(r.waveIn->Position(), 1048000 - 65534);
    r.device->position = 1048500;
    r.device->Push(Pattern(2048, 0));
    ASSERT_TRUE(r.writer.WaitForBuffers(3));
    std::this_thread::sleep_for(20ms);
    r.device->position = 100;  // wrapped
    r.device->Push(Pattern(2048, 0));
    ASSERT_TRUE(r.writer.WaitForBuffers(4));
    std::this_thread::sleep_for(20ms);
    // modulus: the last reading with its low 20 bits set = 1048575
    EXPECT_EQ(r.waveIn->Position(), 1048575 + 100);
    r.waveIn->Stop();
}

// Stop on the main thread while the capture thread is inside a slow element:
// Stop waits for that buffer, and when it returns OnStop has run and the chain
// (and with it the file) is closed. No buffer is passed twice.
TEST(WaveIn, StopWaitsForTheBufferInProgress) {
    Recorder r;
    r.writer.delay = 300ms;
    r.waveIn->Start();
    r.log.Take();
    std::string sound = Pattern(2 * 2048 + 500, 4);
    r.device->Push(sound);
    for (int i = 0; i < 200 && !r.writer.inside; ++i) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(r.writer.inside);
    r.waveIn->Stop();
    EXPECT_FALSE(r.writer.inside);
    EXPECT_TRUE(r.writer.Bytes() == sound);
    EXPECT_EQ(r.writer.Buffers(), 3);
    std::vector<std::string> events = r.log.Take();
    ASSERT_GE(events.size(), 6u);
    EXPECT_EQ(events[4], "OnStop");
    EXPECT_EQ(events.back(), "OnClose");
    EXPECT_EQ(r.waveIn->State(), wisClosed);
}

// The recorder's contract with the real writer: once Stop returns, its OnStop
// handler has closed the chain and the file on disk is complete.
TEST(WaveIn, FileIsFinalisedWhenStopReturns) {
    std::string folder = test::FreshFolder("stop-finalises");
    Recorder r;
    TMMWaveFile file;
    r.converter.SetOutput(&file);
    file.Wave().FileMustExist = false;
    file.Wave().SetFileName(folder + "voice.mp3");
    r.converter.delay = 200ms;
    r.waveIn->Start();
    std::string sound = Pattern(3 * 2048, 8);
    r.device->Push(sound);
    for (int i = 0; i < 200 && !r.converter.inside; ++i) std::this_thread::sleep_for(1ms);
    r.waveIn->Stop();
    std::string bytes = test::ReadFile(folder + "voice.mp3");
    ASSERT_EQ(bytes.size(), 46 + sound.size() + 12);
    EXPECT_EQ(uint8_t(bytes[4]) | uint8_t(bytes[5]) << 8 | uint8_t(bytes[6]) << 16,
              int(bytes.size() - 8));
    EXPECT_TRUE(bytes.substr(46, sound.size()) == sound);
}

// A failing element ends the capture thread's work; the UI thread gets the error
// and runs stop and close, so the chain is closed and the error shown.
TEST(WaveIn, FailureOnTheCaptureThreadIsPostedToTheUiThread) {
    Recorder r;
    r.converter.failAfter = 1;
    int errors = 0;
    r.waveIn->OnError = [&](TMMDSPComponent*) { ++errors; };
    r.waveIn->Start();
    r.log.Take();
    r.device->Push(Pattern(3 * 2048, 5));
    ASSERT_TRUE(r.converter.WaitForBuffers(2));
    for (int i = 0; i < 200 && !r.waveIn->CaptureFailure(); ++i) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(r.waveIn->CaptureFailure());
    EXPECT_NE(r.waveIn->State() & wisStarted, 0u);  // the capture thread itself stopped nothing
    EXPECT_EQ(r.writer.Buffers(), 1);
    try {
        r.ui.WaitAndRun(2s);
        FAIL() << "the error should reach the UI thread";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "element failed");
    }
    EXPECT_EQ(r.waveIn->State(), wisClosed);
    EXPECT_EQ(errors, 1);
    std::vector<std::string> events = r.log.Take();
    EXPECT_NE(std::find(events.begin(), events.end(), "OnStop"), events.end());
    EXPECT_NE(std::find(events.begin(), events.end(), "WaveFile_Output:Closed"), events.end());
}

TEST(WaveIn, AnElementFailingToOpenClosesTheChain) {
    Recorder r;
    r.converter.failOpen = true;
    EXPECT_THROW(r.waveIn->Start(), std::runtime_error);
    std::vector<std::string> events = r.log.Take();
    EXPECT_NE(std::find(events.begin(), events.end(), "WaveFile_Output:Closed"), events.end());
    EXPECT_EQ(std::find(events.begin(), events.end(), "OnStart"), events.end());
    EXPECT_EQ(r.waveIn->State(), wisClosed);
}

TEST(WaveIn, DeviceOpenFailureCarriesThePrefix) {
    Recorder r;
    r.device->openFailure = "Device busy";
    try {
        r.waveIn->Start();
        FAIL();
    } catch (const EMMWaveInError& error) {
        EXPECT_STREQ(error.what(), "WaveInOpen:\n\rDevice busy");
    }
    EXPECT_EQ(r.waveIn->State(), wisClosed);
}

TEST(WaveIn, RefusedFormatAndPropertyChangesWhileOpen) {
    Recorder r;
    r.waveIn->SetBitLength(b8Bit);  // the fake device records 16-bit only
    try {
        r.waveIn->Open();
        FAIL();
    } catch (const EMMWaveInError& error) {
        EXPECT_STREQ(error.what(), "WaveInOpen:\n\rThe actual device can''t record this format");
    }
    r.waveIn->SetBitLength(b16Bit);
    r.waveIn->Open();
    try {
        r.waveIn->SetSampleRate(22050);
        FAIL();
    } catch (const EMMWaveInError& error) {
        EXPECT_STREQ(error.what(), "Change to property while device was open");
    }
    EXPECT_THROW(r.waveIn->SetNumBuffers(4), EMMWaveInError);
    EXPECT_THROW(r.waveIn->SetBufferSize(4096), EMMWaveInError);
    r.waveIn->Close();
}

TEST(WaveIn, AFormatGivenToTheInputSetsItsProperties) {
    Recorder r;
    r.waveIn->SetPWaveFormat(BuildPCMFormat(1, 8, 22050).get());
    EXPECT_EQ(r.waveIn->Mode(), mMono);
    EXPECT_EQ(r.waveIn->BitLength(), b8Bit);
    EXPECT_EQ(r.waveIn->SampleRate(), 22050);
    EXPECT_EQ(r.writer.PWaveFormat()->nSamplesPerSec, 22050u);
}

TEST(WaveIn, NoDeviceMeansNoRecordingAndNoChainOpened) {
    Recorder r;
    r.device->present = false;
    try {
        r.waveIn->Start();
        FAIL();
    } catch (const EMMWaveInError& error) {
        EXPECT_STREQ(error.what(), "No wave audio recording device found");
    }
    EXPECT_TRUE(r.log.Take().empty());
}

// With PulseAudio chosen but no server to reach, there is no device (and no
// server is started for us).
TEST(WaveIn, PulseWithoutAServerIsNoDevice) {
    setenv("PULSE_SERVER", "unix:/nonexistent/murmel/native", 1);
    Recorder r(CaptureDeviceFromSpec("pulse"));
    EXPECT_EQ(r.waveIn->ProductName(), "No wave audio recording device found");
    try {
        r.waveIn->Start();
        FAIL();
    } catch (const EMMWaveInError& error) {
        EXPECT_STREQ(error.what(), "No wave audio recording device found");
    }
    EXPECT_TRUE(r.log.Take().empty());
}

TEST(WaveIn, UnknownCaptureChoiceIsNoDevice) {
    Recorder r(CaptureDeviceFromSpec("microphone"));
    EXPECT_THROW(r.waveIn->Start(), EMMWaveInError);
}

// --- the sources that make their own sound ---

std::string WaveFileBytes(const std::string& pcm, int channels, int rate) {
    auto le = [](uint32_t value, int size) {
        std::string bytes;
        for (int i = 0; i < size; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        return bytes;
    };
    int block = channels * 2;
    return "RIFF" + le(36 + uint32_t(pcm.size()), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) +
           le(channels, 2) + le(rate, 4) + le(rate * block, 4) + le(block, 2) + le(16, 2) + "data" +
           le(uint32_t(pcm.size()), 4) + pcm;
}

TEST(FileCapture, FastFileDeliversEveryByteInOrder) {
    std::string folder = test::FreshFolder("file-capture");
    std::string pcm = Pattern(10 * 2048 + 512, 6);
    test::WriteFile(folder + "in.wav", WaveFileBytes(pcm, 2, 44100));
    Recorder r(CaptureDeviceFromSpec("file-fast:" + folder + "in.wav"));
    r.waveIn->Start();
    for (int i = 0; i < 500 && !r.waveIn->SourceExhausted(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(r.waveIn->SourceExhausted());
    r.waveIn->Stop();
    std::string out = r.writer.Bytes();
    ASSERT_EQ(out.size(), pcm.size());
    EXPECT_TRUE(out == pcm);
}

TEST(FileCapture, MonoFileIsSpreadOverTwoChannels) {
    std::string folder = test::FreshFolder("file-mono");
    std::string pcm = Pattern(4096, 7);
    test::WriteFile(folder + "in.wav", WaveFileBytes(pcm, 1, 44100));
    Recorder r(CaptureDeviceFromSpec("file-fast:" + folder + "in.wav"));
    r.waveIn->Start();
    for (int i = 0; i < 500 && !r.waveIn->SourceExhausted(); ++i) std::this_thread::sleep_for(10ms);
    r.waveIn->Stop();
    std::string out = r.writer.Bytes();
    ASSERT_EQ(out.size(), 2 * pcm.size());
    EXPECT_EQ(out.substr(0, 4), pcm.substr(0, 2) + pcm.substr(0, 2));
}

// A float file may hold values far past full scale and NaN: they arrive as full
// scale and silence, never as wrapped or undefined samples.
TEST(FileCapture, FloatSamplesPastFullScaleAreLimited) {
    const float values[] = {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f, 1.5f,
                            0.5f, -1.0f};
    std::string data;
    for (float value : values)
        for (int channel = 0; channel < 2; ++channel)
            data.append(reinterpret_cast<const char*>(&value), sizeof value);
    std::string wave = WaveFileBytes(data, 2, 44100);
    wave[20] = 3;   // IEEE float
    wave[32] = 8;   // block align: two 4-byte samples
    wave[34] = 32;  // bits per sample
    const uint32_t bytesPerSecond = 44100 * 8;
    std::memcpy(&wave[28], &bytesPerSecond, 4);
    const std::string folder = test::FreshFolder("file-float");
    test::WriteFile(folder + "in.wav", wave);

    Recorder r(CaptureDeviceFromSpec("file-fast:" + folder + "in.wav"));
    r.waveIn->Start();
    for (int i = 0; i < 500 && !r.waveIn->SourceExhausted(); ++i) std::this_thread::sleep_for(10ms);
    r.waveIn->Stop();
    const std::string out = r.writer.Bytes();
    ASSERT_EQ(out.size(), 6u * 4);
    const int16_t expected[] = {0, 32767, -32768, 32767, 16384, -32768};
    for (size_t n = 0; n < 6; ++n)
        EXPECT_EQ(static_cast<int16_t>(uint8_t(out[4 * n]) | uint8_t(out[4 * n + 1]) << 8),
                  expected[n])
            << "sample " << n;
}

TEST(FileCapture, MissingFileIsNoDevice) {
    Recorder r(CaptureDeviceFromSpec("file:/nonexistent/murmel.wav"));
    EXPECT_THROW(r.waveIn->Start(), EMMWaveInError);
}

TEST(ToneCapture, DeliversSoundAtRealTimePace) {
    Recorder r(CaptureDeviceFromSpec("tone:1000"));
    r.waveIn->Start();
    std::this_thread::sleep_for(300ms);
    int64_t position = r.waveIn->Position();
    r.waveIn->Stop();
    EXPECT_GT(position, 200);
    EXPECT_LT(position, 1000);
    std::string bytes = r.writer.Bytes();
    ASSERT_GT(bytes.size(), 2048u * 10);
    int16_t peak = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto sample = static_cast<int16_t>(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
        peak = std::max<int16_t>(peak, sample);
    }
    EXPECT_GT(peak, 16000);
}

// The tone device as a sound card would deliver it: whole 2048-byte fragments,
// one wake-up each, holding a clean sine that stays in phase past the point where
// the generator starts again from the exact phase (each second).
TEST(ToneCapture, DeliversWholeFragmentsOfAnExactSine) {
    struct Client : CaptureClient {
        std::mutex lock;
        std::vector<size_t> sizes;
        std::string bytes;
        size_t CaptureData(const uint8_t* data, size_t size) override {
            std::lock_guard<std::mutex> guard(lock);
            sizes.push_back(size);
            bytes.append(reinterpret_cast<const char*>(data), size);
            return size;
        }
    } client;
    auto device = CaptureDeviceFromSpec("tone:1000");
    ASSERT_TRUE(device->Probe());
    device->Open(CaptureFormat{44100, 2, 16}, &client);
    device->Start();
    std::this_thread::sleep_for(1300ms);
    device->Stop();
    device->Close();

    std::lock_guard<std::mutex> guard(client.lock);
    ASSERT_GE(client.sizes.size(), 100u) << "more than a second of sound";
    for (size_t size : client.sizes) EXPECT_EQ(size, 2048u);
    const size_t frames = client.bytes.size() / 4;
    double worst = 0;
    for (size_t n = 0; n < frames; ++n) {
        const auto at = client.bytes.data() + 4 * n;
        const auto left = static_cast<int16_t>(uint8_t(at[0]) | uint8_t(at[1]) << 8);
        const auto right = static_cast<int16_t>(uint8_t(at[2]) | uint8_t(at[3]) << 8);
        ASSERT_EQ(left, right);
        const double expected = 0.5 * 32768 * std::sin(2 * M_PI * 1000 * double(n) / 44100);
        worst = std::max(worst, std::fabs(left - expected));
    }
    EXPECT_LE(worst, 1.0) << "within rounding of the exact sine";
}

}  // namespace
}  // namespace murmel
