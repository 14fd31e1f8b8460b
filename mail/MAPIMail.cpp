#include "MAPIMail.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
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

// What xdg-email itself leaves as it is; everything else is encoded, the
// backslash among it, so the address never holds anything echo would act on.
bool Unencoded(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '@' || c == '/';
}

void AppendEncoded(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : text) {
        if (Unencoded(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
}

// A mailto: body breaks its lines with CR LF, whichever break the text has.
std::string WithCrLf(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

bool TMAPIMail::Present() { return !FindProgram(kProgram).empty(); }

std::string TMAPIMail::MailtoAddress() const {
    std::string query;
    auto add = [&](const char* field, std::string_view value) {
        query += query.empty() ? "?" : "&";
        query += field;
        query += '=';
        AppendEncoded(query, value);
    };
    for (const std::string& entry : Recipients) {
        const char* field = "to";
        std::string_view rest = entry;
        if (StartsWithNoCase(rest, "CC:")) {
            field = "cc";
            rest.remove_prefix(3);
        } else if (StartsWithNoCase(rest, "BCC:")) {
            field = "bcc";
            rest.remove_prefix(4);
        }
        std::string address = Trimmed(rest);
        if (!address.empty()) add(field, address);
    }
    if (!Subject.empty()) add("subject", Subject);
    if (!Body.empty()) add("body", WithCrLf(Body));
    for (const std::string& path : Attachments) {
        std::error_code error;  // an empty path stays as it is; Send refuses it
        std::filesystem::path absolute = std::filesystem::absolute(path, error);
        add("attach", error ? path : absolute.lexically_normal().string());
    }
    return "mailto:" + query;
}

// The address is the only argument: recipient texts never reach xdg-email as
// options, and xdg-email's own encoding (through echo) is never used.
std::vector<std::string> TMAPIMail::Arguments() const { return {kProgram, MailtoAddress()}; }

bool TMAPIMail::AttachmentsReadable() {
    for (const std::string& path : Attachments) {
        struct stat info {};
        std::string reason;
        if (stat(path.c_str(), &info) != 0)
            reason = std::strerror(errno);
        else if (!S_ISREG(info.st_mode))
            reason = "not a regular file";
        else if (access(path.c_str(), R_OK) != 0)
            reason = std::strerror(errno);
        if (reason.empty()) continue;
        resultCode_ = kMapiAttachmentNotFound;
        missingAttachment_ = path;
        failureText_ = "Cannot open attachment \"" + path + "\": " + reason;
        return false;
    }
    return true;
}

bool TMAPIMail::Send() {
    failureText_.clear();
    missingAttachment_.clear();
    if (!AttachmentsReadable()) return false;
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
