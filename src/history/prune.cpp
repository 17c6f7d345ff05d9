// SPDX-License-Identifier: GPL-3.0-or-later
// Pruning backups: ranking a page's backups, newest first, and compacting the journal.
#include "history/prune.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <map>
#include <set>
#include <utility>

#include "publish/sitemap.h"
#include "scan/config_loader.h"
#include "scan/site_config.h"
#include "update/backup_name.h"
#include "update/journal_reader.h"
#include "update/journal_scope.h"
#include "update/run_lock.h"

namespace splicery {
namespace {

// A name with its "." parts and doubled slashes left out: how one backup is named under a
// page listed as "a.htm" and as "./a.htm".
std::string Plain(std::string_view name) {
  std::string plain;
  for (size_t from = 0; from <= name.size();) {
    const size_t slash = std::min(name.find('/', from), name.size());
    const std::string_view part = name.substr(from, slash - from);
    if (!part.empty() && part != ".") {
      if (!plain.empty()) plain += '/';
      plain += part;
    }
    from = slash + 1;
  }
  return plain;
}

// A page's backups among `files`, found by their name up to the number: not every page
// against every file.
std::map<std::string, std::vector<const BackupFile*>> ByPrefix(
    const std::vector<BackupFile>& files) {
  std::map<std::string, std::vector<const BackupFile*>> by_prefix;
  for (const BackupFile& file : files) {
    const size_t number = file.name.rfind(". ");
    if (number != std::string::npos) by_prefix[file.name.substr(0, number + 2)].push_back(&file);
  }
  return by_prefix;
}

// The journal without the facts about `removed` backups: their page lines and the lines
// saying whether those pages were written. Every other line stays as it was, every run line
// too, so run numbers are never used again.
std::string Compacted(FileSystem& fs, const std::set<std::string>& removed, Status* read) {
  std::string kept(kJournalHeader);
  std::map<std::string, bool, std::less<>> dropped;  // the open run's pages: last line dropped?
  *read = ForEachLine(fs, [&](std::string_view line, uint64_t) {
    std::vector<std::string_view> f;
    for (size_t from = 0, tab;; from = tab + 1) {
      tab = line.find('\t', from);
      f.push_back(line.substr(from, tab == std::string_view::npos ? tab : tab - from));
      if (tab == std::string_view::npos) break;
    }
    const auto path = f.size() >= 3 ? UnescapeField(f[2]) : std::nullopt;
    if (f[0] == "run") dropped.clear();
    // A removed line (a sitemap part the run removed) names its backup as a page line does.
    if (((f[0] == "page" && f.size() == 7) || (f[0] == "removed" && f.size() == 5)) && path) {
      const auto backup = UnescapeField(f[3]);
      dropped[*path] = backup && removed.count(Plain(*backup));
      if (dropped[*path]) return;
    }
    if (f[0] == "written" && path) {
      auto it = dropped.find(*path);
      if (it != dropped.end() && std::exchange(it->second, false)) return;
    }
    kept.append(line).push_back('\n');
  });
  return kept;
}

// Rewritten through a new file put in place, under the run lock, in the journal's group and
// with its mode; owned by whoever prunes. Where that group cannot be given, the journal stays
// as it is: its lines about deleted backups only make an undo say they are missing.
Status CompactJournal(FileSystem& fs, const std::vector<std::string>& removed_names) {
  std::set<std::string> removed;
  for (const std::string& name : removed_names) removed.insert(Plain(name));
  FileInfo info;
  if (Status described = fs.Describe(kJournalFile, &info); !described) {
    return described.code() == Code::kNotFound ? Status() : described;
  }
  Status read;
  const std::string bytes = Compacted(fs, removed, &read);
  if (!read) return read;
  info.facts.owner = info.facts.user;
  std::string temp;
  Status written = fs.WriteTemp(info, bytes, &temp);
  if (written.code() == Code::kOwnerNotGiven) return {};
  if (written) written = fs.Flush();
  if (written) written = fs.PutInPlace(temp, info);
  if (written) written = fs.Flush();
  if (!written && !temp.empty()) (void)fs.RemoveFile(temp);
  return written;
}

}  // namespace

void PruneFacts::Add(const JournalRun& run) {
  RunSummary summary{run.number, run.undoes, run.incomplete, false};
  for (const JournalPage& page : run.pages) {
    summary.replaced = summary.replaced || page.Replaced();
    // Only a page's own backup name counts: the journal is the whole group's to write.
    if (page.created || BackupNumber(Plain(page.path), Plain(page.backup)) == 0) continue;
    if (const auto key = found_(page.backup)) seen_[*key] = {++rank_, run.number};
  }
  runs_.push_back(summary);
}

std::optional<size_t> PruneFacts::Rank(const FileKey& key) const {
  auto it = seen_.find(key);
  return it == seen_.end() ? std::nullopt : std::optional<size_t>(it->second.first);
}

std::set<FileKey> PruneFacts::Keep() const {
  std::set<uint64_t> undone, keep_runs;
  for (const RunSummary& run : runs_) {
    if (run.undoes && !run.incomplete) undone.insert(*run.undoes);
  }
  for (auto it = runs_.rbegin(); it != runs_.rend(); ++it) {
    if (!undone.count(it->number)) {
      keep_runs.insert(it->number);
      break;
    }
  }
  for (auto it = runs_.rbegin(); it != runs_.rend(); ++it) {
    if (!it->undoes && !undone.count(it->number) && it->replaced) {
      keep_runs.insert(it->number);
      break;
    }
  }
  std::set<FileKey> keep;
  for (const auto& [key, seen] : seen_) {
    if (keep_runs.count(seen.second)) keep.insert(key);
  }
  return keep;
}

PrunePlan PlanPrune(const std::vector<std::string>& pages, const std::vector<BackupFile>& files,
                    const PruneFacts& facts, size_t keep, const Identify& identify,
                    int64_t newest_run_ns) {
  std::set<FileKey> keep_always = facts.Keep();
  for (const std::string& page : pages) {
    if (const auto key = identify(page)) keep_always.insert(*key);
  }
  const auto by_prefix = ByPrefix(files);
  PrunePlan plan;
  std::set<FileKey> seen;  // each file counts once, under its first page
  for (const std::string& page : pages) {
    std::vector<const BackupFile*> mine;
    const auto group = by_prefix.find(std::string(kBackupFolder) + "/" + page + ". ");
    if (group == by_prefix.end()) continue;
    for (const BackupFile* file : group->second) {
      if (BackupNumber(page, file->name) != 0 && seen.insert(file->key).second) {
        mine.push_back(file);
      }
    }
    const auto rank_of = [&](const BackupFile* f) { return facts.Rank(f->key).value_or(0); };
    // Newest first: journaled by their place in the journal, then the others by time.
    std::stable_sort(mine.begin(), mine.end(), [&](const BackupFile* a, const BackupFile* b) {
      if (rank_of(a) != rank_of(b)) return rank_of(a) > rank_of(b);
      return a->ctime_ns > b->ctime_ns;
    });
    for (size_t i = 0; i < mine.size(); ++i) {
      const bool recent_unknown = rank_of(mine[i]) == 0 && mine[i]->ctime_ns >= newest_run_ns;
      if (i < keep || keep_always.count(mine[i]->key) || recent_unknown) {
        ++plan.kept;
      } else {
        plan.remove.push_back(mine[i]->name);
      }
    }
  }
  return plan;
}

PrunePlan PlanPrune(const std::vector<std::string>& pages, const std::vector<BackupFile>& files,
                    const std::vector<JournalRun>& runs, size_t keep, const Identify& identify,
                    int64_t newest_run_ns) {
  PruneFacts facts(identify);
  for (const JournalRun& run : runs) facts.Add(run);
  return PlanPrune(pages, files, facts, keep, identify, newest_run_ns);
}

namespace {

// Each folder a page's backups lie in (inside the backup folder, links resolved), listed
// once, its files named as the backups are.
std::vector<BackupFile> FindBackups(FileSystem& fs, const std::vector<std::string>& pages) {
  std::vector<BackupFile> files;
  std::set<std::string> listed;
  std::vector<FolderEntry> entries;
  JournalScope scope(fs);
  for (const std::string& page : pages) {
    const std::optional<std::string> first = BackupName(page, 1);
    if (!first) continue;
    const std::string folder = first->substr(0, first->rfind('/'));
    if (!listed.insert(folder).second || !scope.InBackupFolder(folder)) continue;
    if (!fs.ListFolder(folder, &entries)) continue;  // no backups there yet
    for (const FolderEntry& entry : entries) {
      if (entry.regular) {
        files.push_back({folder + "/" + entry.name, entry.key, entry.ctime_ns});
      }
    }
  }
  return files;
}

// The files a run writes besides the listed pages, which keep their N newest backups too:
// include.htm (a move to UTF-8 writes it), and the feed and the sitemap as splicery.ini names
// them. `config` receives the configuration, where there is one.
Status AddSiteFiles(FileSystem& fs, const std::vector<std::string>& pages,
                    std::vector<std::string>* names, std::optional<SiteConfig>* config) {
  names->push_back(kIncludeSourceFile);
  std::optional<std::string> bytes;
  Status read = ReadSiteConfigFile(fs, &bytes);
  if (read && bytes) read = CheckSiteConfig(*bytes, pages, config);
  if (!read || !*config) return read;
  if ((*config)->feed) names->push_back((*config)->feed->file);
  if ((*config)->sitemap) names->push_back((*config)->sitemap->file);
  return read;
}

// The sitemap's numbered parts that have backups among `files`: a larger site needed them,
// and a run removed them or wrote them again.
void AddSitemapParts(const std::string& sitemap, const std::vector<BackupFile>& files,
                     std::vector<std::string>* names) {
  const std::string first = SitemapPartName(sitemap, 1);
  const std::string prefix = std::string(kBackupFolder) + "/" +
                             first.substr(0, first.size() - std::string_view("1.xml").size());
  std::set<std::string> parts;
  for (const BackupFile& file : files) {
    if (!file.name.starts_with(prefix)) continue;
    const std::string_view rest = std::string_view(file.name).substr(prefix.size());
    const size_t digits = rest.find_first_not_of("0123456789");
    if (digits == 0 || digits > 9 || rest[0] == '0') continue;
    const std::string part =
        SitemapPartName(sitemap, std::stoul(std::string(rest.substr(0, digits))));
    if (BackupNumber(part, file.name) != 0) parts.insert(part);
  }
  names->insert(names->end(), parts.begin(), parts.end());
}

// The plan from the journal, read once from start to end.
Status Plan(FileSystem& fs, const std::vector<std::string>& pages,
            const std::vector<BackupFile>& files, size_t keep, PrunePlan* plan) {
  std::map<std::string, FileKey> found;
  for (const BackupFile& file : files) found.emplace(Plain(file.name), file.key);
  PruneFacts facts([&found](const std::string& name) -> std::optional<FileKey> {
    auto it = found.find(Plain(name));
    return it == found.end() ? std::nullopt : std::optional<FileKey>(it->second);
  });
  std::string newest_time;
  Status read = ForEachRun(fs, [&](JournalRun&& run) {
    facts.Add(run);
    newest_time = std::move(run.time);
  });
  if (!read) return read;
  const int64_t newest_run_ns =
      newest_time.empty() ? INT64_MAX : ParseJournalTime(newest_time).value_or(INT64_MAX);
  const Identify identify = [&fs](const std::string& name) -> std::optional<FileKey> {
    FileId id;
    if (!fs.Identify(name, &id)) return std::nullopt;
    return id.key;
  };
  *plan = PlanPrune(pages, files, facts, keep, identify, newest_run_ns);
  return {};
}

}  // namespace

PruneResult PruneBackups(Form& form, FileSystem& fs, size_t keep, bool dry_run) {
  const auto fail = [&form](const Text& message, Status why) {
    form.SetLabel3(message);
    return PruneResult{false, std::move(why)};
  };
  RunLock lock(fs);
  if (!dry_run) {
    if (Status locked = lock.Take([&form] { form.SetLabel3(msg::WaitingForLock()); }); !locked) {
      return fail(msg::AccessFailed("."), std::move(locked));
    }
  }
  std::vector<std::string> pages;
  if (Status read = ReadPageList(fs, &pages); !read) {
    return fail(msg::ReadFailed(msg::kTargetListShown), std::move(read));
  }
  std::vector<std::string> names = pages;
  std::optional<SiteConfig> config;
  if (Status read = AddSiteFiles(fs, pages, &names, &config); !read) {
    return fail(msg::ReadFailed(msg::kSiteConfigShown), std::move(read));
  }
  std::vector<BackupFile> files = FindBackups(fs, names);
  if (config && config->sitemap) AddSitemapParts(config->sitemap->file, files, &names);
  PrunePlan plan;
  if (Status read = Plan(fs, names, files, keep, &plan); !read) {
    return fail(msg::ReadFailed(kJournalFile), std::move(read));
  }
  for (const std::string& name : plan.remove) {
    form.SetLabel3(msg::BackupDeleted(name, dry_run));
    if (dry_run) continue;
    if (Status removed = fs.RemoveFile(name); !removed) {
      return fail(msg::DeleteFailed(name), std::move(removed));
    }
  }
  if (!dry_run && !plan.remove.empty()) {
    if (Status compacted = CompactJournal(fs, plan.remove); !compacted) {
      return fail(msg::WriteFailed(kJournalFile), std::move(compacted));
    }
  }
  form.SetLabel3(msg::PruneSummary(plan.remove.size(), plan.kept, dry_run));
  return {};
}

}  // namespace splicery
