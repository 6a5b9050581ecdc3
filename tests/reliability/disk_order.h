#pragma once
// What a power cut depends on: the order in which files are handed to the
// disk and renamed. While watching, every fsync, fdatasync, rename and
// removal of a file in the watched folder is noted ("sync NAME", "rename FROM
// TO", "remove NAME", names without the folder; "sync ." for the folder
// itself); a sync of the file
// named failSync fails with EIO instead.
#include <string>
#include <vector>

namespace orv::test {

void WatchDiskOrder(const std::string& folder, const std::string& failSync = {});
std::vector<std::string> StopWatchingDiskOrder();

}  // namespace orv::test
