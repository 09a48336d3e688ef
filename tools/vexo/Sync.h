// vexo sync: makes a PC folder and the device's files agree, after printing
// what it will do.
#pragma once

#include "FileClient.h"

#include <string>
#include <vector>

namespace vexo::cli
{

// args: LOCAL_DIR [--to-device|--to-pc|--both] [--dry-run] [--delete]
// [--prefer pc|device|newer], in any order. `baud` (0 = USB) only feeds the
// time estimate; `port` names the device in the record of the last
// synchronisation, kept in the user's data folder. Returns 0 when every
// action succeeded, 1 when one failed or the device could not be listed, 2 for
// a usage error (nothing touched), 3 when conflicts or unticked rows were left.
int runSync(link::FileClient &client, const std::vector<std::string> &args, int baud,
            const std::string &port);

// The same arguments checked without a device: 0 when they are good, else 2
// after a message on stderr.
int checkSyncArgs(const std::vector<std::string> &args);

} // namespace vexo::cli
