// What one job owns, and nothing more. Windows, batches, job runners and
// other users' programs work side by side on the same folders, so a job
// claims every name it will write and works in a folder it holds locked:
// what it removes or replaces is only ever a file it made itself that is
// still that file, and a folder nobody holds. Its tools are its own child
// processes, ended through their process groups and dying with the program
// (platform::ChildProcess); no tool is ever sought by name.
#pragma once

#include <string>
#include <vector>

#include "platform/file_identity.h"
#include "platform/lock_file.h"

namespace job {

// Makes `path` a private folder of the user's own (made when missing, closed
// to others when it was not); empty when it is one now, else why not,
// naming it: "/home/ann/.config/kelvarion: is a symbolic link".
std::string PrivateFolderProblem(const std::string& path);

// A folder where one running program keeps a job's intermediate files,
// held by an exclusive lock on a file inside it for as long as the program
// uses it. A folder whose lock nobody holds is what a program that died
// left behind, and any program of the same user may clear it.
class JobFolder {
 public:
  JobFolder() = default;  // holds nothing

  // The shared folder `preferred`, or when another running program holds it
  // the first free of preferred-2, preferred-3, ...: made private to the user
  // when missing; an existing one is taken only when it is a real folder of
  // the user's own, closed to others (it is closed if it was not). What a
  // dead program left in it goes first. On failure nothing is held and
  // `reason` names the folder and why.
  static JobFolder TakeShared(const std::string& preferred, std::string* reason);
  // A job runner's folder of its own, $TMPDIR/kelvarion-job-XXXXXX (/tmp
  // without TMPDIR), private and held.
  static JobFolder MakeForRunner(std::string* reason);

  bool held() const { return lock_.locked(); }
  const std::string& path() const { return path_; }

  // Lets the folder go; a unique folder goes with the files in it, a shared
  // one stays for the next program.
  void Release();

 private:
  std::string path_;
  bool unique_ = false;
  platform::LockFile lock_;
};

// Clears what dead programs of this user left: the shared folder
// `preferred`, its numbered siblings and the runners' folders, each when
// nobody holds it (a runner's goes whole, a shared one keeps only its lock).
// Their claimed, never written outputs are removed; the jobs they were
// running when they died are returned by the names their journals gave
// them, so that the log can close their entries.
std::vector<std::string> ClearDeadJobFolders(const std::string& preferred);

// The output names a job has claimed, kept in a journal in its folder so
// that what a killed program claimed can be found and removed later.
class OutputClaims {
 public:
  // The journal lies in `folder`, the job folder the program holds.
  explicit OutputClaims(const std::string& folder);

  // A job begins and ends; while it runs, the journal names it.
  void BeginJob(const std::string& jobName);
  void EndJob();

  // Claims the first free name of base + suffix + ext, base + 1 + suffix +
  // ext, ... (ext ".m4a" for a WAV source, else ".mp4") by creating it empty
  // and exclusively, so that no other program can take it meanwhile. Empty,
  // with `reason` ("<folder>: <why>"), when the folder takes no new file.
  std::string Claim(const std::string& sourcePath, const std::string& suffix, std::string* reason);
  // Whether `path` still names the file this job claimed or one of its own
  // tools wrote in its place.
  bool Owns(const std::string& path) const;
  // A tool of this job wrote `path` anew: the file with `id` is the job's too.
  void Adopt(const std::string& path, const platform::FileId& id);
  // The output is complete: the user's file now, never removed by the job.
  void Complete(const std::string& path);
  // Removes `path` when it is still the job's, and forgets the claim.
  void Release(const std::string& path);
  void ReleaseAll();

 private:
  struct Claimed {
    std::string path;
    std::vector<platform::FileId> ids;  // the empty claim, then what the job's tools wrote
  };
  std::vector<Claimed>::iterator Find(const std::string& path);
  void Save();

  std::string journal_;
  std::string jobName_;
  std::vector<Claimed> claims_;
};

}  // namespace job
