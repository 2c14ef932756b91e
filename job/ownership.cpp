#include "job/ownership.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "job/names.h"
#include "job/temp_files.h"
#include "job/text_fields.h"
#include "job/tool_paths.h"
#include "platform/ini_file.h"
#include "platform/read_file.h"
#include "platform/user_folders.h"

namespace job {

namespace {

const char kLockName[] = ".lock";
const char kJournalName[] = ".job";
const char kJournalHeader[] = "kelvarion job 1";
const char kRunnerPrefix[] = "kelvarion-job";
constexpr int kMostSharedFolders = 64;

// The system's words for an error, as they follow a folder's name:
// "/media/card: read-only file system".
std::string Why(int error) {
  std::string text = std::strerror(error);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z' && (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z'))) {
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  }
  return text;
}

}  // namespace

std::string PrivateFolderProblem(const std::string& path) {
  if (platform::MakePrivateFolder(path)) return {};
  const int error = errno;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return path + ": " + Why(error);
  if (S_ISLNK(info.st_mode)) return path + ": is a symbolic link";
  if (!S_ISDIR(info.st_mode)) return path + ": is not a folder";
  if (info.st_uid != ::getuid()) return path + ": belongs to another user";
  return path + ": cannot be closed to other users: " + Why(error);
}

namespace {

struct Journal {
  std::string jobName;
  std::vector<std::pair<std::string, platform::FileId>> claims;
};

Journal ReadJournal(const std::string& path) {
  Journal journal;
  const std::optional<std::string> text = platform::ReadWholeFile(path);
  if (!text) return journal;
  const std::vector<std::string_view> lines = Split(*text, '\n');
  if (lines.empty() || lines.front() != kJournalHeader) return journal;
  for (const std::string_view line : lines) {
    const std::vector<std::string_view> fields = Split(line, '\t');
    if (fields.size() == 2 && fields[0] == "job") {
      journal.jobName = Unescape(fields[1]).value_or("");
    } else if (fields.size() == 4 && fields[0] == "claim") {
      const auto device = Number<std::uint64_t>(fields[1]);
      const auto inode = Number<std::uint64_t>(fields[2]);
      const auto claimed = Unescape(fields[3]);
      if (device && inode && claimed && !claimed->empty()) {
        journal.claims.emplace_back(*claimed, platform::FileId{*device, *inode});
      }
    }
  }
  return journal;
}

// What a program left in a folder it no longer holds: its claims that no
// tool ever wrote, its intermediate files, and for a unique folder every
// file and the folder itself. Returns the job it was running, if any.
std::string ClearFolder(const std::string& folder, bool whole) {
  const std::string journalPath = folder + "/" + kJournalName;
  const Journal journal = ReadJournal(journalPath);
  for (const auto& [claimed, id] : journal.claims) platform::RemoveIfSame(claimed, id);
  if (whole) {
    if (DIR* dir = ::opendir(folder.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string file = folder + "/" + entry->d_name;
        struct stat info {};
        if (::lstat(file.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) ::unlink(file.c_str());
      }
      ::closedir(dir);
    }
    ::rmdir(folder.c_str());
  } else {
    ToolPaths paths;
    paths.PlaceTemp(folder);
    DeleteTempFiles(paths, paths.audioStream);
    for (const std::string& file : ProbeFiles(paths)) ::unlink(file.c_str());
    ::unlink(journalPath.c_str());
  }
  return journal.jobName;
}

// Where runners keep their folders: $TMPDIR when it holds an absolute path.
std::string RunnerParent() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string parent = tmpdir != nullptr && tmpdir[0] == '/' ? tmpdir : "/tmp";
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  return parent;
}

bool IsFolderOfOurs(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

// The entries of `parent` whose names `matches` accepts, as full paths.
template <typename Match>
std::vector<std::string> Entries(const std::string& parent, Match matches) {
  std::vector<std::string> found;
  if (DIR* dir = ::opendir(parent.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      if (matches(std::string_view(entry->d_name))) found.push_back(parent + "/" + entry->d_name);
    }
    ::closedir(dir);
  }
  return found;
}

}  // namespace

JobFolder JobFolder::TakeShared(const std::string& preferred, std::string* reason) {
  for (int n = 1; n <= kMostSharedFolders; ++n) {
    const std::string folder = n == 1 ? preferred : preferred + "-" + std::to_string(n);
    if (const std::string problem = PrivateFolderProblem(folder); !problem.empty()) {
      *reason = problem;
      return {};
    }
    JobFolder taken;
    taken.path_ = folder;
    switch (taken.lock_.TryLock(folder + "/" + kLockName, reason)) {
      case platform::LockFile::Result::Locked:
        ClearFolder(folder, false);
        return taken;
      case platform::LockFile::Result::HeldElsewhere:
        continue;
      case platform::LockFile::Result::Unusable:
        return {};
    }
  }
  *reason = preferred + ": it and every folder numbered beside it are in use";
  return {};
}

JobFolder JobFolder::MakeForRunner(std::string* reason) {
  const std::string parent = RunnerParent();
  const std::string prefix = kRunnerPrefix;
  // Made under a hidden name and locked before it takes the name that
  // others look for, so that no program sweeping for dead folders can take
  // a new folder for one.
  std::string hidden = parent + "/." + prefix + "-XXXXXX";
  if (::mkdtemp(hidden.data()) == nullptr) {
    *reason = parent + ": " + Why(errno);
    return {};
  }
  JobFolder made;
  made.unique_ = true;
  if (made.lock_.TryLock(hidden + "/" + kLockName, reason) != platform::LockFile::Result::Locked) {
    ::unlink((hidden + "/" + kLockName).c_str());
    ::rmdir(hidden.c_str());
    return {};
  }
  made.path_ = parent + "/" + hidden.substr(parent.size() + 2);
  if (::rename(hidden.c_str(), made.path_.c_str()) != 0) {
    *reason = parent + ": " + Why(errno);
    made.lock_.Unlock();
    ::unlink((hidden + "/" + kLockName).c_str());
    ::rmdir(hidden.c_str());
    return {};
  }
  return made;
}

void JobFolder::Release() {
  if (!held()) return;
  if (unique_) {
    ClearFolder(path_, true);
  }
  lock_.Unlock();
}

std::vector<std::string> ClearDeadJobFolders(const std::string& preferred) {
  std::vector<std::pair<std::string, bool>> candidates{{preferred, false}};
  const std::string sharedName = FileNamePart(preferred) + "-";
  for (const std::string& sibling : Entries(FolderPart(preferred), [&](std::string_view name) {
         return name.starts_with(sharedName) && Number<int>(name.substr(sharedName.size())).has_value();
       })) {
    candidates.emplace_back(sibling, false);
  }
  const std::string runnerName = std::string(kRunnerPrefix) + "-";
  for (const std::string& folder : Entries(RunnerParent(), [&](std::string_view name) { return name.starts_with(runnerName); })) {
    candidates.emplace_back(folder, true);
  }

  std::vector<std::string> interrupted;
  for (const auto& [folder, unique] : candidates) {
    // A folder without a lock file is none of a program's; one that is not
    // the user's own is another user's business.
    const std::string lockPath = folder + "/" + kLockName;
    if (!IsFolderOfOurs(folder) || !platform::IdOf(lockPath)) continue;
    platform::LockFile lock;
    if (lock.TryLock(lockPath) != platform::LockFile::Result::Locked) continue;
    if (const std::string job = ClearFolder(folder, unique); !job.empty()) interrupted.push_back(job);
  }
  return interrupted;
}

OutputClaims::OutputClaims(const std::string& folder) : journal_(folder.empty() ? "" : folder + "/" + kJournalName) {}

void OutputClaims::BeginJob(const std::string& jobName) {
  jobName_ = jobName;
  claims_.clear();
  Save();
}

void OutputClaims::EndJob() {
  ReleaseAll();
  jobName_.clear();
  Save();
}

std::string OutputClaims::Claim(const std::string& sourcePath, const std::string& suffix, std::string* reason) {
  const std::string base = WithoutExtension(sourcePath);
  const std::string ext = IsWavSource(sourcePath) ? ".m4a" : ".mp4";
  std::string candidate = base + suffix + ext;
  for (unsigned long n = 1;; ++n) {
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      struct stat info {};
      ::fstat(fd, &info);
      ::close(fd);
      claims_.push_back({candidate, {{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}}});
      Save();
      return candidate;
    }
    // A name taken by a file or a folder is passed over; anything else is
    // the folder refusing new files.
    if (errno != EEXIST && errno != EISDIR) {
      std::string folder = FolderPart(candidate);
      if (folder.size() > 1) folder.pop_back();
      *reason = folder + ": " + Why(errno);
      return {};
    }
    candidate = base + std::to_string(n) + suffix + ext;
  }
}

