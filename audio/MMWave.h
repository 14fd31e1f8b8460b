#pragma once
// The capture chain's last element: TMMWaveFile appends what reaches it to a RIFF
// WAVE file held by a TMMWave, and finalises the file when the chain closes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "MMDSPObj.h"

namespace murmel {

class EMMWaveError : public EMMError {
  public:
    using EMMError::EMMError;
};

// Free bytes available to the caller on a folder; nullopt when the query fails.
using FreeSpaceQuery = std::function<std::optional<uint64_t>(const std::string& folder)>;
// The real answer, from statvfs.
std::optional<uint64_t> QueryFreeSpace(const std::string& folder);

// round(bytes × samplesPerSec / avgBytesPerSec), halves up, 64-bit product, 32-bit result.
uint32_t WaveBytesToSamples(uint64_t bytes, uint32_t samplesPerSec, uint32_t avgBytesPerSec);

// One RIFF WAVE file being written: "RIFF" size "WAVE", "fmt " F format [pad],
// "data" D bytes [pad], "fact" 4 samples. Writes go through an own buffer of
// IOBufferSize. While recording, every UpdateIntervalMs of sound the buffer goes
// to disk, the RIFF and data sizes are brought up to date (without the 'fact'
// trailer) and the written pages are sent to the disk (without waiting for it),
// so a recording cut off by a crash is a valid wave file up to the last update. Finalise writes the
// trailer and final sizes.
class TMMWave {
  public:
    static constexpr int32_t kDefaultIOBufferSize = 32768;
    static constexpr int32_t kMinIOBufferSize = 8192;
    // Room kept free on the disk beyond the buffer and the piece being written.
    static constexpr uint64_t kDiskReserve = 10240;

    TMMWave();
    TMMWave(const TMMWave&) = delete;
    TMMWave& operator=(const TMMWave&) = delete;
    ~TMMWave();

    // The name is expanded to a full path. With FileMustExist a missing file
    // raises "Error reading wave file".
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& name);
    bool FileMustExist = true;
    int32_t IOBufferSize() const { return ioBufferSize_; }
    void SetIOBufferSize(int32_t size);
    // Sound between two updates of the file on disk; 0 updates only at the end.
    static constexpr int32_t kDefaultUpdateIntervalMs = 2000;
    int32_t UpdateIntervalMs = kDefaultUpdateIntervalMs;
    // Replaced by tests to simulate a full disk.
    FreeSpaceQuery FreeSpace = QueryFreeSpace;

    // Creates the file with the header for this format record (as copied by the
    // chain: 18 bytes for PCM, 18 + cbSize otherwise). An existing empty or wave
    // file of that name that we may write is replaced; anything else there is
    // refused and left alone ("Unable to create wave file: PATH: reason"). Raises
    // "Unable to create wave file" or "Unable to setup file IO buffer"; on
    // failure nothing is left behind.
    void Create(const TWaveFormatEx* format);
    bool IsOpen() const { return fd_ >= 0; }

    // Appends after checking the free space (unless told not to); false when the
    // space is short or the write failed (the caller then finalises; what reached
    // the disk is kept).
    bool Append(const void* data, size_t size, bool checkSpace = true);

    // Puts everything accepted so far on disk now, with the sizes describing it
    // (a recording that holds still has no next update to wait for); false when
    // the write failed, as for Append.
    bool Save();

    // Writes the trailer and the sizes and closes the file. A failure leaves the
    // file closed without further writes.
    void Finalise();
    // Closes and removes the file being written (a recording that never started).
    void Discard();
    // Why the last Append failed (ENOSPC for a full disk), 0 when none has
    // since Create; readable from any thread.
    int LastWriteError() const { return lastWriteError_; }

    uint64_t DataBytes() const { return dataBytes_; }
    // Samples for the data bytes so far (the 'fact' value).
    uint32_t SampleCount() const { return sampleCount_; }
    // The finalised file's size.
    uint64_t FileSize() const { return fileSize_; }
    int64_t DataOffset() const { return dataOffset_; }

  private:
    bool FlushBuffer();
    bool UpdateDue() const;
    bool UpdateOnDisk();
    bool WriteAt(int64_t offset, const void* data, size_t size);
    bool WriteTrailer();
    void UpdateCounts();
    void CloseFile();

    std::string fileName_;
    int32_t ioBufferSize_ = kDefaultIOBufferSize;
    int fd_ = -1;
    std::vector<uint8_t> buffer_;
    size_t buffered_ = 0;
    int64_t dataOffset_ = 0;
    uint64_t dataBytes_ = 0;     // data bytes accepted so far
    uint64_t diskBytes_ = 0;     // of those, bytes that reached the file
    uint64_t updatedBytes_ = 0;  // data bytes the sizes on disk describe
    uint32_t sampleCount_ = 0;
    uint32_t samplesPerSec_ = 0;
    uint32_t avgBytesPerSec_ = 0;
    uint64_t fileSize_ = 0;
    std::atomic<int> lastWriteError_{0};
};

// The chain element. Opened creates the file, Started lets data be written,
// BufferReady appends (capture thread), Closed finalises. A full disk or a failed
// write finalises the file at once; the recording goes on without it.
class TMMWaveFile : public TMMDSPComponent {
  public:
    explicit TMMWaveFile(std::string name = "WaveFile_Output");
    ~TMMWaveFile() override;

    TMMWave& Wave() { return wave_; }
    const TMMWave& Wave() const { return wave_; }
    bool Enabled = true;
    bool OverwriteExisting = true;
    TMMNotifyEvent OnOpen;
    TMMNotifyEvent OnClose;

    bool FileOpen() const { return fileOpen_; }
    // Why writing stopped early (ENOSPC: disk full), 0 when it did not. The file
    // is finalised then and keeps what reached it; the caller tells the user.
    int WriteError() const { return wave_.LastWriteError(); }

    void Opened() override;
    void Started() override;
    // Held: what reached the file so far is put on disk, so a crash while the
    // input holds still loses nothing of it.
    void Paused() override;
    void Stopped() override;
    void Closed() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;

  private:
    void AppendOrFinalise(const void* data, size_t size, bool save);
    void FinaliseLocked();
    void FinaliseFile();

    TMMWave wave_;
    // Guards the file between the capture thread's writes and finalisation.
    std::mutex fileLock_;
    std::atomic<bool> fileOpen_{false};
    std::atomic<bool> fileStarted_{false};
    bool everStarted_ = false;  // since the file was opened
};

}  // namespace murmel
