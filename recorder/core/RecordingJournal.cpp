#include "RecordingJournal.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <map>
#include <sstream>

#include "SafeFile.h"

namespace murmel {
namespace {

constexpr const char* kHeading = "[MurmelRecording]";
constexpr size_t kMaxJournalLine = 8192;  // far above any path

// Values are one line each: "%", CR and LF are written as %25, %0D, %0A.
std::string Escape(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '%')
            out += "%25";
        else if (c == '\n')
            out += "%0A";
        else if (c == '\r')
            out += "%0D";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        const std::string code = value.substr(i + 1, 2);
        if (code == "25")
            out += '%';
        else if (code == "0A")
            out += '\n';
        else if (code == "0D")
            out += '\r';
        else
            throw EJournalError("bad escape in \"" + value + "\"");
        i += 2;
    }
    return out;
}

int64_t Number(const std::map<std::string, std::string>& values, const std::string& key,
               bool required) {
    auto found = values.find(key);
    if (found == values.end()) {
        if (required) throw EJournalError("no " + key);
        return 0;
    }
    const std::string& text = found->second;
    char* end = nullptr;
    errno = 0;
    long long number = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || number < 0)
        throw EJournalError("bad " + key + " \"" + text + "\"");
    return number;
}

}  // namespace

RecordingJournal RecordingJournal::ForThisProcess(std::string program, std::string base,
                                                  std::string track) {
    RecordingJournal journal;
    journal.program = std::move(program);
    journal.writer = CurrentProcess();
    journal.started = static_cast<int64_t>(std::time(nullptr));
    journal.base = std::move(base);
    journal.track = std::move(track);
    return journal;
}

std::string RecordingJournal::ToText() const {
    std::ostringstream out;
    out << kHeading << "\n"
        << "Program=" << Escape(program) << "\n"
        << "Pid=" << writer.pid << "\n"
        << "ProcessStart=" << writer.startTicks << "\n"
        << "Boot=" << Escape(writer.bootId) << "\n"
        << "Started=" << started << "\n"
        << "Base=" << Escape(base) << "\n"
        << "Track=" << Escape(track) << "\n"
        << "Target=" << Escape(target) << "\n"
        << "Music=" << (withMusic ? "YES" : "NO") << "\n"
        << "Tune=" << Escape(tune) << "\n"
        << "Schedule=" << Escape(schedule) << "\n";
    return out.str();
}

RecordingJournal RecordingJournal::FromText(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeading) throw EJournalError("not a recording journal");
    std::map<std::string, std::string> values;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line.size() > kMaxJournalLine) throw EJournalError("line too long");
        size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0)
            throw EJournalError("bad line \"" + line + "\"");
        values[line.substr(0, equals)] = Unescape(line.substr(equals + 1));
    }
    RecordingJournal journal;
    journal.program = values["Program"];
    journal.writer.pid = static_cast<int>(Number(values, "Pid", true));
    if (journal.writer.pid <= 0 || journal.writer.pid > 0x3FFFFFFF) throw EJournalError("bad Pid");
    journal.writer.startTicks = static_cast<uint64_t>(Number(values, "ProcessStart", false));
    journal.writer.bootId = values["Boot"];
    journal.started = Number(values, "Started", true);
    journal.base = values["Base"];
    journal.track = values["Track"];
    if (journal.track.empty() || journal.track[0] != '/') throw EJournalError("bad Track");
    journal.target = values["Target"];
    const std::string music = values["Music"];
    if (music != "YES" && music != "NO") throw EJournalError("bad Music \"" + music + "\"");
    journal.withMusic = music == "YES";
    journal.tune = values["Tune"];
    journal.schedule = values["Schedule"];
    if (journal.withMusic && (journal.tune.empty() || journal.schedule.empty()))
        throw EJournalError("music without tune or schedule");
    return journal;
}

std::string JournalPathFor(const std::string& base) { return base + kJournalExtension; }

void WriteRecordingJournal(const RecordingJournal& journal) {
    const std::string text = journal.ToText();
    ReplaceFileAtomically(JournalPathFor(journal.base), text.data(), text.size(),
                          FileSharing::Private);
}

void RemoveRecordingJournal(const RecordingJournal& journal) {
    unlink(JournalPathFor(journal.base).c_str());
}

}  // namespace murmel
