#pragma once
// recover --report FILE: the summary of a copy-out (or of a dry run) as one
// JSON document, for scripts. Names are raw bytes written as list writes them
// (see jsonString).
//
//   {"source": S, "destination": D, "dryRun": false, "stopped": false,
//    "fatalError": null or the reason,
//    "filesWritten": N, "bytesWritten": N,
//    "written":  [{"path": "/A/f", "writtenPath": "/A/f"}, ...],
//    "renamed":  [{"path": ..., "writtenPath": ..., "folder": true?}, ...],
//    "skipped":  [{"path": ..., "writtenPath": ..., "reason": ...}, ...],
//    "damaged":  [{"path": ..., "writtenPath": ...,
//                  "ranges": [{"first": B, "last": B, "reason": ...}]}, ...],
//    "failed":   [{"path": ..., "writtenPath": ..., "reason": ...,
//                  "target": T (a link the destination could not hold)}, ...],
//    "foldersCreated": [...],     (dry runs only)
//    "nodesSkipped": N, "advice": kExtensiveAdvice}  (when the mount skipped
//                                  tree nodes; the advice after a Normal one)
//    "nodesFromJournal": N}  (when unreadable tree nodes were taken from
//                             their copies in the journal)
//
// "path" is the entry's path in the volume, "writtenPath" the path below the
// destination it was (or would be) written to.

#include "browse/copy_out.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dorvak::cli {

// What recover says after a Normal mount that skipped tree nodes.
inline constexpr const char* kExtensiveAdvice =
    "Files may be missing: the Extensive mode (--extensive) reads every block and may find them";

struct ReportContext {
    std::string source, destination;
    bool dryRun = false;
    const std::vector<std::string>* newFolders = nullptr; // dry runs
    std::uint64_t nodesSkipped = 0; // damaged or repeated tree nodes the mount passed over
    bool normalMode = true;
    std::uint64_t nodesFromJournal = 0; // unreadable tree nodes taken from the journal
};

// How list and recover say that the mount used journal copies.
inline constexpr const char* kNodesFromJournalText = "Tree nodes read from the journal: ";

std::string reportJson(const CopySummary& summary, const ReportContext& context);
// Writes the document to `file`; false with `error` set when it cannot.
bool writeReport(const std::string& file, const CopySummary& summary, const ReportContext& context,
                 std::string& error);

} // namespace dorvak::cli
