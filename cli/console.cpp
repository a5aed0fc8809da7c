#include "cli/console.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "cli/json.h"
#include "cli/printable.h"
#include "corvane/platform/notify.h"

namespace cli {
namespace {

constexpr int kBarWidth = 24;
constexpr auto kRefreshPeriod = std::chrono::milliseconds(200);
constexpr const char* kRed = "\x1b[31m";
constexpr const char* kGreen = "\x1b[32m";
constexpr const char* kPlain = "\x1b[0m";

JsonObject PhoneObject(const char* event, const PhoneLabel& phone) {
  JsonObject o;
  o.Add("event", event).Add("port", static_cast<int>(phone.number)).Add("name", phone.name);
  return o;
}

std::string PortText(const PhoneLabel& phone) {
  return phone.name + " (port " + std::to_string(phone.number) + ")";
}

const char* VerdictName(notify::Verdict verdict) {
  switch (verdict) {
    case notify::Verdict::kSucceeded:
      return "succeeded";
    case notify::Verdict::kCancelled:
      return "cancelled";
    case notify::Verdict::kRefused:
      return "refused";
    case notify::Verdict::kRunning:
      return "running";
    case notify::Verdict::kFailed:
      break;
  }
  return "failed";
}

double Rate(uint64_t bytes, double seconds) {
  return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0;
}

// `value` with `places` decimals, right-aligned in `width` characters.
std::string Decimal(double value, int places, int width = 0) {
  char text[64];
  std::snprintf(text, sizeof text, "%*.*f", width, places, value);
  return text;
}

}  // namespace

std::string Megabytes(uint64_t bytes) {
  return Decimal(static_cast<double>(bytes) / 1e6, 1) + " MB";
}

std::string Duration(double seconds) {
  const long long whole = std::llround(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  return text;
}

std::string RenderBar(const BarView& bar, bool colour) {
  const int filled = std::clamp(bar.position, 0, 100) * kBarWidth / 100;
  std::string line = Printable(bar.label.name);
  line.resize(std::max<size_t>(line.size(), 8), ' ');
  line += " [" + std::string(static_cast<size_t>(filled), '#') +
          std::string(static_cast<size_t>(kBarWidth - filled), '-') + "] ";
  line += Decimal(bar.position, 0, 3) + "%";
  const Throughput::Estimate& e = bar.estimate;
  line +=
      e.bytesPerSecond > 0 ? " " + Decimal(e.bytesPerSecond / 1e6, 1, 6) + " MB/s" : "     -- MB/s";
  line += e.secondsLeft ? "  " + Duration(*e.secondsLeft) + " left" : "           ";
  line += "  ";
  const char* tone = bar.tone == notify::Tone::kError      ? kRed
                     : bar.tone == notify::Tone::kComplete ? kGreen
                                                           : nullptr;
  // The bars are drawn beside the lines, not through them, and their colours are this console's
  // own escapes: only what they show is made printable.
  if (colour && tone != nullptr) return line + tone + Printable(bar.text) + kPlain;
  return line + Printable(bar.text);
}

Console::Console(std::ostream& out, std::ostream& err, Mode mode)
    : out_(out), err_(err), mode_(mode) {
  if (mode_.json) mode_.terminal = false;  // JSON lines are for programs: nothing redrawn
  if (mode_.terminal) refresher_ = std::thread([this] { RefreshLoop(); });
}

Console::~Console() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (refresher_.joinable()) refresher_.join();
}

void Console::RefreshLoop() {
  std::unique_lock<std::mutex> guard(lock_);
  while (!stopping_) {
    wake_.wait_for(guard, kRefreshPeriod);
    if (stopping_ || bars_.empty()) continue;
    EraseBarsLocked();
    DrawBarsLocked();
    out_.flush();
  }
}

void Console::EraseBarsLocked() {
  // Back to the first bar line and clear from there down.
  if (drawnBars_ > 0) out_ << "\x1b[" << drawnBars_ << "F\x1b[J";
  drawnBars_ = 0;
}

void Console::DrawBarsLocked() {
  for (const BarSource* source : bars_) out_ << RenderBar(source->Bar(), true) << '\n';
  drawnBars_ = bars_.size();
}

// Every plain line passes here, so that nothing a line quotes (a file name, a device's
// description, a plug-in's text) can act on the terminal or break the line in two.
void Console::Line(const std::string& text) {
  const std::string printable = Printable(text);
  std::lock_guard<std::mutex> guard(lock_);
  if (mode_.terminal) EraseBarsLocked();
  out_ << printable << '\n';
  if (mode_.terminal) DrawBarsLocked();
  out_.flush();
}

void Console::Json(const std::string& object) {
  std::lock_guard<std::mutex> guard(lock_);
  out_ << object << '\n';
  out_.flush();
}

std::string Console::Prefix(const PhoneLabel& phone) const {
  return mode_.multi ? "[" + phone.name + "] " : "";
}

void Console::Refresh() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!mode_.terminal) return;
  EraseBarsLocked();
  DrawBarsLocked();
  out_.flush();
}

