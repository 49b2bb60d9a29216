#include "util/version.h"

#include <cstdio>
#include <cstdlib>

#include "version_info.h"

std::string VersionString(const std::string& key)
{
    if (key == "CompanyName") return CATCHLINE_COMPANY_NAME;
    if (key == "ProductName") return CATCHLINE_PRODUCT_NAME;
    if (key == "FileDescription") return CATCHLINE_FILE_DESCRIPTION;
    if (key == "FileVersion") return CATCHLINE_FILE_VERSION;
    if (key == "LegalCopyright") return CATCHLINE_LEGAL_COPYRIGHT;
    if (key == "Website") return CATCHLINE_WEBSITE;
    if (key == "Email") return CATCHLINE_EMAIL;
    return {};
}

uint32_t PackVersion(const std::string& text)
{
    uint32_t result = 0;
    size_t pos = 0;
    for (int part = 0; part < 4; ++part) {
        size_t end = text.find('.', pos);
        if (part < 3 && end == std::string::npos) return 0;
        std::string item = text.substr(pos, part < 3 ? end - pos : std::string::npos);
        if (item.empty() || item.size() > 10) return 0;
        for (char c : item)
            if (c < '0' || c > '9') return 0;
        unsigned long v = std::strtoul(item.c_str(), nullptr, 10);
        result = (result << 8) | (static_cast<uint32_t>(v) & 0xFF);
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    return result;
}

uint32_t ProgramVersion() { return PackVersion(VersionString("FileVersion")); }

std::string VersionText(uint32_t version)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", int(version >> 24), int((version >> 16) & 0xFF),
                  int((version >> 8) & 0xFF), int(version & 0xFF));
    return buf;
}

std::string ProductTitle()
{
    std::string name = VersionString("ProductName");
    return name.empty() ? std::string() : name + " " + VersionString("FileVersion");
}

std::string DescriptionTitle()
{
    std::string name = VersionString("FileDescription");
    return name.empty() ? std::string() : name + " " + VersionString("FileVersion");
}

std::string VersionBoxText(const std::string& extra)
{
    std::string text = ProductTitle();
    std::string copyright = VersionString("LegalCopyright");
    std::string website = VersionString("Website");
    std::string email = VersionString("Email");
    if (copyright.size() > 2) text += "\r" + copyright;
    if (website.size() > 2) text += "\rWebsite : " + website;
    if (email.size() > 2) text += "\rEmail : " + email;
    if (!extra.empty()) text += "\r\r" + extra;
    return text;
}
