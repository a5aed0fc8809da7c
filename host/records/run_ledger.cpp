#include "host/records/run_ledger.h"

namespace records {

void RunLedger::Begin(const Phone& phone) {
  if (begun_ || ended_) return;
  start_.phone = phone;
  record_ = Started(start_);
  begun_ = true;
  if (recorder_ != nullptr) recorder_->Begin(record_);
}

void RunLedger::SetFactory(const std::string& modelName, const std::string& pid) {
  if (!modelName.empty()) record_.phone.modelName = modelName;
  if (!pid.empty()) record_.phone.pid = pid;
}

void RunLedger::End(const notify::Judgement& judgement, int exportResult,
                    const std::vector<std::string>& unwritten, std::vector<std::string> lines,
                    const notify::StepHistory& steps) {
  if (ended_) return;
  if (!begun_) record_ = Started(start_);
  for (const notify::StepRecord& step : steps.steps) {
    if (!step.ended) continue;
    AddStep(record_, {step.kind, step.fileIndex, step.bytesDone, step.DurationMs(), step.succeeded,
                      step.sha256, step.bytesHashed, step.partial});
  }
  records::Ended(record_, judgement, exportResult, unwritten, std::move(lines));
  ended_ = true;
  if (recorder_ != nullptr) recorder_->End(record_);
}

}  // namespace records