void Console::AttachBar(const BarSource* source) {
  std::lock_guard<std::mutex> guard(lock_);
  bars_.push_back(source);
}

void Console::DetachBar(const BarSource* source) {
  std::lock_guard<std::mutex> guard(lock_);
  if (mode_.terminal) EraseBarsLocked();
  bars_.erase(std::remove(bars_.begin(), bars_.end(), source), bars_.end());
  if (mode_.terminal) DrawBarsLocked();
  out_.flush();
}

void Console::Note(const std::string& text) {
  if (mode_.json) return Json(JsonObject().Add("event", "note").Add("text", text).Text());
  Line(text);
}

void Console::DataLine(const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  out_ << text << '\n';
  out_.flush();
}

void Console::JsonLine(const std::string& object) {
  if (mode_.json) Json(object);
}

void Console::Error(const std::string& text) {
  if (mode_.json) Json(JsonObject().Add("event", "error").Add("text", text).Text());
  ErrorLine("tarvex-cli: " + text);
}

void Console::Warning(const std::string& text) { ErrorLine("tarvex-cli: " + text); }

void Console::Hint(const std::string& text) { ErrorLine(text); }

void Console::ErrorLine(const std::string& text) {
  const std::string printable = Printable(text);
  std::lock_guard<std::mutex> guard(lock_);
  err_ << printable << '\n';
  err_.flush();
}

void Console::Status(const PhoneLabel& phone, uint64_t elapsedMs, const std::string& text) {
  if (mode_.json) {
    return Json(PhoneObject("status", phone)
                    .Add("elapsed_ms", elapsedMs)
                    .Add("time", view::ElapsedPrefix(elapsedMs))
                    .Add("text", text)
                    .Text());
  }
  Line(Prefix(phone) + view::ElapsedPrefix(elapsedMs) + text);
}

void Console::FileLine(const PhoneLabel& phone, uint64_t elapsedMs, const std::string& text) {
  if (mode_.json) {
    return Json(PhoneObject("file", phone).Add("elapsed_ms", elapsedMs).Add("text", text).Text());
  }
  Line(Prefix(phone) + view::ElapsedPrefix(elapsedMs) + "File : " + text);
}

void Console::Step(const PhoneLabel& phone, uint64_t elapsedMs, const notify::StepNotice& step) {
  if (!mode_.json || step.phase == notify::StepPhase::kAdvance) return;
  static const char* const kKinds[] = {"",           "configuration", "erase",
                                       "partition",  "modem_image",   "factory_image",
                                       "nand_image", "upload"};
  const auto kind = static_cast<size_t>(step.kind);
  JsonObject o = PhoneObject("step", phone);
  o.Add("elapsed_ms", elapsedMs)
      .Add("phase", step.phase == notify::StepPhase::kBegin ? "begin" : "end")
      .Add("kind", kind < std::size(kKinds) ? kKinds[kind] : "other")
      .Add("file_index", static_cast<int64_t>(step.fileIndex))
      .Add("step_name", step.name != nullptr ? step.name : "")
      .Add("bytes_planned", step.bytesPlanned)
      .Add("bytes_done", step.bytesDone);
  if (step.phase == notify::StepPhase::kEnd) {
    o.Add("succeeded", step.succeeded != 0);
    if (notify::HasPauses(step)) o.Add("paused_seconds", static_cast<double>(step.pausedUs) / 1e6);
  }
  Json(o.Text());
}

