// The own-SMTP send as the progress dialog sees it, without a screen: reports
// carried through a UI-thread queue, progress paced, the outcome shown.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>

#include "GbkText.h"
#include "SendSession.h"
#include "SendTestSupport.h"

namespace murmel {
namespace {

using test::FreshFolder;
using test::ProgramFolderFor;

// Everything the dialog would have been told, in order.
class RecordingView : public SendSessionView {
  public:
    void ShowCaption(const std::string& caption) override {
        if (captions.empty() || captions.back() != caption) captions.push_back(caption);
    }
    void ShowReason(const std::string& text) override { reason = text; }
    void SetMaximum(int64_t value) override { maximum = value; }
    void SetPosition(int64_t value) override { positions.push_back(value); }
    void CloseAfterSuccess() override { ++closes; }
    std::vector<std::string> captions;
    std::vector<int64_t> positions;
    std::string reason;
    int64_t maximum = -1;
    int closes = 0;
};

class StoppedClock : public Clock {
  public:
    int64_t NowMs() override { return 1000; }
    void WaitUntilMs(int64_t) override {}
};

class SendSessionTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("LC_ALL", "zh_CN.UTF-8", 1); }

    // Runs one session to its end on this thread's queue.
    void Run(TSendMailFields fields, const std::string& program, Clock* clock = nullptr) {
        SendSession::Options options;
        options.playSound = [this](const std::string& path) {
            std::lock_guard<std::mutex> lock(soundLock);
            sounds.push_back(path);
        };
        options.clock = clock;
        SendSession session(std::move(fields), program, queue, std::move(options));
        session.Attach(&view);
        session.OnEnded = [this, &session](bool accepted) {
            ended.push_back(accepted);
            outcome = session.OutcomeText();  // for the status bar, dialog or not
        };
        session.Start();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!session.Ended() && std::chrono::steady_clock::now() < deadline)
            queue.WaitAndRun(std::chrono::milliseconds(50));
        ASSERT_TRUE(session.Ended());
        bodySize = session.Job().BodySize();
    }

    UIThreadQueue queue;
    RecordingView view;
    std::mutex soundLock;
    std::vector<std::string> sounds;
    std::vector<bool> ended;
    std::string outcome;
    int64_t bodySize = 0;
};

const std::string kConnecting = "正在连接...", kSending = "正在发送语音邮件",
                  kSucceeded = "邮件发送成功", kFailed = "错误,已断开连接";

TEST_F(SendSessionTest, AcceptedSendShowsEveryStepFillsTheBarPlaysTheSoundAndCloses) {
    test::RealSmtpServer real("real");
    std::string files = FreshFolder("files");
    test::WriteFile(files + "voice.mvm", test::RandomBytes(200000, 1));
    std::string program = ProgramFolderFor(real.server.Port());
    Run({"friend@example.com", "s", "b", {files + "voice.mvm"}}, program);

    EXPECT_EQ(view.captions, (std::vector<std::string>{kConnecting, kSending, kSucceeded}));
    EXPECT_EQ(view.maximum, bodySize);
    ASSERT_FALSE(view.positions.empty());
    EXPECT_EQ(view.positions.back(), bodySize);  // full, not three quarters
    EXPECT_TRUE(std::is_sorted(view.positions.begin(), view.positions.end()));
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(sounds, std::vector<std::string>{program + "notify.wav"});
    EXPECT_EQ(ended, std::vector<bool>{true});
    EXPECT_EQ(outcome, "邮件发送成功");
    EXPECT_TRUE(view.reason.empty());
    EXPECT_EQ(real.Mail("1.part1"), test::ReadFile(files + "voice.mvm"));
}

TEST_F(SendSessionTest, ProgressReachesTheWindowAtMostOncePerInterval) {
    test::RealSmtpServer real("paced");
    std::string files = FreshFolder("files");
    test::WriteFile(files + "big.bin", test::RandomBytes(3'000'000, 2));
    StoppedClock clock;  // no time passes: only the first step and the end go through
    Run({"friend@example.com", "s", "b", {files + "big.bin"}}, ProgramFolderFor(real.server.Port()),
        &clock);
    ASSERT_EQ(view.positions.size(), 3u);  // 0 at the begin, the first step, the end
    EXPECT_EQ(view.positions.front(), 0);
    EXPECT_EQ(view.positions.back(), bodySize);
    EXPECT_EQ(view.closes, 1);
}

