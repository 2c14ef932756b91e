#include "job/batch_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "job/names.h"
#include "job/text_fields.h"
#include "platform/ini_file.h"
#include "platform/read_file.h"

namespace job {

namespace {

const char kHeader[] = "kelvarion batch 1";
const char* const kStateWords[] = {"waiting", "running", "done", "failed", "interrupted"};
constexpr int kFieldCount = 9;

std::string JoinEscaped(const std::vector<std::string>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += '|';
    out += Escape(items[i]);
  }
  return out;
}

std::optional<BatchRow> ParseRow(std::string_view line) {
  const std::vector<std::string_view> fields = Split(line, '\t');
  if (fields.size() != kFieldCount) return std::nullopt;
  BatchRow row;
  int state = -1;
  for (int i = 0; i < 5; ++i) {
    if (fields[0] == kStateWords[i]) state = i;
  }
  if (state < 0) return std::nullopt;
  row.state = static_cast<BatchState>(state);
  if (row.state == BatchState::Running) row.state = BatchState::Interrupted;

  const auto source = Unescape(fields[1]);
  const auto fps = Unescape(fields[2]);
  const auto first = Number<int>(fields[3]);
  const auto last = Number<int>(fields[4]);
  const auto wav = Unescape(fields[5]);
  const auto reason = Unescape(fields[8]);
  if (!source || source->empty() || !fps || !first || !last || !wav || !reason) return std::nullopt;
  row.source = *source;
  row.fps = *fps;
  row.first = *first;
  row.last = *last;
  row.wavPath = *wav;
  row.reason = *reason;
  if (!fields[6].empty()) {
    for (const std::string_view item : Split(fields[6], '|')) {
      const auto output = Unescape(item);
      if (!output || output->empty()) return std::nullopt;
      row.outputs.push_back(*output);
    }
  }
  if (!fields[7].empty()) {
    for (const std::string_view item : Split(fields[7], '|')) {
      const auto mode = Number<int>(item);
      if (!mode || *mode < 1 || *mode > 3) return std::nullopt;
      row.failedModes.push_back(*mode);
    }
  }
  return row;
}

}  // namespace

std::string FormatBatch(const std::vector<BatchRow>& rows) {
  std::string text = std::string(kHeader) + "\n";
  for (const BatchRow& row : rows) {
    std::string modes;
    for (const int mode : row.failedModes) modes += (modes.empty() ? "" : "|") + std::to_string(mode);
    text += std::string(kStateWords[static_cast<int>(row.state)]) + '\t' + Escape(row.source) + '\t' +
            Escape(row.fps) + '\t' + std::to_string(row.first) + '\t' + std::to_string(row.last) + '\t' +
            Escape(row.wavPath) + '\t' + JoinEscaped(row.outputs) + '\t' + modes + '\t' + Escape(row.reason) + "\n";
  }
  return text;
}

std::vector<BatchRow> ParseBatch(std::string_view text) {
  std::vector<BatchRow> rows;
  const std::size_t headerEnd = text.find('\n');
  if (headerEnd == std::string_view::npos || text.substr(0, headerEnd) != kHeader) return rows;
  text.remove_prefix(headerEnd + 1);
  // Only lines that end count: a torn last line is left out.
  for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
    const std::optional<BatchRow> row = ParseRow(text.substr(0, end));
    if (!row) break;
    rows.push_back(*row);
    text.remove_prefix(end + 1);
  }
  return rows;
}

bool HasFinishedOutput(const BatchRow& row, const std::string& suffix) {
  return std::any_of(row.outputs.begin(), row.outputs.end(), [&](const std::string& output) {
    struct stat info {};
    return IsOutputNameOf(row.source, suffix, output) && ::stat(output.c_str(), &info) == 0 &&
           S_ISREG(info.st_mode) && info.st_size > 0;
  });
}

BatchList::BatchList(std::string path) : path_(std::move(path)) {}

void BatchList::Load() {
  rows_.clear();
  if (path_.empty()) return;
  if (const std::optional<std::string> text = platform::ReadWholeFile(path_)) rows_ = ParseBatch(*text);
}

bool BatchList::Save() {
  saved_ = path_.empty() || platform::ReplaceFileAtomically(path_, FormatBatch(rows_));
  return saved_;
}

void BatchList::Add(const BatchRow& row) {
  rows_.push_back(row);
  Save();
}

bool BatchList::Remove(int index) {
  if (!Valid(index)) return false;
  rows_.erase(rows_.begin() + index);
  Save();
  return true;
}

bool BatchList::MoveUp(int index) {
  if (!Valid(index) || index == 0) return false;
  std::swap(rows_[static_cast<std::size_t>(index)], rows_[static_cast<std::size_t>(index - 1)]);
  Save();
  return true;
}

bool BatchList::MoveDown(int index) { return Valid(index + 1) && index >= 0 && MoveUp(index + 1); }

bool BatchList::Replace(int index, const BatchRow& row) {
  if (!Valid(index)) return false;
  rows_[static_cast<std::size_t>(index)] = row;
  Save();
  return true;
}

int BatchList::NextToRun() const {
  for (int i = 0; i < size(); ++i) {
    if (row(i).state == BatchState::Waiting || row(i).state == BatchState::Interrupted) return i;
  }
  return -1;
}

int BatchList::PendingCount() const {
  int count = 0;
  for (const BatchRow& row : rows_) count += row.state == BatchState::Waiting || row.state == BatchState::Interrupted;
  return count;
}

bool BatchList::MarkRunning(int index) {
  if (!Valid(index)) return false;
  BatchRow& target = rows_[static_cast<std::size_t>(index)];
  target.state = BatchState::Running;
  target.failedModes.clear();
  target.reason.clear();
  Save();
  return true;
}

bool BatchList::AddOutput(int index, const std::string& output) {
  if (!Valid(index)) return false;
  rows_[static_cast<std::size_t>(index)].outputs.push_back(output);
  Save();
  return true;
}

bool BatchList::MarkDone(int index) {
  if (!Valid(index)) return false;
  rows_[static_cast<std::size_t>(index)].state = BatchState::Done;
  Save();
  return true;
}

bool BatchList::MarkFailed(int index, const std::vector<int>& failedModes, const std::string& reason) {
  if (!Valid(index)) return false;
  BatchRow& target = rows_[static_cast<std::size_t>(index)];
  target.state = BatchState::Failed;
  target.failedModes = failedModes;
  target.reason = reason;
  Save();
  return true;
}

bool BatchList::MarkStopped(int index) {
  if (!Valid(index)) return false;
  rows_[static_cast<std::size_t>(index)].state = BatchState::Interrupted;
  Save();
  return true;
}

}  // namespace job
