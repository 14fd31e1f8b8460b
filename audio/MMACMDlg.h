#pragma once
// TMMACM: tells the recorder whether the Audio Compression Manager is usable and
// keeps a copy of the format the converter ended up with.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "MMDSPObj.h"

namespace murmel {

enum class TMMACMEnumFormats { efAll, efInput, efOutput, efConvert, efSuggest, efRestrict };

class TMMACM {
  public:
    // What the ACM binding found when the program started.
    struct Binding {
        bool loaded = false;
        uint32_t version = 0;  // as acmGetVersion reports it
    };
    static Binding SystemBinding();

    // informationBox shows the texts of a missing or too old ACM (the recorder
    // passes its message box); none shows nothing.
    explicit TMMACM(std::function<void(const std::string&)> informationBox = {},
                    Binding binding = SystemBinding());

    bool ACMPresent() const { return present_; }
    int NumDrivers() const { return numDrivers_; }
    int NumCodecs() const { return numCodecs_; }
    int NumConverters() const { return numConverters_; }
    int NumFilters() const { return numFilters_; }
    TMMACMEnumFormats EnumFormats() const { return enumFormats_; }
    void SetEnumFormats(TMMACMEnumFormats value) { enumFormats_ = value; }
    const std::string& Title() const { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }
    TMMDSPComponent* Source() const { return source_; }
    void SetSource(TMMDSPComponent* source) { source_ = source; }

    // Copies the record (18 + cbSize bytes, 18 for PCM; no more than the buffer holds) into the
    // current-format buffer; nothing for none.
    void SetPWaveFormat(const TWaveFormatEx* format);
    const std::vector<uint8_t>& CurrentFormat() const { return currentFormat_; }
    const std::vector<uint8_t>& CurrentFilter() const { return currentFilter_; }

    static std::string NotInstalledText();
    static std::string OldVersionText(uint32_t version);

  private:
    bool present_ = false;
    int numDrivers_ = 0, numCodecs_ = 0, numConverters_ = 0, numFilters_ = 0;
    TMMACMEnumFormats enumFormats_ = TMMACMEnumFormats::efAll;
    std::string title_ = "Select...";
    TMMDSPComponent* source_ = nullptr;
    std::vector<uint8_t> currentFormat_;
    std::vector<uint8_t> currentFilter_;
};

}  // namespace murmel