void Console::Progress(const PhoneLabel& phone, intptr_t code, int position,
                       const std::string& text) {
  if (mode_.json) {
    return Json(PhoneObject("progress", phone)
                    .Add("code", static_cast<int64_t>(code))
                    .Add("position", position)
                    .Add("text", text)
                    .Text());
  }
  // The verdicts stand in the log; the moving positions only in the bars.
  if (code == notify::kProgressFailed || code == notify::kProgressComplete)
    Line(Prefix(phone) + "[" + text + "]");
}

void Console::Factory(const PhoneLabel& phone, const view::FactoryRow& row) {
  if (mode_.json) {
    return Json(PhoneObject("factory", phone).Add("item", row.item).Add("value", row.value).Text());
  }
  Line(Prefix(phone) + row.item + " : " + row.value);
}

void Console::MessageBox(const PhoneLabel* phone, const std::string& text,
                         const std::string& caption) {
  if (mode_.json) {
    JsonObject o =
        phone ? PhoneObject("message_box", *phone) : JsonObject().Add("event", "message_box");
    return Json(o.Add("text", text).Add("caption", caption).Text());
  }
  const std::string head = phone ? Prefix(*phone) : "";
  Line(head + "Message" + (caption.empty() ? "" : " (" + caption + ")") + ": " + text);
}

void Console::PhoneStarted(const PhoneLabel& phone) {
  if (mode_.json) {
    return Json(PhoneObject("start", phone)
                    .Add("path", phone.path)
                    .Add("description", phone.description)
                    .Text());
  }
  Line(Prefix(phone) + "Phone on " + PortText(phone) + ", " + phone.path +
       (phone.description.empty() ? "" : ", " + phone.description));
}

namespace {

std::string JsonArray(const std::vector<std::string>& texts) {
  std::string list = "[";
  for (size_t i = 0; i < texts.size(); ++i) list += (i ? "," : "") + JsonString(texts[i]);
  return list + "]";
}

}  // namespace

void Console::Result(const PhoneResult& r) {
  if (mode_.json) {
    const std::string bytes = r.bytesKnown ? std::to_string(r.bytes) : "null";
    const std::string rate = r.bytesKnown ? Decimal(Rate(r.bytes, r.seconds), 3) : "null";
    return Json(PhoneObject("result", r.label)
                    .Add("ok", r.ok)
                    .Add("cancelled", r.cancelled)
                    .Add("verdict", VerdictName(r.verdict))
                    .Add("reason", r.reason)
                    .Add("result", r.exportResult)
                    .AddRaw("bytes", bytes)
                    .Add("seconds", r.seconds)
                    .Add("paused_seconds", r.pausedSeconds)
                    .AddRaw("mb_per_s", rate)
                    .Add("last_line", r.lastLine)
                    .Add("steps_reported", r.stepsReported)
                    .AddRaw("unwritten_files", JsonArray(r.unwrittenFiles))
                    .Text());
  }
  const std::string phone = Prefix(r.label) + PortText(r.label);
  // A run cancelled before its first step says nothing; a plug-in that promised steps and sent
  // none is failed by its unwritten files instead.
  if (!r.stepsReported && !r.reportsSteps && !r.cancelled) {
    Line(phone + ": the plug-in reports no steps, so which files it wrote cannot be checked");
  }
  if (r.cancelled) {
    Line(phone + ": cancelled after " + Decimal(r.seconds, 1) + " s");
  } else if (r.ok) {
    for (const std::string& f : r.unwrittenFiles) {
      Line(std::string(phone).append(": not written: ").append(f));
    }
    const std::string written = r.bytesKnown ? Megabytes(r.bytes) : "—";
    const std::string rate = r.bytesKnown ? Decimal(Rate(r.bytes, r.seconds), 1) : "—";
    Line(phone + ": succeeded, " + written + " in " + Decimal(r.seconds, 1) + " s, " + rate +
         " MB/s");
  } else {
    const bool lastTold = r.lastLine.empty() || r.lastLine == r.reason;
    Line(phone + ": FAILED after " + Decimal(r.seconds, 1) + " s: " + r.reason +
         (lastTold ? "" : " (last line: " + r.lastLine + ")"));
  }
}

