#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "Command.h"
#include "GbkText.h"
#include "UserFolder.h"
#include "SafeFile.h"
#include "SendCounter.h"
#include "SendMailThread.h"
#include "SendSession.h"

namespace murmel::cli {
namespace {

// Prints what the progress dialog would show.
class PrintingListener : public TSendMailListener {
  public:
    void CaptionChanged(const std::string& captionGbk) override {
        std::lock_guard<std::mutex> lock(lock_);
        std::printf("%s\n", GbkToUtf8(captionGbk).c_str());
        std::fflush(stdout);
    }
    void Failed(const std::string& reason) override {
        std::lock_guard<std::mutex> lock(lock_);
        std::fprintf(stderr, "%s\n", ReasonText(reason).c_str());  // a server's words, escaped
    }

  private:
    std::mutex lock_;
};

// A regular file of bounded size: a FIFO or device would hold the command forever.
std::string ReadBodyFile(const std::string& path) {
    try {
        const std::vector<uint8_t> bytes = ReadRegularFile(path);
        return std::string(bytes.begin(), bytes.end());
    } catch (const EFileError& error) {
        throw std::runtime_error("Cannot read body file \"" + path + "\". " + error.Reason());
    }
}

// The send counter request that follows every send, as in the recorder; it may take
// a moment to go out, but never holds the command for more than two seconds.
void CountSend() {
    const char* url = std::getenv("MURMEL_COUNTER_URL");
    if (!url || !*url) return;
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([done, address = std::string(url)] {
        RequestSendCounterNow(address);
        *done = true;
    }).detach();
    for (int i = 0; i < 100 && !*done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

int Send(const Arguments& arguments) {
    ParsedArguments parsed =
        ParseArguments(arguments, {"--to", "--subject", "--body-file", "--attach"}, {});
    if (!parsed.positional.empty()) throw UsageError("unexpected argument " + parsed.positional[0]);
    if (!parsed.Has("--to")) throw UsageError("--to is required");
    if (!parsed.Has("--subject")) throw UsageError("--subject is required");
    CatchInterrupt();
    TSendMailFields fields;
    fields.Recipient = parsed.Value("--to");
    fields.Subject = parsed.Value("--subject");
    if (parsed.Has("--body-file")) fields.Body = ReadBodyFile(parsed.Value("--body-file"));
    fields.Attachments = parsed.Values("--attach");

    PrintingListener listener;
    TSendMailThread job(std::move(fields), UserFolder(), listener);
    job.Start();
    bool cancelled = false;
    while (job.Running()) {
        if (Interrupted() && !cancelled) {
            job.Cancel();
            cancelled = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    job.Wait();
    CountSend();
    return job.Accepted() ? 0 : 1;
}

const RegisterCommand send({"send", "--to T --subject S [--body-file F] [--attach FILE]...", Send});

}  // namespace
}  // namespace murmel::cli
