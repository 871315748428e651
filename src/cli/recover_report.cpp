#include "cli/recover_report.h"

#include "cli/cli_util.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace dorvak::cli {
namespace {

void entries(std::string& out, const char* key, const std::vector<FileReport>& list, bool reasons) {
    out += ",\n\"";
    out += key;
    out += "\":[";
    const char* sep = "";
    for (const FileReport& r : list) {
        out += sep;
        sep = ",\n ";
        out += "{\"path\":" + jsonString(r.catalogPath) +
               ",\"writtenPath\":" + jsonString(r.writtenPath);
        if (reasons) out += ",\"reason\":" + jsonString(r.reason);
        if (!r.target.empty()) out += ",\"target\":" + jsonString(r.target);
        if (!reasons && r.reason == "folder") out += ",\"folder\":true";
        if (!r.damage.empty()) {
            out += ",\"ranges\":[";
            const char* rsep = "";
            for (const Damage& d : r.damage) {
                out += rsep;
                rsep = ",";
                // An empty range (a carved file cut short) has no last byte.
                out += "{\"first\":" + std::to_string(d.range.begin) + ",\"last\":" +
                       (d.range.begin == d.range.end ? std::string("null")
                                                     : std::to_string(d.range.end - 1)) +
                       ",\"reason\":" + jsonString(damageText(d.kind)) + "}";
            }
            out += "]";
        }
        out += "}";
    }
    out += "]";
}

} // namespace

std::string reportJson(const CopySummary& s, const ReportContext& context) {
    std::string out = "{\"source\":" + jsonString(context.source) +
                      ",\"destination\":" + jsonString(context.destination) +
                      ",\"dryRun\":" + (context.dryRun ? "true" : "false") +
                      ",\"stopped\":" + (s.stopped ? "true" : "false") + ",\"fatalError\":" +
                      (s.fatalError.empty() ? std::string("null") : jsonString(s.fatalError)) +
                      ",\n\"filesWritten\":" + std::to_string(s.filesWritten) +
                      ",\"carvedWritten\":" + std::to_string(s.carvedWritten) +
                      ",\"bytesWritten\":" + std::to_string(s.bytesWritten);
    entries(out, "written", s.written, false);
    entries(out, "renamed", s.renamed, false);
    entries(out, "skipped", s.skipped, true);
    entries(out, "damaged", s.damaged, false);
    entries(out, "failed", s.failed, true);
    if (context.newFolders) {
        out += ",\n\"foldersCreated\":[";
        const char* sep = "";
        for (const std::string& f : *context.newFolders) {
            out += sep + jsonString(f);
            sep = ",\n ";
        }
        out += "]";
    }
    if (context.nodesSkipped != 0) {
        out += ",\n\"nodesSkipped\":" + std::to_string(context.nodesSkipped);
        if (context.normalMode) out += ",\"advice\":" + jsonString(kExtensiveAdvice);
    }
    if (context.nodesFromJournal != 0)
        out += ",\n\"nodesFromJournal\":" + std::to_string(context.nodesFromJournal);
    return out + "}\n";
}

bool writeReport(const std::string& file, const CopySummary& summary, const ReportContext& context,
                 std::string& error) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) out << reportJson(summary, context);
    if (out) out.close();
    if (!out) {
        error = "Cannot write the report " + file + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace dorvak::cli
