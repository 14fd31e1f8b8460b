#include "MMDSPObj.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace murmel {

// ---------------------------------------------------------------------------
// Wave format records

void WaveFormatFree::operator()(TWaveFormatEx* format) const { std::free(format); }

bool IsPCMFormat(const TWaveFormatEx* format) {
    return format && format->wFormatTag == WAVE_FORMAT_PCM;
}

size_t WaveFormatSize(const TWaveFormatEx* format) {
    if (!format) return 0;
    if (IsPCMFormat(format)) return kWaveFormatHeaderSize;
    return kWaveFormatHeaderSize + format->cbSize;
}

const uint8_t* WaveFormatExtra(const TWaveFormatEx* format) {
    return reinterpret_cast<const uint8_t*>(format) + kWaveFormatHeaderSize;
}

namespace {

WaveFormatPtr AllocateFormat(size_t size) {
    void* block = std::calloc(1, std::max(size, kWaveFormatHeaderSize));
    if (!block) throw std::bad_alloc();
    return WaveFormatPtr(static_cast<TWaveFormatEx*>(block));
}

}  // namespace

WaveFormatPtr CopyWaveFormat(const TWaveFormatEx* format) {
    if (!format) return nullptr;
    size_t size = WaveFormatSize(format);
    WaveFormatPtr copy = AllocateFormat(size);
    std::memcpy(copy.get(), format, size);
    if (IsPCMFormat(copy.get())) copy->cbSize = 0;
    return copy;
}

WaveFormatPtr WaveFormatFromBytes(const uint8_t* bytes, size_t size) {
    if (!bytes || size < kWaveFormatHeaderSize) return nullptr;
    TWaveFormatEx header;
    std::memcpy(&header, bytes, kWaveFormatHeaderSize);
    if (WaveFormatSize(&header) > size) return nullptr;
    WaveFormatPtr copy = AllocateFormat(WaveFormatSize(&header));
    std::memcpy(copy.get(), bytes, WaveFormatSize(&header));
    if (IsPCMFormat(copy.get())) copy->cbSize = 0;
    return copy;
}

std::vector<uint8_t> WaveFormatBytes(const TWaveFormatEx* format) {
    if (!format) return {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(format);
    return std::vector<uint8_t>(bytes, bytes + WaveFormatSize(format));
}

WaveFormatPtr BuildPCMFormat(int channels, int bits, uint32_t rate) {
    WaveFormatPtr format = AllocateFormat(kWaveFormatHeaderSize);
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = static_cast<uint16_t>(channels);
    format->nSamplesPerSec = rate;
    format->wBitsPerSample = static_cast<uint16_t>(bits);
    format->nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    format->nAvgBytesPerSec = format->nBlockAlign * rate;
    format->cbSize = 0;
    return format;
}

bool IsValidPCMFormat(const TWaveFormatEx* format) {
    return IsPCMFormat(format) && (format->wBitsPerSample == 8 || format->wBitsPerSample == 16) &&
           (format->nChannels == 1 || format->nChannels == 2) && format->nSamplesPerSec >= 4000 &&
           format->nSamplesPerSec <= 100000;
}

bool WaveFormatsDiffer(const TWaveFormatEx* a, const TWaveFormatEx* b) {
    if (!a || !b) return false;
    return a->wFormatTag != b->wFormatTag || a->wBitsPerSample != b->wBitsPerSample ||
           a->nChannels != b->nChannels || a->nSamplesPerSec != b->nSamplesPerSec;
}

// ---------------------------------------------------------------------------
// Buffer pool

TMMAllocator::~TMMAllocator() { Discard(); }

void* TMMAllocator::AllocBuffer(size_t size) {
    std::lock_guard<std::mutex> guard(lock_);
    Block* larger = nullptr;
    for (Block& block : blocks_) {
        if (block.useCount != 0 || block.size < size) continue;
        if (block.size == size) {
            block.useCount = 1;
            return block.memory;
        }
        if (!larger) larger = &block;
    }
    if (larger) {
        larger->useCount = 1;
        return larger->memory;
    }
    auto* memory = new (std::nothrow) uint8_t[std::max<size_t>(size, 1)]();
    if (!memory) return nullptr;
    try {
        blocks_.push_back({memory, size, 1});
    } catch (const std::bad_alloc&) {
        delete[] memory;
        return nullptr;
    }
    return memory;
}

void TMMAllocator::FreeBuffer(void* memory) {
    std::lock_guard<std::mutex> guard(lock_);
    for (Block& block : blocks_)
        if (block.memory == memory) block.useCount = 0;
}

void TMMAllocator::Discard() {
    std::lock_guard<std::mutex> guard(lock_);
    for (Block& block : blocks_) delete[] block.memory;
    blocks_.clear();
}

size_t TMMAllocator::BlockCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return blocks_.size();
}

// ---------------------------------------------------------------------------
// Process-wide list of chain elements. Links are made on the main thread only,
// but the list is guarded so that elements may be built on any thread.

namespace {

std::mutex& ElementsLock() {
    static std::mutex lock;
    return lock;
}

std::vector<TMMDSPComponent*>& ElementList() {
    static std::vector<TMMDSPComponent*> list;
    return list;
}

}  // namespace

std::vector<TMMDSPComponent*> TMMDSPComponent::Elements() {
    std::lock_guard<std::mutex> guard(ElementsLock());
    return ElementList();
}

