// SPDX-License-Identifier: GPL-3.0-or-later
// Update run driver.
#include "update/update_run.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "rewrite/block_rewriter.h"
#include "rewrite/page_rewrite.h"
#include "scan/site_config.h"
#include "text/encoding.h"
#include "text/lines.h"
#include "update/backup_name.h"
#include "update/journal.h"
#include "update/own_backups.h"
#include "update/page_batch.h"
#include "update/run_lock.h"
#include "update/site_files_step.h"
#include "update/write_policy.h"

namespace splicery {
namespace {

// The files check mode reaches more than once, with the bytes their last visit would have
// written. Only those files keep their bytes, so memory stays that of one page otherwise.
class Revisits {
 public:
  Revisits(FileSystem& fs, const std::vector<std::string>& pages)
      : ids_(pages.size()), names_(pages) {
    std::map<FileKey, size_t> first;
    for (size_t i = 0; i < pages.size(); ++i) {
      FileId id;
      if (!fs.Identify(pages[i], &id)) continue;  // the read will fail and say why
      if (!id.written_at.empty()) names_[i] = id.written_at;
      auto [it, inserted] = first.try_emplace(id.key, i);
      ids_[i] = it->second;  // the index of the file's first visit
      if (!inserted) bytes_.try_emplace(it->second);
    }
  }
  // The index of page i's first visit; i for a file not reached before.
  size_t First(size_t i) const { return ids_[i].value_or(i); }
  // The pages whose files the check reads: each file at its first visit only.
  std::vector<std::string> FirstVisits(const std::vector<std::string>& pages) const {
    std::vector<std::string> read;
    for (size_t i = 0; i < pages.size(); ++i) {
      if (First(i) == i) read.push_back(pages[i]);
    }
    return read;
  }
  // The name page i's file is written at, links and ".." resolved, so that a patch of it
  // changes what the run changes.
  const std::string& WrittenAt(size_t i) const { return names_[First(i)]; }
  // The simulated bytes of page i's file, or null before the file has been visited.
  const std::string* Bytes(size_t i) const {
    auto it = bytes_.find(First(i));
    return it != bytes_.end() && it->second ? &*it->second : nullptr;
  }
  void Visited(size_t i, std::string_view bytes) {
    if (auto it = bytes_.find(First(i)); it != bytes_.end()) it->second.emplace(bytes);
  }

 private:
  std::vector<std::optional<size_t>> ids_;
  std::vector<std::string> names_;
  std::map<size_t, std::optional<std::string>> bytes_;
};

// A page's part of the run that follows from its bytes alone: the marker check, the rewrite
// and the journal's hashes. The thread reading the pages ahead works it out while the run
// writes the pages before; the run works it out itself where that was not done.
struct PageWork : ReadWork {
  size_t open_line = 0;       // as OpenStartLine; where it is not 0, nothing below is worked out
  std::string_view encoding;  // the page's, for its detail lines
  LineBuffer out;             // the new bytes
  std::vector<std::string> keys;
  std::vector<BlockSpan> spans;
  bool changed = false;
  uint64_t old_hash = 0, new_hash = 0;
  std::vector<uint64_t> block_hashes;  // of each block's generated lines

  size_t Size() const override { return out.bytes().size(); }

  void WorkOut(std::string_view page, BlockRewriter& blocks, bool journaled) {
    open_line = OpenStartLine(page);
    if (open_line != 0) return;
    RewritePage(page, blocks, out, keys, nullptr, &spans);
    const std::string_view now = out.bytes();
    changed = now != page;
    if (!journaled) return;
    encoding = DetectPageEncoding(page).name;
    old_hash = JournalHash(page);
    new_hash = changed ? JournalHash(now) : 0;
    block_hashes.clear();
    for (const BlockSpan& span : spans) {
      block_hashes.push_back(
          JournalHash(now.substr(span.new_generated, span.new_end - span.new_generated)));
    }
  }
};

// PageWork given back by the run, for the reading thread to work into again: its buffers are
// then not allocated in one thread and freed in the other for every page.
class SpareWork {
 public:
  static bool Keeps(const LineBuffer& out) { return out.bytes().capacity() <= size_t{256} << 10; }

