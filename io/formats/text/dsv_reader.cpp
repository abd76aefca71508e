#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "io/formats/binary/raw_reader.h"
#include "io/formats/text/line_reader.h"
#include "io/formats/text/text_reader.h"
#include "io/input_source.h"
#include "io/service_description.h"
#include "io/stream.h"
#include "common/text.h"

namespace orva {

namespace {


// A size of "Data Format": at least 1 and below 2147483647.
bool ValidSize(long long v) { return v >= 1 && v < 2147483647LL; }

// "Data Format": one or two integers in any base strtoll accepts.
void HandleDataFormat(const char* value, DsvInfo* info) {
    const bool hasWidth = (info->flags & kFlagSizeX) != 0;
    const bool hasHeight = (info->flags & kFlagSizeY) != 0;
    if (hasWidth && hasHeight) return;
    char* end = nullptr;
    errno = 0;
    const long long first = std::strtoll(value, &end, 0);
    if (end == value || errno == ERANGE) return;
    const char* p = end;
    while (IsBlank(*p) || *p == ',' || *p == 'x' || *p == 'X' || *p == '*') ++p;
    long long second = 0;
    bool hasSecond = false;
    if (*p != '\0') {
        errno = 0;
        second = std::strtoll(p, &end, 0);
        hasSecond = end != p && errno != ERANGE;
    }
    if (hasWidth) {
        if (ValidSize(first)) {
            info->sizeY = first;
            info->flags |= kFlagSizeY;
        }
        return;
    }
    if (!ValidSize(first)) return;
    info->sizeX = first;
    info->flags |= kFlagSizeX;
    if (hasSecond && ValidSize(second)) {
        info->sizeY = second;
        info->flags |= kFlagSizeY;
    }
}

std::string FolderOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? std::string(path, static_cast<size_t>(slash - path) + 1) : std::string();
}

}  // namespace

DsvInfo::DsvInfo() {
    tag = MakeFormatTag("DSV");
    sizeZ = 1;
}

bool DsvResolveFileName(const char* value, const std::string& folder, std::string* out) {
    if (value == nullptr || out == nullptr) return false;
    std::string name(value);
    while (!name.empty() && IsBlank(name.back())) name.pop_back();
    if (!name.empty() && (name[0] == '"' || name[0] == '<')) {
        const char close = name[0] == '"' ? '"' : '>';
        if (name.size() < 2 || name.back() != close) return false;
        name = name.substr(1, name.size() - 2);
        if (name.find(close) != std::string::npos) return false;
    }
    for (char& c : name)
        if (c == '\\') c = '/';
    // A drive letter means nothing here: the rest of the path is taken as it stands.
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
        name.erase(0, 2);
    if (name.empty() || name.back() == '/') return false;
    if (name[0] != '/') name = folder + name;
    if (name.size() >= kPathMax) return false;
    *out = name;
    return true;
}

int DsvParseFile(const char* path, DsvInfo* info) {
    if (path == nullptr || info == nullptr) return kErrWrong;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrnoToErrorValue(errno);
    LineReader reader(fd, kDsvLineLimit);
    if (!reader.Ready()) {
        ::close(fd);
        return kErrOutOfMemory;
    }
    const std::string folder = FolderOf(path);
    bool keySeen = false;
    char* line = nullptr;
    size_t length = 0;
    bool tooLong = false;
    for (int lines = 0; reader.Next(&line, &length, &tooLong) == 1;) {
        if (++lines > kDsvMaxLines) break;
        char* p = line;
        while (IsBlank(*p)) ++p;
        if (*p == '\0' && !tooLong && static_cast<size_t>(p - line) == length) continue;
        // Only printable text and TAB up to the line end; a line cut by the buffer is not
        // a line of a descriptor either.
        bool bad = tooLong;
        for (const char* q = p; !bad && q < line + length; ++q)
            if (static_cast<unsigned char>(*q) < 32 && *q != '\t') bad = true;
        if (bad) {
            LogPrintf("$bad dsv file: \"%s\"", path);
            break;
        }
        char* colon = std::strchr(p, ':');
        if (colon == nullptr) {
            if (!keySeen) break;
            continue;
        }
        keySeen = true;
        char* keyEnd = colon;
        while (keyEnd > p && IsBlank(keyEnd[-1])) --keyEnd;
        *keyEnd = '\0';
        char* value = colon + 1;
        while (IsBlank(*value)) ++value;
        if (*value == '\0') continue;
        if (strcasecmp(p, "File Name") == 0) {
            ++info->recognised;
            std::string resolved;
            if (info->dataFile.empty() && DsvResolveFileName(value, folder, &resolved))
                info->dataFile = resolved;
        } else if (strcasecmp(p, "Data Format") == 0) {
            ++info->recognised;
            HandleDataFormat(value, info);
        } else {
            info->extra.emplace_back(p, value);
        }
    }
    ::close(fd);
    return kResultReady;
}

int DsvOpen(InputSource* source) {
    if (source == nullptr || source->request == nullptr || source->name == nullptr ||
        source->name->Length() <= source->name->NameOffset() || source->CurrentFileName() == nullptr)
        return kErrWrong;
    FormatInfoRef<DsvInfo> info(DsvInfo::Create());
    if (!info) return kErrOutOfMemory;
    int r;
    try {
        r = DsvParseFile(source->name->Text(), info.get());
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    }
    if (r < kResultReady) return r;
    if (info->dataFile.empty()) return info->recognised > 0 ? kResultEmpty : kErrWrong;
    // Only a regular file: a pipe or a device named there could block or never end.
    struct stat st;
    if (::stat(info->dataFile.c_str(), &st) != 0) return ErrnoToErrorValue(errno);
    if (!S_ISREG(st.st_mode)) return kErrWrong;
    r = StreamOpen(&source->stream, kStreamBinary, info->dataFile.c_str());
    if (r < kResultReady) return r;
    return RawOpen(source, info.get(), 0, nullptr, false);
}

}  // namespace orva
