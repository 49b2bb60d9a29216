#pragma once
#include <string>

// Detection of an emulation layer or virtual machine. The device interfaces
// consult it: inside one, the USB adapter look-ups answer "" and the port
// lists are not narrowed to USB adapters.

// Name of the environment described by a DMI folder ("/sys/class/dmi/id/" on
// Linux, with the files sys_vendor and product_name): "Parallels", "VirtualPC",
// "VirtualBox" or "" when none of them.
std::string DetectVirtualEnvironmentAt(const std::string& dmiFolder);
// Checks this machine's DMI folder.
std::string DetectVirtualEnvironment();

// The result of the check made once at start-up (made on first use when the
// start-up did not make it).
const std::string& VirtualEnvironment();
bool VirtualEnvironmentFound();
// Replaces the kept result (tests); "" means none found.
void SetVirtualEnvironmentForTesting(const std::string& name);
