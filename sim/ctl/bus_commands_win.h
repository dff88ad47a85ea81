// The control tool's commands on the bus shared through the state directory; the
// stand-in driver installer runs the install-driver command. Each returns the exit
// code (0, or 1 after printing "simctl: <reason>" to standard error).
#pragma once
#include <string>
#include <vector>

// Puts the named modules (all when none are named) on the bus.
int SimCtlPlug(const std::vector<std::string>& serials);
// Takes them off.
int SimCtlUnplug(const std::vector<std::string>& serials);
// Binds every present module to the driver.
int SimCtlInstallDriver();
// Prints one status line per module, in bus order.
int SimCtlStatus();
