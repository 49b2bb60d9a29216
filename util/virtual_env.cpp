#include "util/virtual_env.h"

#include <fstream>
#include <mutex>

#include "util/text.h"

namespace {

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    return Trim(line);
}

bool Contains(const std::string& text, const std::string& part)
{
    return LowerCase(text).find(LowerCase(part)) != std::string::npos;
}

std::mutex gLock;
bool gChecked = false;
std::string gName;

}  // namespace

std::string DetectVirtualEnvironmentAt(const std::string& dmiFolder)
{
    std::string folder = dmiFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    const std::string vendor = ReadFirstLine(folder + "sys_vendor");
    const std::string product = ReadFirstLine(folder + "product_name");
    if (Contains(vendor, "Parallels") || Contains(product, "Parallels")) return "Parallels";
    if (Contains(vendor, "Microsoft") && Contains(product, "Virtual")) return "VirtualPC";
    if (Contains(vendor, "innotek") || Contains(product, "VirtualBox")) return "VirtualBox";
    return "";
}

std::string DetectVirtualEnvironment() { return DetectVirtualEnvironmentAt("/sys/class/dmi/id/"); }

const std::string& VirtualEnvironment()
{
    std::lock_guard<std::mutex> lock(gLock);
    if (!gChecked) {
        gName = DetectVirtualEnvironment();
        gChecked = true;
    }
    return gName;
}

bool VirtualEnvironmentFound() { return !VirtualEnvironment().empty(); }

void SetVirtualEnvironmentForTesting(const std::string& name)
{
    std::lock_guard<std::mutex> lock(gLock);
    gName = name;
    gChecked = true;
}
