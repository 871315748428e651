#pragma once
// Texts of the Quick Help panel that belong to the mount step of the wizard.

namespace dorvak {

// Quick Help texts while a mount runs and once it has ended.
inline constexpr const char* kMountingHelpText =
    "\r\n                Please Wait, Dorvak is mounting the selected file system. Once this "
    "process is completed, it will show you the                       data.";
inline constexpr const char* kMountedHelpText =
    "\r\n                Please select the file(s) and folder(s) to recover from right pane and "
    "copy using   Recover Selected      or                             Recover All options from "
    "the Recovery Menu.\r\n                You can open a file by Double Clicking it.";

} // namespace dorvak
