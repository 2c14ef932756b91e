// The batch list's file: whatever a file holds, the rows read from it write
// back as the same rows, and any bytes as a path, a rate or a reason come
// back exactly. The input is the file.
#include "job/batch_list.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const std::vector<job::BatchRow> rows = job::ParseBatch(text);
  if (job::ParseBatch(job::FormatBatch(rows)) != rows) std::abort();
  for (const job::BatchRow& row : rows) {
    if (row.source.empty() || row.state == job::BatchState::Running) std::abort();
  }

  job::BatchRow row;
  row.source = "/" + text;
  row.fps = text;
  row.wavPath = text;
  row.reason = text;
  row.outputs = {row.source, row.source + "_preview.mp4"};
  row.state = job::BatchState::Failed;
  row.failedModes = {1, 3};
  const std::vector<job::BatchRow> written = {row, row};
  if (job::ParseBatch(job::FormatBatch(written)) != written) std::abort();
  return 0;
}