namespace {

struct Totals {
  std::vector<std::string> failed;     // "ttyACM1 (port 8)", as the system names the port
  std::vector<std::string> cancelled;  // unfinished when the run was interrupted
  uint64_t bytes = 0;                  // of the phones that succeeded
  bool ok = false;
};

Totals Count(const std::vector<PhoneResult>& results) {
  Totals t;
  for (const PhoneResult& r : results) {
    if (!r.ok) (r.cancelled ? t.cancelled : t.failed).push_back(PortText(r.label));
    t.bytes += r.ok && r.bytesKnown ? r.bytes : 0;
  }
  t.ok = !results.empty() && t.failed.empty() && t.cancelled.empty();
  return t;
}

// Bytes a plug-in without step notices cannot vouch for are shown as "—" (one column wide).
std::string SummaryRow(const PhoneResult& r) {
  const std::string bytes = r.bytesKnown ? std::to_string(r.bytes) : "—";
  const std::string rate = r.bytesKnown ? Decimal(Rate(r.bytes, r.seconds), 1) : "—";
  const auto right = [](const std::string& text, size_t columns, size_t width) {
    return std::string(width > columns ? width - columns : 0, ' ') + text;
  };
  char row[160];
  std::snprintf(row, sizeof row, "  %4u  %-10s  %-9s  ", static_cast<unsigned>(r.label.number),
                r.label.name.c_str(),
                r.ok          ? "OK"
                : r.cancelled ? "cancelled"
                              : "FAILED");
  return row + right(bytes, r.bytesKnown ? bytes.size() : 1, 11) + "  " + Decimal(r.seconds, 1, 6) +
         " s  " + right(rate, r.bytesKnown ? rate.size() : 1, 6);
}

std::string Verdict(size_t phones, const Totals& t) {
  if (phones == 0) return "No phone was run.";
  if (t.ok) {
    return phones == 1 ? "The phone succeeded."
                       : "All " + std::to_string(phones) + " phones succeeded.";
  }
  const std::string of = " of " + std::to_string(phones) + (phones == 1 ? " phone" : " phones");
  std::string text;
  if (!t.failed.empty()) {
    text = std::to_string(t.failed.size()) + of + " failed:";
    for (const std::string& f : t.failed) text += " " + f;
  }
  if (!t.cancelled.empty()) {
    text += (text.empty() ? std::to_string(t.cancelled.size()) + of
                          : "; " + std::to_string(t.cancelled.size())) +
            " cancelled:";
    for (const std::string& c : t.cancelled) text += " " + c;
  }
  return text;
}

}  // namespace

void Console::Summary(const std::vector<PhoneResult>& results, double cpuSeconds, bool simulated) {
  const Totals t = Count(results);
  const double mib = static_cast<double>(t.bytes) / (1 << 20);
  const double perMiB = t.bytes > 0 ? cpuSeconds / mib : 0;
  if (mode_.json) {
    return Json(JsonObject()
                    .Add("event", "summary")
                    .Add("ok", t.ok)
                    .Add("phones", static_cast<int>(results.size()))
                    .Add("failed", static_cast<int>(t.failed.size()))
                    .AddRaw("failed_ports", JsonArray(t.failed))
                    .Add("cancelled", static_cast<int>(t.cancelled.size()))
                    .AddRaw("cancelled_ports", JsonArray(t.cancelled))
                    .Add("bytes", t.bytes)
                    .Add("cpu_seconds", cpuSeconds)
                    .Add("cpu_includes_simulation", simulated)
                    .Add("cpu_seconds_per_mib", perMiB)
                    .Text());
  }
  Line("");
  Line("Summary");
  Line("  port  name        result     bytes        time      MB/s");
  for (const PhoneResult& r : results) Line(SummaryRow(r));
  Line(Verdict(results.size(), t));
  Line(std::string(simulated ? "CPU time of this process (the simulated phones included) "
                             : "Host CPU time ") +
       Decimal(cpuSeconds, 2) + " s" +
       (t.bytes > 0 ? ", " + Decimal(perMiB, 3) + " s per MiB written" : ""));
}

void Console::Verification(const PhoneLabel& phone, bool ok, const std::vector<std::string>& lines,
                           const std::string& verdict) {
  if (mode_.json) {
    return Json(PhoneObject("verification", phone)
                    .Add("ok", ok)
                    .AddRaw("images", JsonArray(lines))
                    .Add("verdict", verdict)
                    .Text());
  }
  Line("");
  Line("Byte-for-byte check of the simulated phone on " + PortText(phone) + ":");
  for (const std::string& line : lines) Line("  " + line);
  Line(verdict);
}

}  // namespace cli