  std::unique_ptr<PageWork> Take() {
    const std::lock_guard lock(mutex_);
    if (spare_.empty()) return std::make_unique<PageWork>();
    std::unique_ptr<PageWork> work = std::move(spare_.back());
    spare_.pop_back();
    return work;
  }
  void GiveBack(std::unique_ptr<PageWork> work) {
    // A large page's buffers are not kept: the window of pages read ahead would hold many.
    if (!Keeps(work->out)) return;
    const std::lock_guard lock(mutex_);
    if (spare_.size() < kMaxSpare) spare_.push_back(std::move(work));
  }

 private:
  static constexpr size_t kMaxSpare = 64;
  std::mutex mutex_;
  std::vector<std::unique_ptr<PageWork>> spare_;
};

// One run over List1. Every step answers nullopt to go on, or the result the run stops with.
class Run {
 public:
  Run(Form& form, FileSystem& fs, RunMode mode, const ChangeObserver& on_change)
      : form_(form),
        fs_(fs),
        write_(mode == RunMode::kWrite),
        on_change_(on_change),
        lock_(fs),
        blocks_(form.List2, form.List5, &form.Encodings),
        blocks_ahead_(blocks_.ForAnotherThread()),
        own_(fs),
        backup_names_(fs),
        batch_(fs),
        journal_(fs, JournalTime()) {
    if (!write_) revisits_.emplace(fs, form.List1);
  }

  RunResult Go() {
    form_.Command1Enabled = false;
    if (write_) {
      if (Status locked = lock_.Take([this] { form_.SetLabel3(msg::WaitingForLock()); }); !locked) {
        return Stop(RunOutcome::kAccessFailure, msg::AccessFailed("."), std::move(locked));
      }
    }
    // The pages are read and worked on ahead from here on, the run's preparations meanwhile,
    // until the last page is done.
    std::optional<ReadingAhead> ahead;
    ReadAhead(ahead);
    if (write_) {
      if (std::optional<RunResult> stopped = Begin()) return *stopped;
    } else if (Status journal = ProbeJournal(fs_); !journal) {
      // Where the run would stop at the journal, the check stops before naming any page.
      return Failed(RunOutcome::kAccessFailure, msg::AccessFailed(kJournalFile),
                    std::move(journal));
    }
    // splicery.ini as the scan read it, checked against the page list the run works from.
    std::optional<SiteConfig> site;
    if (Status read = form_.SiteConfigBytes
                          ? CheckSiteConfig(*form_.SiteConfigBytes, form_.List1, &site)
                          : Status();
        !read) {
      return Failed(RunOutcome::kAccessFailure, msg::ReadFailed(msg::kSiteConfigShown),
                    std::move(read));
    }
    site_files_.emplace(std::move(site), form_.List1.size());
    if (std::optional<RunResult> stopped = Pages()) return *stopped;
    ahead.reset();
    // Feed and sitemap after the last page, so that a run stopped at a page writes neither.
    if (std::optional<RunResult> stopped = write_ ? WriteSiteFiles() : CheckSiteFiles()) {
      return *stopped;
    }
    if (write_) {
      form_.SetLabel3(msg::RunSucceeded());
      form_.SetLabel4("");
    } else if (result_.stale_pages == 0) {
      form_.SetLabel3(msg::AllCurrent());
    }
    return result_;
  }

