#include "Mp3FileEncoder.h"

#include <lame/lame.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "Layer3Formats.h"
#include "SafeFile.h"

namespace murmel {
namespace {

constexpr int kInputRate = 44100;
constexpr int kQuality = 3;  // LAME's own default: good sound at a fraction of -q 2's time
constexpr size_t kFlushBytes = 7200;
constexpr size_t kMaxInfoFrame = 2880;  // the largest Layer III frame
constexpr int kInfoFrameBytes = 156;    // the Xing and LAME fields after the side info

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// An ID3v2.3 tag with one TIT2 frame in UTF-16 (the version every player reads).
std::vector<uint8_t> TitleTag(const std::u16string& title) {
    std::vector<uint8_t> text = {1, 0xFF, 0xFE};  // UTF-16 with a little-endian BOM
    for (char16_t unit : title) {
        text.push_back(static_cast<uint8_t>(unit & 0xFF));
        text.push_back(static_cast<uint8_t>(unit >> 8));
    }
    text.insert(text.end(), {0, 0});
    std::vector<uint8_t> frame = {'T', 'I', 'T', '2'};
    PutBigEndian(frame, static_cast<uint32_t>(text.size()), 4);
    frame.insert(frame.end(), {0, 0});
    frame.insert(frame.end(), text.begin(), text.end());
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    const auto size = static_cast<uint32_t>(frame.size());  // synchsafe: 7 bits a byte
    for (int shift : {21, 14, 7, 0}) tag.push_back(static_cast<uint8_t>((size >> shift) & 0x7F));
    tag.insert(tag.end(), frame.begin(), frame.end());
    return tag;
}

}  // namespace

bool Mp3FileEncoder::Supports(Format format) {
    if (format.channels != 1 && format.channels != 2) return false;
    return IsLayer3RateAndBitRate(format.sampleRate, format.kbps);
}

bool Mp3FileEncoder::HoldsInfoFrame(Format format) {
    const bool mpeg1 = format.sampleRate >= 32000;
    const int frameBytes = (mpeg1 ? 144000 : 72000) * format.kbps / format.sampleRate;
    const int sideInfo = mpeg1 ? (format.channels == 1 ? 17 : 32) : (format.channels == 1 ? 9 : 17);
    return frameBytes >= 4 + sideInfo + kInfoFrameBytes;
}

Mp3FileEncoder::Mp3FileEncoder(int fd, Format format, const std::u16string& title) : fd_(fd) {
    if (!Supports(format)) throw std::invalid_argument("Unsupported MP3 format");
    tag_ = TitleTag(title);
    infoFrameAt_ = static_cast<int64_t>(tag_.size());
    lame_ = lame_init();
    if (!lame_) throw std::bad_alloc();
    lame_set_in_samplerate(lame_, kInputRate);
    lame_set_num_channels(lame_, 2);
    lame_set_out_samplerate(lame_, format.sampleRate);
    lame_set_mode(lame_, format.channels == 1 ? MONO : JOINT_STEREO);
    lame_set_VBR(lame_, vbr_off);
    lame_set_brate(lame_, format.kbps);
    lame_set_quality(lame_, kQuality);
    lame_set_bWriteVbrTag(lame_, 1);  // the info frame with delay and padding
    lame_set_write_id3tag_automatic(lame_, 0);
    if (lame_init_params(lame_) < 0) {
        lame_close(lame_);
        throw std::invalid_argument("Unsupported MP3 format");
    }
}

Mp3FileEncoder::~Mp3FileEncoder() { lame_close(lame_); }

bool Mp3FileEncoder::Put(const uint8_t* data, size_t size) {
    if (!tag_.empty()) {
        if (!WriteAll(fd_, tag_.data(), tag_.size())) return false;
        tag_.clear();
    }
    return WriteAll(fd_, data, size);
}

bool Mp3FileEncoder::Write(const int16_t* samples, size_t frames) {
    buffer_.resize(frames * 5 / 4 + kFlushBytes);
    const int made =
        lame_encode_buffer_interleaved(lame_, const_cast<short*>(samples), static_cast<int>(frames),
                                       buffer_.data(), static_cast<int>(buffer_.size()));
    if (made < 0) {
        errno = EIO;
        return false;
    }
    return Put(buffer_.data(), static_cast<size_t>(made));
}

bool Mp3FileEncoder::Finish() {
    buffer_.resize(kFlushBytes);
    const int made = lame_encode_flush(lame_, buffer_.data(), static_cast<int>(buffer_.size()));
    if (made < 0) {
        errno = EIO;
        return false;
    }
    if (!Put(buffer_.data(), static_cast<size_t>(made))) return false;
    uint8_t info[kMaxInfoFrame];
    const size_t size = lame_get_lametag_frame(lame_, info, sizeof info);
    if (size == 0 || size > sizeof info) return true;
    size_t done = 0;
    while (done < size) {
        const ssize_t written =
            pwrite(fd_, info + done, size - done, infoFrameAt_ + static_cast<off_t>(done));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

}  // namespace murmel