TMMDSPComponent::TMMDSPComponent(std::string name) : name_(std::move(name)) {
    std::lock_guard<std::mutex> guard(ElementsLock());
    ElementList().push_back(this);
}

TMMDSPComponent::~TMMDSPComponent() {
    if (input_) input_->output_ = nullptr;
    if (output_) output_->input_ = nullptr;
    input_ = output_ = nullptr;
    std::lock_guard<std::mutex> guard(ElementsLock());
    auto& list = ElementList();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (list.empty()) list.shrink_to_fit();
}

// ---------------------------------------------------------------------------
// Links

bool TMMDSPComponent::CanConnectInput(TMMDSPComponent* source) const {
    if (!source || source == this) return false;
    for (const TMMDSPComponent* down = output_; down; down = down->output_)
        if (down == source) return false;
    return true;
}

bool TMMDSPComponent::CanConnectOutput(TMMDSPComponent* target) const {
    if (!target || target == this) return false;
    for (const TMMDSPComponent* up = input_; up; up = up->input_)
        if (up == target) return false;
    return true;
}

void TMMDSPComponent::SetInput(TMMDSPComponent* source) {
    if (source == input_) return;
    if (!source) {
        Disconnect(this);
        return;
    }
    if (!CanConnectInput(source) || !source->CanConnectOutput(this)) return;
    Connect(source, this);
}

void TMMDSPComponent::SetOutput(TMMDSPComponent* target) {
    if (target == output_) return;
    if (!target) {
        if (output_) Disconnect(output_);
        return;
    }
    if (!CanConnectOutput(target) || !target->CanConnectInput(this)) return;
    Connect(this, target);
}

// Drops target's input link on both sides; target's format becomes none.
void TMMDSPComponent::Disconnect(TMMDSPComponent* target) {
    TMMDSPComponent* source = target->input_;
    if (!source) return;
    target->Stopped();
    source->output_ = nullptr;
    target->input_ = nullptr;
    target->InputFormatChanged(nullptr);
    AnnounceLinkChange(target, true);
}

void TMMDSPComponent::Connect(TMMDSPComponent* source, TMMDSPComponent* target) {
    target->Stopped();
    if (TMMDSPComponent* previousInput = target->input_) {
        previousInput->output_ = nullptr;
        target->input_ = nullptr;
        target->InputFormatChanged(nullptr);
    }
    if (TMMDSPComponent* previousOutput = source->output_) previousOutput->input_ = nullptr;
    target->input_ = source;
    source->output_ = target;
    target->UpdateFormat();
    AnnounceLinkChange(target, true);
}

void TMMDSPComponent::AnnounceLinkChange(TMMDSPComponent* changed, bool inputLink) {
    for (TMMDSPComponent* element : Elements()) element->LinkChanged(changed, inputLink);
}

void TMMDSPComponent::LinkChanged(TMMDSPComponent*, bool) {}

// ---------------------------------------------------------------------------
// Formats

void TMMDSPComponent::SetPWaveFormat(const TWaveFormatEx* format) { AssignWaveFormat(format); }

void TMMDSPComponent::AssignWaveFormat(const TWaveFormatEx* format) {
    // Copy before releasing: format may be our own record (see Loaded).
    WaveFormatPtr copy = CopyWaveFormat(format);
    if (started_) Stopped();
    format_ = std::move(copy);
    if (!loading_ && output_) output_->InputFormatChanged(format_.get());
}

void TMMDSPComponent::Loaded() {
    loading_ = false;
    SetPWaveFormat(format_.get());
}

void TMMDSPComponent::UpdateFormat() {
    if (input_) InputFormatChanged(input_->PWaveFormat());
}

void TMMDSPComponent::InputFormatChanged(const TWaveFormatEx* format) { SetPWaveFormat(format); }

void TMMDSPComponent::SetBufferSize(int32_t size) { bufferSize_ = size; }

// ---------------------------------------------------------------------------
// Lifecycle defaults

void TMMDSPComponent::Opened() {
    if (opened_) return;
    if (format_ && format_->nBlockAlign > 0) {
        int32_t block = format_->nBlockAlign;
        effectiveBufferSize_ = std::max(bufferSize_ - bufferSize_ % block, block);
    } else {
        effectiveBufferSize_ = bufferSize_;
    }
    opened_ = true;
    started_ = false;
    paused_ = false;
}

void TMMDSPComponent::Closed() { opened_ = false; }

void TMMDSPComponent::Started() {
    if (opened_) started_ = true;
}

void TMMDSPComponent::Paused() { paused_ = true; }

void TMMDSPComponent::Restarted() { paused_ = false; }

void TMMDSPComponent::Stopped() {
    if (!started_) return;
    started_ = false;
    paused_ = false;
}

void TMMDSPComponent::Reset() {}

void TMMDSPComponent::BufferReady(PWaveHdr lpWaveHdr) {
    if (OnBufferReady) OnBufferReady(this, lpWaveHdr);
    DeliverBuffer(lpWaveHdr);
}

void TMMDSPComponent::DeliverBuffer(PWaveHdr lpWaveHdr) {
    if (output_) output_->BufferReady(lpWaveHdr);
}

void TMMDSPComponent::BufferLoad(PWaveHdr lpWaveHdr, bool& moreBuffers) {
    if (input_)
        input_->BufferLoad(lpWaveHdr, moreBuffers);
    else
        moreBuffers = false;
}

}  // namespace murmel
