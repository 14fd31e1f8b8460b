#pragma once
// A fast SMTP sink on 127.0.0.1 for the benchmark: it accepts every command and
// throws the data away, so that the client is what gets measured.
#include <atomic>
#include <thread>

class MailSink {
  public:
    explicit MailSink(bool silent = false);  // silent: accept, never answer
    ~MailSink();
    int Port() const { return port_; }

  private:
    void Serve();
    void Session(int fd);
    int listener_ = -1;
    int port_ = 0;
    bool silent_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
