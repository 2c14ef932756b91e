// Every text of the interface that depends on the language, in one table,
// and the message-box offsets that go with it. The main window's controls
// carry the Russian texts; an English interface replaces them.
#pragma once

#include <QString>
#include <QStringList>

namespace desktop {

struct UiTexts {
  bool russian = true;

  // Texts of the running job.
  QString start, halt, standby, done;
  QString selectFile, selectMode, allDone;
  QString video, pass, of, audio, muxing;
  QString modeNames[3];  // Preview, Standard, Deluxe
  QString quitQuery;
  QString prevSettings, stdSettings;
  QString noHelp, unsupported;
  // A source or sound file whose name the tools cannot be given exactly.
  QString nameNotCarried;
  // The help file is there, but no program of the desktop opens it.
  QString noHelpViewer;
  // The stand-alone muxer's build failed; its details tell how.
  QString muxFailed;
  // The end of a run in which some modes failed: the modes are listed after it.
  QString modesFailed;
  // Its details, one block for each failed mode: the stage's status line,
  // the tool's command line, how it ended and the end of its output.
  QString detailsStage, detailsCommand, detailsExitCode, detailsSignal, detailsNotStarted;
  QString detailsNoOutputFile, detailsLastLines, detailsNoLines;
  // The probe found nothing because its folder could not be written.
  QString detailsFolderNotWritable;
  // The job log: a job's source, its modes, each mode's end, the job's end;
  // a job that never began, one stopped by a signal, and one whose program
  // died under it (told at the next start).
  QString logJob, logModes, logDoneIn, logFailedAfter, logJobDone, logJobHalted, logSeconds;
  QString logJobNotStarted, logJobStopped, logJobInterrupted;
  // A job that cannot begin: its working folder is not the user's own, or
  // the source's folder takes no output; the folder and why follow.
  QString folderRefused, outputsRefused;

  // Texts of the main window's controls.
  QString fileGroup, selectFileHint, tagsGroup, authorLabel, titleLabel;
  QString afterJobLabel, workModeGroup;
  QString previewBox, standardBox, deluxeBox;
  QString previewHint, standardHint, helpHint;
  QStringList afterJobItems;  // by index: nothing, power off, sleep, hibernate, sound
  QStringList openFilter;     // the source dialog's entries, label and patterns

  // The batch window: its caption, buttons, and a row's state. A running
  // row shows its percentage and stage, a done one its outputs, a failed one
  // its failed modes and the reason.
  QString batchCaption, batchAdd, batchRemove, batchUp, batchDown;
  QString batchWaiting, batchRunning, batchDone, batchFailed, batchInterrupted;
  // The end of a batch in which some sources failed: their names follow.
  QString batchSourcesFailed;
  QString batchMissing;  // a row whose source is gone
  // The list could not be written to its file; Start then refuses to run it.
  QString batchNotSaved;
  QString batchSourceColumn, batchStateColumn, batchResultColumn;
  QString batchLeft;      // after a time: " left"
  QString batchProgress;  // %1 of %2 sources done, the batch at %3 percent

  // Message boxes sit at the main window's left edge plus an offset and its
  // top edge plus 130 (the end-of-run box: offsetMain + 40 and top + 170).
  int offsetMain = 50;
  int offsetQuit = 12;
  int offsetHelp = 33;
};

const UiTexts& RussianTexts();
const UiTexts& EnglishTexts();
const UiTexts& TextsFor(bool russian);

}  // namespace desktop
