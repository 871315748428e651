#pragma once
// The commands of dorvak-reiserfs-cli; each returns the process exit status.

#include "cli/cli_util.h"

namespace dorvak::cli {

int cmdDisks(Args& args);
int cmdVolumes(Args& args);
int cmdList(Args& args);
int cmdSearch(Args& args);
int cmdFind(Args& args);
int cmdRecover(Args& args);

} // namespace dorvak::cli
