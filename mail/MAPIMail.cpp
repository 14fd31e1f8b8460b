#include "MAPIMail.h"

#include <cctype>
#include <string_view>

#include "ChildProcess.h"

namespace murmel {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

std::string Trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

bool TMAPIMail::Present() { return !FindProgram(kProgram).empty(); }

std::vector<std::string> TMAPIMail::Arguments() const {
    std::vector<std::string> argv{kProgram, "--utf8"};
    for (const std::string& entry : Recipients) {
        std::string option = "--to";
        std::string_view rest = entry;
        if (StartsWithNoCase(rest, "CC:")) {
            option = "--cc";
            rest.remove_prefix(3);
        } else if (StartsWithNoCase(rest, "BCC:")) {
            option = "--bcc";
            rest.remove_prefix(4);
        }
        // Always behind an option: a recipient text is never read as an option
        // or as a mailto: address carrying its own attachments.
        std::string address = Trimmed(rest);
        if (address.empty()) continue;  // xdg-email refuses an empty address
        argv.insert(argv.end(), {option, address});
    }
    // xdg-email refuses an empty subject or body, so those are left out.
    if (!Subject.empty()) argv.insert(argv.end(), {"--subject", Subject});
    if (!Body.empty()) argv.insert(argv.end(), {"--body", Body});
    for (const std::string& path : Attachments) argv.insert(argv.end(), {"--attach", path});
    return argv;
}

bool TMAPIMail::Send() {
    failureText_.clear();
    ChildResult result = RunProgram(Arguments());
    if (!result.started) {
        resultCode_ = kMapiFailure;
        failureText_ = result.error;
    } else {
        resultCode_ = result.exitCode;
        if (result.exitCode != 0)
            failureText_ =
                std::string(kProgram) + " exited with status " + std::to_string(result.exitCode);
    }
    return resultCode_ == kMapiSuccess;
}

}  // namespace murmel
