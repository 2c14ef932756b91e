// Showing a file in the desktop's file manager.
#pragma once

#include <string>

namespace desktop {

// How long the file manager may take to answer; one that the bus starts on
// demand needs a moment.
constexpr int kFileManagerAnswerMs = 5000;

// When `path` names an existing file, asks the file manager on the session
// bus (org.freedesktop.FileManager1 ShowItems) to show it selected, without
// waiting for the answer; when no file manager answers in `answerMs`, or it
// fails, opens the containing folder instead. Returns whether anything was
// asked; a missing or empty path asks nothing.
bool RevealInFileManager(const std::string& path, int answerMs = kFileManagerAnswerMs);

}  // namespace desktop