 private:
  // Leftovers of killed runs, and the backup folder.
  std::optional<RunResult> Begin() {
    // An existing backup folder is no failure; any other reason is told if a backup then
    // finds no folder.
    made_ = PrepareFolders(fs_, form_.List1);
    // A journal that cannot be appended to stops the run before any page is backed up.
    if (Status journal = fs_.ProbeWrite(kJournalFile, Intent::kAppend); !journal) {
      return Stop(RunOutcome::kAccessFailure, msg::AccessFailed(kJournalFile), std::move(journal));
    }
    return std::nullopt;
  }

  // The pages read and worked on ahead in a second thread, where the file system can.
  void ReadAhead(std::optional<ReadingAhead>& ahead) {
    (void)form_.List5.items();  // sorted now: the reading thread must find it unchanging
    // The check takes a file it visited before from that visit, so reads it only once.
    const std::vector<std::string> checked =
        write_ ? std::vector<std::string>() : revisits_->FirstVisits(form_.List1);
    ahead.emplace(fs_, write_ ? form_.List1 : checked, write_, [this](std::string_view page) {
      std::unique_ptr<PageWork> work = spare_.Take();
      work->WorkOut(page, blocks_ahead_, write_);
      return work;
    });
  }

  // Each page in turn.
  std::optional<RunResult> Pages() {
    for (size_t i = 0; i < form_.List1.size(); ++i) {
      std::optional<RunResult> stopped = LoadAndRewrite(i);
      if (!stopped) SeenBySitemap(i);
      if (!stopped) stopped = write_ ? Keep(i) : Report(i);
      if (stopped) return stopped;
    }
    return std::nullopt;
  }

  // What the run and its check share: the page read, backed up (or its backup probed), its
  // markers checked and its new bytes in List3.
  std::optional<RunResult> LoadAndRewrite(size_t i) {
    const std::string& page = form_.List1[i];
    if (write_) form_.SetLabel3(msg::PageWorkedOn(page));
    form_.List4.clear();
    form_.List3.Clear();
    if (write_) {
      if (std::optional<RunResult> stopped = Load(page)) return stopped;
    } else if (Status loaded = LoadAndProbe(i); !loaded) {
      return Stop(RunOutcome::kAccessFailure, msg::AccessFailed(page), std::move(loaded));
    }
    const bool worked_ahead = ahead_ != nullptr;
    if (worked_ahead) {
      std::swap(work_, dynamic_cast<PageWork&>(*ahead_));
      spare_.GiveBack(std::unique_ptr<PageWork>(static_cast<PageWork*>(ahead_.release())));
    } else {
      work_.WorkOut(bytes_, blocks_, write_);
    }
    if (const size_t open_line = work_.open_line; open_line != 0) {
      bool backup_failed = false;
      if (Status saved =
              write_ ? WithFreeName(page, &backup_failed, [&] { return BackUp(&backup_failed); })
                     : Status();
          !saved) {
        return AccessStop(page, std::move(saved));
      }
      return Stop(RunOutcome::kMarkerFailure, msg::MarkersUnpaired(page),
                  Status::Failure(Code::kStartWithoutEnd, page + ":" + std::to_string(open_line)));
    }
    std::swap(form_.List3, work_.out);
    std::swap(form_.List4, work_.keys);
    // The last page's new bytes are not kept for the next where the next come worked out: a
    // large page's would only add to the memory of the pages in the reading thread's hands.
    if (worked_ahead && !SpareWork::Keeps(work_.out)) work_.out = LineBuffer();
    return std::nullopt;
  }

  // The page is read once, and its backup made from exactly those bytes (by the batch, or by
  // BackUp): the marker check and the rewrite work on what is backed up.
  std::optional<RunResult> Load(const std::string& page) {
    Status read = fs_.ReadPage(page, &bytes_, &info_);
    if (read && batch_.Holds(info_)) {
      // Reached before in this batch: it must see that rewrite.
      if (std::optional<RunResult> stopped = Commit()) return stopped;
      read = fs_.ReadPage(page, &bytes_, &info_);
    }
    ahead_ = fs_.TakeWork();  // on exactly the bytes just read, if done
    if (read) own_.Count(page, &info_);
    if (read) read = backup_names_.Find(page, &backup_);
    if (!read) return AccessStop(page, std::move(read));
    return std::nullopt;
  }

