#include "support/recording_window.h"

#include "corvane/platform/notify.h"

namespace testing_support {

platform::LRESULT RecordingWindow::HandleMessage(uint32_t message, platform::WPARAM wParam,
                                                 platform::LPARAM lParam) {
  if (message == notify::kMsgNotify && wParam == notify::kStepNotice) {
    const notify::StepNotice* n = notify::StepNoticeOf(lParam);
    std::lock_guard<std::mutex> guard(lock_);
    if (n != nullptr) {
      const notify::StepNotice copy = notify::CopyOf(*n);
      steps_.push_back({copy, copy.name, copy.sha256});
    }
    return 0;
  }
  Message m{message, wParam, 0, {}};
  const bool isText = message == notify::kMsgNotify &&
                      (wParam == notify::kStatusText || wParam == notify::kFileLine);
  const bool isFactory = message == notify::kMsgFactory;
  if (isText || (isFactory && wParam == notify::kFactoryModelName)) {
    m.text = reinterpret_cast<const char*>(lParam);
  } else if (isFactory && wParam == notify::kFactoryPid) {
    // The PID block is valid only while the message is handled: copy its 64 bytes now.
    const auto* block = reinterpret_cast<const char*>(lParam);
    m.text.assign(block, block + 64);
  } else {
    m.value = lParam;
  }
  std::lock_guard<std::mutex> guard(lock_);
  messages_.push_back(std::move(m));
  return 0;
}

std::vector<RecordingWindow::Message> RecordingWindow::Messages() const {
  std::lock_guard<std::mutex> guard(lock_);
  return messages_;
}

std::vector<RecordingWindow::Step> RecordingWindow::Steps() const {
  std::lock_guard<std::mutex> guard(lock_);
  return steps_;
}

std::vector<std::string> RecordingWindow::StepEnds() const {
  std::vector<std::string> out;
  for (const Step& s : Steps()) {
    const notify::StepNotice& n = s.notice;
    if (n.phase != notify::StepPhase::kEnd) continue;
    out.push_back(std::to_string(static_cast<int>(n.kind)) + " " + std::to_string(n.fileIndex) +
                  " " + s.name + " " + std::to_string(n.bytesDone) + "/" +
                  std::to_string(n.bytesPlanned) + (n.succeeded ? " ok" : " failed"));
  }
  return out;
}

std::vector<std::string> RecordingWindow::DigestEnds() const {
  std::vector<std::string> out;
  for (const Step& s : Steps()) {
    if (s.notice.phase != notify::StepPhase::kEnd) continue;
    out.push_back(s.name + " " + s.sha256 + " " + std::to_string(s.notice.bytesHashed) +
                  (s.notice.hashPartial ? " partial" : " whole"));
  }
  return out;
}

std::vector<std::string> RecordingWindow::Texts() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::string> out;
  for (const Message& m : messages_) {
    if (m.message == notify::kMsgNotify && m.wParam == notify::kStatusText) out.push_back(m.text);
  }
  return out;
}

std::vector<platform::LPARAM> RecordingWindow::Codes() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<platform::LPARAM> out;
  for (const Message& m : messages_) {
    if (m.message == notify::kMsgNotify && m.wParam == notify::kProgress) out.push_back(m.value);
  }
  return out;
}

std::vector<std::string> RecordingWindow::Log() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::string> out;
  for (const Message& m : messages_) {
    if (m.message == notify::kMsgNotify && m.wParam == notify::kProgress) {
      out.push_back("#" + std::to_string(m.value));
    } else if (m.message == notify::kMsgNotify) {
      out.push_back(m.text);
    }
  }
  return out;
}

std::vector<std::string> RecordingWindow::Events() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::string> out;
  for (const Message& m : messages_) {
    if (m.message != notify::kMsgNotify) continue;
    if (m.wParam == notify::kStatusText) out.push_back(m.text);
    if (m.wParam == notify::kProgress) out.push_back("[" + std::to_string(m.value) + "]");
  }
  return out;
}

void RecordingWindow::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  messages_.clear();
  steps_.clear();
}

}  // namespace testing_support
