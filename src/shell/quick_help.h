#pragma once
// Texts of the Quick Help panel and the markup of the wizard's two help
// buttons (beside the volume identify options and the scan range).

namespace dorvak {

// Quick Help texts while a mount runs and once it has ended.
inline constexpr const char* kMountingHelpText =
    "\r\n                Please Wait, Dorvak is mounting the selected file system. Once this "
    "process is completed, it will show you the                       data.";
inline constexpr const char* kMountedHelpText =
    "\r\n                Please select the file(s) and folder(s) to recover from right pane and "
    "copy using   Recover Selected      or                             Recover All options from "
    "the Recovery Menu.\r\n                You can open a file by Double Clicking it.";

// Added to the last line of a step's Quick Help after a stopped search or
// mount: the panel holds three lines, and the mounted step's text fills them.
inline constexpr const char* kPartialResultHelpText =
    "  The process was stopped: what is shown is partial.";

} // namespace dorvak

namespace dorvak {

// Quick Help texts of the other steps.
inline constexpr const char* kStartHelpText =
    "\r\n                1. Select the disk to recover from left pane.\r\n                2. "
    "Select "
    "the Volume Identify Option.\r\n                3. Click Next Button.";
inline constexpr const char* kSelectPartitionHelpText =
    "\r\n                1. Select the Partition to recover from left pane.\r\n                2. "
    "Click Next Button.";
inline constexpr const char* kSearchingHelpText =
    "\r\n                Please Wait, Dorvak is searching for partitions. Once this process is "
    "completed, it will show you all the Partitions.";
inline constexpr const char* kBackToDiskHelpText =
    "\r\n                1. Select the disk to scan from left pane.\r\n                2. Select "
    "the scan type.\r\n                3. Click Next Button.";
inline constexpr const char* kBackToVolumeHelpText =
    "\r\n                1. Select the volume to recover from left pane or use Search Partitions "
    "for a quick search of missing partitions.\r\n                2. Click Next Button";
inline constexpr const char* kVolumeLayoutHelpText =
    "\r\n                1. Select the Volume to recover from left pane.\r\n                2. "
    "Click Next Button.";

// The help buttons' markup tooltips.
inline constexpr const char* kOptionsTip =
    "<table>\r\n<tr><td><ilst idres=159 cx=32 cy=32 mask width=200% height=200% speed=1></td><td>"
    "<h3>\r\n<h3>Volume Identify Options</h3><br><hr color=green><br><h3>Use Partition "
    "Table</h3>\t<font color=black size=10pt >This is fast mode for recovering "
    "data.<br><t><t><t></font><font color=black size=10pt >          Select this if your volume "
    "table is intact.<br><t><t><t></font><br><h3>Search Partition</h3>\t<font color=black "
    "size=10pt >This is deep and more efficient method  <br><t><t><t>            for recovering "
    "data , select this if  <br><t><t><t>           Partition Table is deleted or volume is "
    "missing.  <br></td></tr></table>";
inline constexpr const char* kRangeTip =
    "<table>\r\n<tr><td><ilst idres=159 cx=32 cy=32 mask width=200% height=200% speed=1></td><td>"
    "<h3>\r\n<h3>Scan Control</h3><br><hr color=green><br><font color=black size=10pt >Here "
    "select the disk area to scan. Don't change <br></font><font color=black size=10pt >if you "
    "want to scan the whole disk.</td></tr></table>";

} // namespace dorvak
