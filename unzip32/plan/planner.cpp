#include "plan/planner.h"

#include "methods/decoder.h"
#include "plan/entry_path.h"
#include "read/zip_format.h"
#include "unzip32.h"

namespace nocunzip::unzip32 {
namespace {

void Refuse(PlannedEntry& planned, PlannedEntry::Action action, int32_t code, std::string why) {
  planned.action = action;
  planned.code = code;
  planned.why = std::move(why);
}

}  // namespace

Planner::Planner(ByteReader& archive, const ArchiveEnd& end, const std::vector<bool>& wanted,
                 const ExtractOptions& options)
    : end_(end),
      wanted_(wanted),
      options_(options),
      writes_files_(!options.test && !options.write_to_stdout),
      directory_(archive, end),
      headers_(archive) {}

bool Planner::Next(PlannedEntry* planned) {
  *planned = PlannedEntry();
  Entry& entry = planned->entry;
  while (directory_.Next(&entry, &problem_) == CentralDirectory::Step::kEntry) {
    if (entry.index >= wanted_.size() || !wanted_[entry.index]) continue;
    if (!FindEntryData(headers_, entry, end_.directory_offset, &planned->data, &problem_)) {
      Refuse(*planned, PlannedEntry::kFail, UZ_ERR_ENTRY, problem_);
    } else {
      Decide(*planned);
    }
    return true;
  }
  return false;
}

bool Planner::MapPath(PlannedEntry& planned) const {
  PathRules rules;
  rules.honor_directories = options_.honor_directories;
  rules.space_to_underscore = options_.space_to_underscore;
  EntryPath path = MapEntryName(planned.entry.name, rules);
  if (path.problem == NameProblem::kTargetItself) return false;  // the target exists already
  if (path.problem != NameProblem::kNone) {
    Refuse(planned, PlannedEntry::kFail, UZ_ERR_ENTRY, "refused: " + DescribeRefusal(path));
    return false;
  }
  planned.path = std::move(path.components);
  return true;
}

void Planner::Decide(PlannedEntry& planned) const {
  const Entry& entry = planned.entry;
  if (entry.is_link && writes_files_) {
    Refuse(planned, PlannedEntry::kWarn, UZ_WARNING, "is a symbolic link; links are not made");
    return;
  }
  // Other readers make a device or socket of it, or write its bytes: neither is made.
  if (entry.is_special && writes_files_) {
    Refuse(planned, PlannedEntry::kWarn, UZ_WARNING,
           "is a special file (a device, a socket or a file type of no meaning); only files "
           "and directories are made");
    return;
  }
  if (entry.name_not_utf8) {
    Refuse(planned, PlannedEntry::kFail, UZ_ERR_ENTRY,
           "refused: the name is flagged as UTF-8 but is not, so every reader spells it "
           "otherwise");
    return;
  }
  if (!entry.is_directory && !IsMethodSupported(entry.method)) {
    Refuse(planned, PlannedEntry::kFail, UZ_ERR_UNSUPPORTED,
           "compression method " + MethodName(entry.method) + " is not supported");
    return;
  }
  if (writes_files_ && !MapPath(planned)) return;
  if (entry.is_directory) {
    if (writes_files_ && options_.honor_directories && !planned.path.empty()) {
      planned.action = PlannedEntry::kMakeDirectory;
    }
    return;
  }
  planned.action = writes_files_   ? PlannedEntry::kWriteFile
                   : options_.test ? PlannedEntry::kTest
                                   : PlannedEntry::kPrint;
}

}  // namespace nocunzip::unzip32
