// Sends a message with a 20 MB attachment to a local sink with our SMTP client and
// with curl (the same message bytes), and measures how fast a cancel ends a send
// that waits on a silent server.
//   mail_bench [--megabytes N] [--rounds N]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "IdSMTP.h"
#include "TempNames.h"
#include "mail_sink.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

double ThreadCpu() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

struct Figure {
    double wall, cpu;
};

murmel::TIdMessage Message(const std::string& attachment) {
    murmel::TIdMessage message;
    message.From = {"bench@murmel.example", "Bench"};
    message.Recipients = {{"sink@example.com", ""}};
    message.Subject = "benchmark";
    message.Body = {"a voice mail"};
    message.Parts.push_back({attachment, "voice.mvm"});
    return message;
}

Figure SendOurs(int port, const std::string& attachment) {
    murmel::TIdSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = port;
    murmel::TIdMessage message = Message(attachment);
    double cpu = ThreadCpu();
    auto start = Clock::now();
    smtp.Connect();
    smtp.Send(message);
    smtp.Disconnect();
    return {std::chrono::duration<double>(Clock::now() - start).count(), ThreadCpu() - cpu};
}

// The same bytes as our client writes after DATA, for curl to upload.
void WriteMessageFile(const std::string& attachment, const std::string& path) {
    struct FileWriter : murmel::TIdMessageLineWriter {
        std::ofstream out;
        void WriteLine(std::string_view line) override {
            out.write(line.data(), static_cast<std::streamsize>(line.size()));
            out.write("\r\n", 2);
        }
    } writer;
    writer.out.open(path, std::ios::binary);
    murmel::WriteMessage(Message(attachment), writer);
}

Figure SendCurl(int port, const std::string& messageFile) {
    std::string url = "smtp://127.0.0.1:" + std::to_string(port);
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        execlp("curl", "curl", "-s", url.c_str(), "--mail-from", "bench@murmel.example",
               "--mail-rcpt", "sink@example.com", "--upload-file", messageFile.c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double wall = std::chrono::duration<double>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "curl failed\n");
    return {wall, Seconds(usage.ru_utime) + Seconds(usage.ru_stime)};
}

double OurCancelLatency(int silentPort) {
    murmel::TIdSMTP smtp;
    smtp.Host = "127.0.0.1";
    smtp.Port = silentPort;
    Clock::time_point ended;
    std::thread worker([&] {
        try {
            smtp.Connect();
        } catch (const std::exception&) {
        }
        ended = Clock::now();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto start = Clock::now();
    smtp.DisconnectSocket();
    worker.join();
    return std::chrono::duration<double>(ended - start).count();
}

double CurlCancelLatency(int silentPort) {
    std::string url = "smtp://127.0.0.1:" + std::to_string(silentPort);
    pid_t pid = fork();
    if (pid == 0) {
        execlp("curl", "curl", "-s", url.c_str(), "--mail-from", "a@b.c", "--mail-rcpt", "d@e.f",
               "--upload-file", "/dev/null", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto start = Clock::now();
    kill(pid, SIGINT);
    waitpid(pid, nullptr, 0);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Print(const char* name, double ours, double peer, const char* unit) {
    std::printf("%s: ours %.2f %s, peer %.2f %s, ratio %.2f\n", name, ours, unit, peer, unit,
                peer > 0 ? ours / peer : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    size_t megabytes = 20;
    int rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--megabytes")) megabytes = std::stoul(argv[i + 1]);
        if (!std::strcmp(argv[i], "--rounds")) rounds = std::stoi(argv[i + 1]);
    }
    std::string folder = murmel::TempFolder();
    std::string attachment = folder + "mail_bench_" + std::to_string(getpid()) + ".mvm";
    std::string messageFile = attachment + ".eml";
    {
        std::mt19937 random(7);
        std::vector<char> bytes(megabytes << 20);
        for (char& c : bytes) c = static_cast<char>(random());
        std::ofstream(attachment, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    WriteMessageFile(attachment, messageFile);

    MailSink sink;
    std::vector<double> oursWall, oursCpu, curlWall, curlCpu;
    for (int round = 0; round < rounds; ++round) {
        Figure ours = SendOurs(sink.Port(), attachment);
        Figure curl = SendCurl(sink.Port(), messageFile);
        oursWall.push_back(ours.wall * 1000);
        oursCpu.push_back(ours.cpu * 1000);
        curlWall.push_back(curl.wall * 1000);
        curlCpu.push_back(curl.cpu * 1000);
    }
    std::string label = "send_" + std::to_string(megabytes) + "MB";
    Print((label + "_wall").c_str(), Median(oursWall), Median(curlWall), "ms");
    Print((label + "_client_cpu").c_str(), Median(oursCpu), Median(curlCpu), "ms");

    MailSink silent(true);
    std::vector<double> oursCancel, curlCancel;
    for (int round = 0; round < rounds; ++round) {
        oursCancel.push_back(OurCancelLatency(silent.Port()) * 1000);
        curlCancel.push_back(CurlCancelLatency(silent.Port()) * 1000);
    }
    Print("cancel_latency", Median(oursCancel), Median(curlCancel), "ms");
    std::remove(attachment.c_str());
    std::remove(messageFile.c_str());
    return 0;
}