  // Where the backup folder could not be made, that is the reason a page finds no backup name.
  RunResult AccessStop(const std::string& page, Status why) {
    if (why.code() == Code::kNotFound && !made_ && made_.code() != Code::kExists) why = made_;
    return Stop(RunOutcome::kAccessFailure, msg::AccessFailed(page), std::move(why));
  }

  // The journal is opened once the first backup exists: a backup folder that cannot be used
  // stops the run at the first page as it always has. A page just added to the batch is then
  // given up first: it must not be replaced without its journal line.
  std::optional<RunResult> OpenJournal(bool drop_last) {
    if (journal_.is_open()) return std::nullopt;
    if (Status opened = journal_.Open(); !opened) {
      if (drop_last) batch_.DropLast();
      return Stop(RunOutcome::kAccessFailure, msg::AccessFailed(kJournalFile), std::move(opened));
    }
    return std::nullopt;
  }

  // The check meets every failure the copy would, in the same order: page, backup name, new
  // copy. A file reached before starts from the bytes its earlier visit would have written.
  Status LoadAndProbe(size_t i) {
    const std::string& page = form_.List1[i];
    Status read;
    if (const std::string* simulated = revisits_->Bytes(i)) {
      bytes_ = *simulated;
      ahead_.reset();
    } else {
      read = fs_.ReadFile(page, &bytes_);
      ahead_ = fs_.TakeWork();
    }
    if (read) read = FindFreeBackupName(fs_, page, &backup_);
    if (read) read = ProbeBackupCopy(fs_, backup_);
    return read;
  }

  // The writing run: the page joins the batch where it changed, and the journal in any case.
  // Its lines and "written" are shown once its backup exists, as before a copy was made first.
  std::optional<RunResult> Keep(size_t i) {
    const std::string& page = form_.List1[i];
    const std::string& new_bytes = form_.List3.bytes();
    const bool changed = work_.changed;
    // Unchanged bytes are not written, so the page keeps its modification time; their backup
    // is a copy. A page the batch refuses is not journaled: it keeps its bytes.
    bool backup_failed = false;
    Status kept = WithFreeName(page, &backup_failed, [&] {
      return changed ? batch_.AddHeldLater(page, info_, bytes_, new_bytes, backup_, own_.names(),
                                           &backup_failed)
                     : BackUp(&backup_failed);
    });
    if (backup_failed) return AccessStop(page, std::move(kept));
    // Only a rename parts the page from backups a killed run linked; else they become copies.
    if (form_.WantsEachPageLine()) {
      ForEachShownLine(bytes_, work_.spans, [this](std::string_view line) {
        form_.SetLabel4(line, TextKind::kPageLine, work_.encoding);
      });
    } else if (const std::optional<std::string_view> last = LastShownLine(bytes_, work_.spans)) {
      form_.SetLabel4(*last, TextKind::kPageLine, work_.encoding);
    }
    form_.SetLabel3(msg::PageWritten(page));
    if (!kept) return Stop(RunOutcome::kWriteFailure, msg::WriteFailed(page), std::move(kept));
    JournalPage entry = JournalEntry(page, changed);
    // The batch keeps the bytes read of a linked page without a copy, now they are shown.
    if (changed) batch_.Hold(&bytes_);
    if (std::optional<RunResult> stopped = OpenJournal(changed)) return stopped;
    journal_.Add(std::move(entry));
    if (changed && batch_.Full()) return Commit();
    return std::nullopt;
  }

