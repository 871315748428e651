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
//    "failed":   [{"path": ..., "writtenPath": ..., "reason": ...}, ...],
//    "foldersCreated": [...]}     (dry runs only)
//
// "path" is the entry's path in the volume, "writtenPath" the path below the
// destination it was (or would be) written to.

#include "browse/copy_out.h"

#include <string>
#include <vector>

namespace dorvak::cli {

struct ReportContext {
    std::string source, destination;
    bool dryRun = false;
    const std::vector<std::string>* newFolders = nullptr; // dry runs
};

std::string reportJson(const CopySummary& summary, const ReportContext& context);
// Writes the document to `file`; false with `error` set when it cannot.
bool writeReport(const std::string& file, const CopySummary& summary, const ReportContext& context,
                 std::string& error);

} // namespace dorvak::cli