std::vector<OutputClaims::Claimed>::iterator OutputClaims::Find(const std::string& path) {
  return std::find_if(claims_.begin(), claims_.end(), [&](const Claimed& c) { return c.path == path; });
}

bool OutputClaims::Owns(const std::string& path) const {
  const auto now = platform::IdOf(path);
  return now && std::any_of(claims_.begin(), claims_.end(), [&](const Claimed& c) {
           return c.path == path && std::find(c.ids.begin(), c.ids.end(), *now) != c.ids.end();
         });
}

void OutputClaims::Adopt(const std::string& path, const platform::FileId& id) {
  const auto claim = Find(path);
  if (claim == claims_.end() || std::find(claim->ids.begin(), claim->ids.end(), id) != claim->ids.end()) return;
  claim->ids.push_back(id);
  Save();
}

void OutputClaims::Complete(const std::string& path) {
  const auto claim = Find(path);
  if (claim == claims_.end()) return;
  claims_.erase(claim);
  Save();
}

void OutputClaims::Release(const std::string& path) {
  const auto claim = Find(path);
  if (claim == claims_.end()) return;
  if (const auto now = platform::IdOf(path); now && std::find(claim->ids.begin(), claim->ids.end(), *now) != claim->ids.end()) {
    platform::RemoveIfSame(path, *now);
  }
  claims_.erase(claim);
  Save();
}

void OutputClaims::ReleaseAll() {
  while (!claims_.empty()) Release(claims_.front().path);
}

void OutputClaims::Save() {
  if (journal_.empty()) return;
  if (jobName_.empty() && claims_.empty()) {
    ::unlink(journal_.c_str());
    return;
  }
  std::string text = std::string(kJournalHeader) + "\njob\t" + Escape(jobName_) + "\n";
  for (const Claimed& claim : claims_) {
    for (const platform::FileId& id : claim.ids) {
      text += "claim\t" + std::to_string(id.device) + "\t" + std::to_string(id.inode) + "\t" + Escape(claim.path) + "\n";
    }
  }
  // A journal that cannot be written costs only the clearing after a crash.
  platform::ReplaceFileAtomically(journal_, text);
}

}  // namespace job