  // A free name from the run's listing alone may be taken after all (by a file made since, or
  // in a folder that does not tell letter case apart): the backup then goes to the next one.
  // A name the search tested stays its answer, as in the check.
  template <typename Make>
  Status WithFreeName(const std::string& page, bool* failed, const Make& make) {
    for (;;) {
      Status made = make();
      if (!*failed || made.error() != EEXIST || !backup_names_.LastUntested()) return made;
      const std::string taken = backup_;
      if (!backup_names_.Find(page, &backup_) || backup_ == taken) return made;
    }
  }

  // A page that is not replaced by rename gets a copy of the bytes read as its backup. Where
  // it still shares its file with backups a killed run linked, those become copies too.
  Status BackUp(bool* failed) {
    Status saved = BackUpByCopy(fs_, info_, bytes_, backup_, own_.names());
    *failed = !saved;
    return saved;
  }

  JournalPage JournalEntry(const std::string& page, bool changed) const {
    JournalPage entry{page, backup_, work_.old_hash, {}, work_.block_hashes};
    if (changed) entry.new_hash = work_.new_hash;
    return entry;
  }

  // The check: a page that would change is named, and must be one the run may write.
  std::optional<RunResult> Report(size_t i) {
    const std::string& page = form_.List1[i];
    const std::string& new_bytes = form_.List3.bytes();
    if (work_.changed) {
      if (Status writable = ProbeReplace(fs_, page, own_); !writable) {
        return Stop(RunOutcome::kWriteFailure, msg::WriteFailed(page), std::move(writable));
      }
      ++result_.stale_pages;
      form_.SetLabel3(msg::PageStale(page));
      if (on_change_) on_change_({revisits_->WrittenAt(i), bytes_, new_bytes, work_.spans});
    }
    revisits_->Visited(i, new_bytes);
    return std::nullopt;
  }

  // The page as the run leaves it, for the sitemap.
  void SeenBySitemap(size_t i) {
    if (!site_files_->wants_pages()) return;
    FileId id;
    const FileKey* key = write_                                   ? &info_.key
                         : fs_.Identify(form_.List1[i], &id).ok() ? &id.key
                                                                  : nullptr;
    site_files_->AddPage(form_.List1[i], key, form_.List3.bytes());
  }

  // The pages first; then each file whose bytes change, backed up and journaled like a page,
  // and the sitemap parts no longer needed.
  std::optional<RunResult> WriteSiteFiles() {
    if (std::optional<RunResult> stopped = Commit()) return stopped;
    const std::vector<SitemapFile> files = site_files_->Build(form_.Stands, &form_.Encodings);
    for (const SitemapFile& file : files) {
      if (std::optional<RunResult> stopped = OpenJournal()) return stopped;
      bool changed = false;
      if (Status written = WriteSiteFile(fs_, file, batch_, journal_, &changed); !written) {
        return Stop(RunOutcome::kWriteFailure, msg::WriteFailed(file.path),
                    written.About(file.path));
      }
      if (changed) form_.SetLabel3(msg::PageWritten(file.path));
    }
    return RemoveStaleParts(site_files_->StaleParts(fs_, files, form_.List1));
  }

  // Each part is backed up and journaled first; it is removed once its line is durable.
  std::optional<RunResult> RemoveStaleParts(const std::vector<StalePart>& parts) {
    for (const StalePart& part : parts) {
      if (std::optional<RunResult> stopped = OpenJournal()) return stopped;
      if (Status saved = BackUpStalePart(fs_, part, journal_); !saved) {
        return Stop(RunOutcome::kWriteFailure, msg::WriteFailed(part.path), saved.About(part.path));
      }
    }
    if (std::optional<RunResult> stopped = Commit()) return stopped;
    for (const StalePart& part : parts) {
      form_.SetLabel3(msg::FileRemoved(part.path));
      if (Status removed = fs_.RemoveFile(part.path); !removed) {
        return Failed(RunOutcome::kWriteFailure, msg::DeleteFailed(part.path),
                      removed.About(part.path));
      }
    }
    if (!parts.empty()) (void)fs_.Flush();
    return std::nullopt;
  }

