// The batch: a list of sources that run one after another, each with its
// state, kept in a file of its own beside the settings. Every change is
// written at once (a temporary file renamed over the old one), so that a
// crash or a power cut during a batch loses nothing: on the next start the
// list is back, the source that was running marked as interrupted.
//
// The file is text, one row a line after a header line. A row's fields are
// separated by tabs; within a field '%', tab, line ends, '|' and every other
// control character are written as %XX, so a path carries any byte exactly.
// A field that holds a list joins its items with '|'.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace job {

enum class BatchState { Waiting, Running, Done, Failed, Interrupted };

struct BatchRow {
  std::string source;
  // The frame-rate chooser's answer for an image sequence, asked when the
  // row is added; an empty rate for any other source.
  std::string fps;
  int first = 0;
  int last = 0;
  std::string wavPath;

  BatchState state = BatchState::Waiting;
  // The outputs made, each recorded once it is complete. A row run again
  // after an interruption keeps them and makes only the modes still missing.
  std::vector<std::string> outputs;
  std::vector<int> failedModes;  // by EncodeMode
  std::string reason;            // why the failed modes failed

  bool operator==(const BatchRow&) const = default;
};

// The file's text and back. Parsing takes every complete, well-formed row
// up to the first that is not (a torn or foreign file gives the rows before
// the damage, or none), and a row read as running becomes interrupted: the
// program that ran it is gone.
std::string FormatBatch(const std::vector<BatchRow>& rows);
std::vector<BatchRow> ParseBatch(std::string_view text);

class BatchList {
 public:
  // `path` names the file; an empty path keeps the list in memory only.
  explicit BatchList(std::string path = {});

  const std::string& path() const { return path_; }
  const std::vector<BatchRow>& rows() const { return rows_; }
  int size() const { return static_cast<int>(rows_.size()); }
  const BatchRow& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }

  // Reads the file; a missing or unreadable one gives an empty list.
  void Load();
  // Whether the last write reached the disk.
  bool saved() const { return saved_; }
  // Writes the list again (after a failed write); returns saved().
  bool Save();

  // Each change below writes the file before it returns. An index outside
  // the list changes nothing and returns false. Nothing here removes a file:
  // what a run claimed and did not finish is its job's to remove, and a
  // finished output is the user's.
  void Add(const BatchRow& row);
  bool Remove(int index);
  bool MoveUp(int index);
  bool MoveDown(int index);
  bool Replace(int index, const BatchRow& row);

  // The first row still to run (waiting or interrupted); -1 when none.
  int NextToRun() const;
  // How many rows are still to run.
  int PendingCount() const;

  // Marks the row running; it keeps the outputs an earlier run finished.
  bool MarkRunning(int index);
  // One of the running row's outputs is complete.
  bool AddOutput(int index, const std::string& output);
  bool MarkDone(int index);
  bool MarkFailed(int index, const std::vector<int>& failedModes, const std::string& reason);
  // A run stopped on purpose: the row runs again at the next start, keeping
  // what it finished.
  bool MarkStopped(int index);

 private:
  bool Valid(int index) const { return index >= 0 && index < size(); }

  std::string path_;
  std::vector<BatchRow> rows_;
  bool saved_ = true;
};

// Whether the row holds a finished output of the mode with that suffix: a
// file that is there, not empty, under one of the names a job on the row's
// source gives that mode (a name of anything else in a damaged or edited
// list counts for nothing).
bool HasFinishedOutput(const BatchRow& row, const std::string& suffix);

}  // namespace job
