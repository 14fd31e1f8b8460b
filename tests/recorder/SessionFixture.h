#pragma once
// A recording session on a fake capture device, a silent music device and a
// program folder of its own, with a listener that answers like a scripted user.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "AudioOutput.h"
#include "FakeCapture.h"
#include "RecordingChain.h"
#include "RecordingSession.h"
#include "SettingsStore.h"
#include "TestFiles.h"
#include "UIThreadPost.h"
#include "WMediaPlayer.h"

namespace murmel::test {

struct ScriptedUser : RecorderListener {
    std::deque<std::string> musicAnswers, saveAnswers;
    std::deque<bool> replaceAnswers;  // none left: no
    std::vector<std::string> musicFolders, saveProposals, replaceQuestions, statusTexts, errors;
    std::vector<SaveDialogKind> saveKinds;
    std::vector<InputWarning> inputWarnings;
    RecorderDisplay display;
    void DisplayChanged(const RecorderDisplay& d) override { display = d; }
    std::string ChooseMusic(const std::string& folder) override {
        musicFolders.push_back(folder);
        std::string answer = musicAnswers.empty() ? "" : musicAnswers.front();
        if (!musicAnswers.empty()) musicAnswers.pop_front();
        return answer;
    }
    std::string ChooseSaveName(SaveDialogKind kind, const std::string& proposal) override {
        saveKinds.push_back(kind);
        saveProposals.push_back(proposal);
        std::string answer = saveAnswers.empty() ? "" : saveAnswers.front();
        if (!saveAnswers.empty()) saveAnswers.pop_front();
        return answer;
    }
    bool ConfirmReplace(const std::string& path) override {
        replaceQuestions.push_back(path);
        const bool answer = !replaceAnswers.empty() && replaceAnswers.front();
        if (!replaceAnswers.empty()) replaceAnswers.pop_front();
        return answer;
    }
    void StatusText(const std::string& text) override { statusTexts.push_back(text); }
    void ShowError(const std::string& text) override { errors.push_back(text); }
    void InputWarningChanged(InputWarning warning) override { inputWarnings.push_back(warning); }
};

class SessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (auto& entry : std::filesystem::directory_iterator(TempFolder()))
            before.insert(entry.path().string());
        folder = FreshFolder("program");
        std::filesystem::create_directories(folder + "BGMusic");
        tune = folder + "BGMusic/organ.mid";
        std::filesystem::copy_file(MURMEL_TEST_DATA "/valid/play-organ.mid", tune);
        chain = std::make_unique<RecordingChain>(&ui, std::make_unique<FakeCapture>(device));
        output = OpenAudioOutput("null");
        music = std::make_unique<TWMediaPlayer>(*output);
        session = std::make_unique<RecordingSession>(folder, *chain, *music, attachments, user, ui);
        session->Now = [] {
            std::tm t{};
            t.tm_year = 104, t.tm_mon = 6, t.tm_mday = 5, t.tm_hour = 9, t.tm_min = 3, t.tm_sec = 7;
            return t;
        };
    }
    void TearDown() override {
        session.reset();
        music.reset();
        chain.reset();
    }
    void Setting(const char* section, const char* key, const char* value) {
        SettingsStore(folder).WriteText(section, key, value);
    }
    // Files that appeared directly in the temporary folder (where recordings keep
    // theirs) since the test began.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> names;
        for (auto& entry : std::filesystem::directory_iterator(TempFolder()))
            if (entry.is_regular_file() && !before.count(entry.path().string()))
                names.push_back(entry.path().string());
        return names;
    }
    std::string MyVoice(const std::string& name) const { return folder + "MyVoice/" + name; }

    std::set<std::string> before;
    std::string folder, tune;
    FakeCapture::Controls device;
    UIThreadQueue ui;
    std::unique_ptr<RecordingChain> chain;
    std::unique_ptr<AudioOutput> output;
    std::unique_ptr<TWMediaPlayer> music;
    AttachmentList attachments;
    ScriptedUser user;
    std::unique_ptr<RecordingSession> session;
};

}  // namespace murmel::test