  std::optional<RunResult> OpenJournal() {
    if (journal_.is_open()) return std::nullopt;
    if (Status opened = journal_.Open(); !opened) {
      return Failed(RunOutcome::kAccessFailure, msg::AccessFailed(kJournalFile), std::move(opened));
    }
    return std::nullopt;
  }

  // The check names each file that would change or go, and shows its diff.
  std::optional<RunResult> CheckSiteFiles() {
    const std::vector<SitemapFile> files = site_files_->Build(form_.Stands, &form_.Encodings);
    for (const SitemapFile& file : files) {
      std::string old;
      bool changed = false;
      if (Status writable = CheckSiteFile(fs_, file, &old, &changed); !writable) {
        return Failed(RunOutcome::kWriteFailure, msg::WriteFailed(file.path),
                      writable.About(file.path));
      }
      if (changed) Stale(file.path, old, file.bytes);
    }
    for (const StalePart& part : site_files_->StaleParts(fs_, files, form_.List1)) {
      if (Status removable = CheckStalePart(fs_, part); !removable) {
        return Failed(RunOutcome::kWriteFailure, msg::DeleteFailed(part.path),
                      removable.About(part.path));
      }
      Stale(part.path, part.bytes, {});
    }
    return std::nullopt;
  }

  void Stale(const std::string& path, std::string_view old, std::string_view now) {
    ++result_.stale_pages;
    form_.SetLabel3(msg::PageStale(path));
    const std::vector<BlockSpan> whole = {{0, old.size(), 0, now.size(), 0}};
    if (on_change_) on_change_({path, old, now, whole});
  }

  // Pages are put in place in batches. The journal's lines of a batch go to the disk with it,
  // before any of its pages is replaced.
  std::optional<RunResult> Commit() {
    bool wrote = false;
    if (Status journaled = journal_.Write(&wrote); !journaled) {
      return Failed(RunOutcome::kAccessFailure, msg::AccessFailed(kJournalFile),
                    std::move(journaled));
    }
    // A batch without pages makes no barrier of its own; the journal's last lines need one.
    if (wrote && batch_.empty()) (void)fs_.Flush();
    std::string failed;
    const Status committed = CommitJournaled(batch_, journal_, &failed);
    if (!committed) return Failed(RunOutcome::kWriteFailure, msg::WriteFailed(failed), committed);
    return std::nullopt;
  }

  // A stop first commits the pages before it, so they are rewritten and the later ones
  // untouched.
  RunResult Stop(RunOutcome outcome, const Text& message, Status why) {
    if (std::optional<RunResult> stopped = Commit()) return *stopped;
    return Failed(outcome, message, std::move(why));
  }

  RunResult Failed(RunOutcome outcome, const Text& message, Status why) {
    form_.SetLabel3(message);
    return RunResult{outcome, 0, std::move(why)};
  }

  Form& form_;
  FileSystem& fs_;
  const bool write_;
  const ChangeObserver& on_change_;
  RunLock lock_;
  Status made_;  // the backup folder's making
  BlockRewriter blocks_;
  BlockRewriter blocks_ahead_;  // the reading thread's own
  PageWork work_;
  SpareWork spare_;
  OwnBackupLinks own_;
  BackupNames backup_names_;
  PageBatch batch_;
  JournalWriter journal_;
  std::optional<Revisits> revisits_;
  std::optional<SiteFilesStep> site_files_;
  RunResult result_;
  std::string bytes_;  // reused, so a large page is not faulted in anew for every page
  FileInfo info_;
  std::string backup_;
  std::unique_ptr<ReadWork> ahead_;  // the reading thread's work on bytes_, if it did it
};

}  // namespace

RunResult RunUpdate(Form& form, FileSystem& fs, RunMode mode, const ChangeObserver& on_change) {
  return Run(form, fs, mode, on_change).Go();
}

}  // namespace splicery
