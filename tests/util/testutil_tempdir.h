#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A temporary folder removed at the end of the test.
class TTempDir {
public:
    TTempDir()
    {
        char tmpl[] = "/tmp/catchline-test-XXXXXX";
        Path = mkdtemp(tmpl);
    }
    ~TTempDir() { std::filesystem::remove_all(Path); }
    std::string File(const std::string& name) const { return Path + "/" + name; }
    std::string Path;
};

inline std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}
