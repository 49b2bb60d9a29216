#pragma once
// A temporary home for tests: it holds the documents folder (settings file,
// user data) and the program folder while it lives.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "util/paths.h"

class TTempHome {
public:
    explicit TTempHome(const std::string& kind)
    {
        std::string pattern = "/tmp/catchline-" + kind + "-XXXXXX";
        const char* made = mkdtemp(pattern.data());
        Root = std::string(made ? made : "/tmp") + "/";
        std::filesystem::create_directories(Root + "docs");
        std::filesystem::create_directories(Root + "bin");
        SetDocumentsFolder(Root + "docs");
        SetProgramPathForTesting(Root + "bin/catchline");
    }
    ~TTempHome()
    {
        SetDocumentsFolder("");
        SetProgramPathForTesting("");
        std::error_code ec;
        // Tests may leave read-only folders behind.
        std::filesystem::permissions(Root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        for (auto& p : std::filesystem::recursive_directory_iterator(Root, ec))
            if (p.is_directory())
                std::filesystem::permissions(p.path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(Root, ec);
    }
    TTempHome(const TTempHome&) = delete;
    TTempHome& operator=(const TTempHome&) = delete;
    const std::string& Folder() const { return Root; }
    std::string File(const std::string& name) const { return Root + name; }
    std::string ProgramFolder() const { return Root + "bin/"; }
    std::string UserFolder() const { return Root + "docs/Catchline Rowing/Catchline/"; }

private:
    std::string Root;
};
