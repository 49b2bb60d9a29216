#include "files/file_info.h"

#include <sys/stat.h>

#include "util/date_time.h"
#include "util/paths.h"

TFileInfo FileInfoOf(const std::string& path)
{
    TFileInfo info;
    info.Path = path;
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        info.Size = int64_t(st.st_size);
        info.Date = UnixToDays(st.st_mtime);
    }
    return info;
}

TTrainingHeader ForeignHeader(const TFileInfo& info, uint8_t originalType, uint8_t originalKind)
{
    TTrainingHeader h = DefaultHeader();
    std::string name = ExtractFileName(info.Path);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    h.Title.SetText(name);
    h.OriginalFileName.SetText(info.Path);
    h.DateTime = info.Date;
    h.OriginalDate = info.Date;
    h.OriginalSize = int32_t(info.Size);
    h.OriginalType = originalType;
    h.OriginalKind = originalKind;
    return h;
}