TEST_F(SendSessionTest, RefusalsKeepTheDialogOpenAndSayWhy) {
    struct Case {
        const char* scenario;
        const char* reason;
    };
    for (Case c : {Case{"rcpt550", "550 No such user here"},
                   Case{"final-reject", "554 Transaction failed"}}) {
        SCOPED_TRACE(c.scenario);
        view = RecordingView();
        sounds.clear();
        ended.clear();
        test::ScriptedSmtpServer scripted(c.scenario);
        Run({"friend@example.com", "s", "b", {}}, ProgramFolderFor(scripted.server.Port()));
        EXPECT_EQ(view.captions.back(), kFailed);
        EXPECT_NE(view.reason.find(c.reason), std::string::npos) << view.reason;
        EXPECT_EQ(view.closes, 0);
        EXPECT_TRUE(sounds.empty());  // a rejection after the data plays nothing
        EXPECT_EQ(ended, std::vector<bool>{false});
        EXPECT_EQ(outcome, "邮件发送失败：" + view.reason);
    }
}

TEST_F(SendSessionTest, FailuresBeforeTheServerAnswersSayWhyToo) {
    std::string program = ProgramFolderFor(test::ClosedPort());
    Run({"friend@example.com", "s", "b", {}}, program);
    EXPECT_EQ(view.captions, (std::vector<std::string>{kConnecting, kFailed}));
    EXPECT_EQ(view.reason, "Connection refused");

    // An attachment that cannot be opened no longer leaves the first caption up.
    view = RecordingView();
    Run({"friend@example.com", "s", "b", {"/nonexistent/声音.mvm"}}, program);
    EXPECT_EQ(view.captions, std::vector<std::string>{kFailed});
    EXPECT_NE(view.reason.find("/nonexistent/声音.mvm"), std::string::npos) << view.reason;
    EXPECT_EQ(view.closes, 0);
}

TEST_F(SendSessionTest, ReportsQueuedForAViewThatLeftOrASessionThatEndedGoNowhere) {
    test::ScriptedSmtpServer scripted("rcpt550");
    std::string program = ProgramFolderFor(scripted.server.Port());
    {
        SendSession session({"friend@example.com", "s", "b", {}}, program, queue, {});
        session.Attach(&view);
        session.Start();
        session.Wait();  // every report is queued, none has run
        session.Detach();
    }
    EXPECT_GT(queue.Pending(), 0u);
    queue.RunPending();  // the session is gone; the tasks must not reach it
    EXPECT_TRUE(view.captions.empty());
}

TEST(ReasonLine, OneReadableLine) {
    EXPECT_EQ(ReasonLine("Socket Error\r\n  reset\tby peer \n"), "Socket Error reset by peer");
    EXPECT_EQ(ReasonLine(Utf8ToGbk("服务器忙")), "服务器忙");  // a GBK reply
    EXPECT_EQ(ReasonLine("550-\x1b]0;pwned\x07\r\n550 \x1b[2J"),
              "550-\\x1b]0;pwned\\x07 550 \\x1b[2J");
    std::string garbled = ReasonLine("bad \xff\xfe\xff");  // neither UTF-8 nor GBK
    EXPECT_EQ(garbled.rfind("bad ", 0), 0u);
    EXPECT_EQ(garbled.find('\xff'), std::string::npos);
    std::string longest(kMaxReasonLength, 'x');
    EXPECT_EQ(ReasonLine(longest), longest);
    EXPECT_EQ(ReasonLine(longest + "更多"), longest + "…");
    std::string chinese;
    for (size_t i = 0; i < kMaxReasonLength + 5; ++i) chinese += "字";
    EXPECT_EQ(ReasonLine(chinese).size(), kMaxReasonLength * 3 + std::string("…").size());
}

}  // namespace
}  // namespace murmel
