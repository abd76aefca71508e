#include "framework/keyword_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <map>
#include <mutex>

#include <sys/stat.h>

#include "common/error_codes.h"
#include "common/log.h"
#include "common/number_text.h"
#include "common/paths.h"
#include "common/printf_format.h"
#include "framework/pipeline.h"

namespace orva {

namespace {

// The path with the extension of its file name replaced.
bool ReplaceExtension(const std::string& path, const char* extension, std::string* out) {
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    std::string result = (dot != std::string::npos && dot >= nameStart) ? path.substr(0, dot) : path;
    result += extension;
    if (result.size() >= kPathMax) return false;
    *out = std::move(result);
    return true;
}

bool HasExtension(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    return dot != std::string::npos && dot >= nameStart;
}

thread_local bool gRecordingBaseline = false;

std::mutex& BaselineMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, SettingsBaseline>& Baselines() {
    static std::map<std::string, SettingsBaseline> baselines;
    return baselines;
}

std::map<std::string, SettingsBaseline>& KeysRead() {
    static std::map<std::string, SettingsBaseline> keys;
    return keys;
}

}  // namespace

BaselineRecording::BaselineRecording() : previous_(gRecordingBaseline) { gRecordingBaseline = true; }

BaselineRecording::~BaselineRecording() { gRecordingBaseline = previous_; }

void ForgetSettingsBaselines() {
    std::lock_guard<std::mutex> lock(BaselineMutex());
    Baselines().clear();
    KeysRead().clear();
}

bool FindSettingsBaseline(const std::string& key, SettingsBaseline* baseline) {
    std::lock_guard<std::mutex> lock(BaselineMutex());
    auto it = Baselines().find(key);
    if (it == Baselines().end()) return false;
    *baseline = it->second;
    return true;
}

void SetSettingsBaseline(const std::string& key, SettingsBaseline baseline) {
    std::lock_guard<std::mutex> lock(BaselineMutex());
    Baselines()[key] = std::move(baseline);
}

SettingsBaseline SettingsLastRead(const std::string& key) {
    std::lock_guard<std::mutex> lock(BaselineMutex());
    auto it = KeysRead().find(key);
    return it == KeysRead().end() ? SettingsBaseline() : it->second;
}

std::string SectionNameOf(const ComponentId* id, uint32_t number) {
    char text[48];
    GuidText(text, id ? id->code : nullptr, number);
    return text;
}

bool SplitSourceName(const char* text, std::string* url, bool* hasUrl, std::string* path) {
    url->clear();
    path->clear();
    *hasUrl = false;
    const char* start = nullptr;
    const int32_t length = FindSourceNamePart(text, &start);
    if (length < 1 || start == nullptr) return false;
    std::string name(start, static_cast<size_t>(length));
    std::string marker;
    std::string rest = name;
    if (name[0] == '|') {
        size_t close = name.find('|', 1);
        if (close == std::string::npos || close + 1 >= name.size()) return false;
        marker = name.substr(0, close + 1);
        rest = name.substr(close + 1);
    }
    if (rest[0] != '/') {
        // Not a path: the whole name selects the block.
        if (name.size() > kMaxUrlLength) return false;
        *url = name;
        *hasUrl = true;
        return true;
    }
    bool tagged = text[0] == '<';
    if (!tagged) {
        if (rest.size() >= kPathMax) return false;
        *path = rest;
        return true;
    }
    if (!ReplaceExtension(rest, ".fs", path)) return false;
    if (rest.back() == '/') {
        *url = name;
    } else {
        *url = marker + rest.substr(rest.rfind('/') + 1);
    }
    if (url->size() > kMaxUrlLength) return false;
    *hasUrl = true;
    return true;
}

KeywordFile::KeywordFile() { state_.log = ProgramLogTarget(); }

KeywordFile::~KeywordFile() {
    if (oldStream_ != nullptr) {
        std::fclose(oldStream_);
        oldStream_ = nullptr;
    }
}

bool KeywordFile::SetSectionId(const ComponentId* id, uint32_t number) {
    if (id == nullptr) return false;
    section_ = SectionNameOf(id, number);
    return section_.size() == kSectionNameLength;
}

bool KeywordFile::SetSectionName(const char* text, char lead) {
    if (text == nullptr) return false;
    size_t n = std::strlen(text);
    if (n + (lead ? 1 : 0) > kMaxUrlLength) return false;
    url_.clear();
    if (lead) url_ += lead;
    url_.append(text, n);
    hasUrl_ = true;
    return true;
}

bool KeywordFile::SetSectionNameFromPath(const char* path) {
    if (path == nullptr) path = Path();
    if (path == nullptr) return false;
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    if (*name == '\0') return false;
    return SetSectionName(name, 0);
}

void KeywordFile::ClearUrl() {
    url_.clear();
    hasUrl_ = false;
}

bool KeywordFile::SetTargetPath(const char* path, const char* defaultExtension) {
    if (path == nullptr || *path == '\0') return false;
    std::string full = path;
    if (defaultExtension && *defaultExtension && !HasExtension(full)) full += defaultExtension;
    if (full.size() >= kPathMax) return false;
    return SetPath(full.c_str(), 0);
}

bool KeywordFile::Open(const char* path, void* user, const ComponentId* id, uint32_t number,
                       const char* defaultExtension) {
    if (!SetTargetPath(path, defaultExtension)) return false;
    if (id != nullptr) SetSectionId(id, number);
    user_ = user;
    return LoadTarget();
}

bool KeywordFile::LoadTarget() {
    keysTaken_.clear();
    valuesSeen_.clear();
    bool ok = LoadFile(Path(), kDiskText);
    if (ok) {
        std::lock_guard<std::mutex> lock(BaselineMutex());
        SettingsBaseline& read = KeysRead()[BaselineKey()];
        read.read = keysTaken_;
        read.seen = valuesSeen_;
    }
    // A FIFO, a device or a folder in place of the file is a bad file, not a missing one.
    if (!ok && State() == kErrCantRead) ParseStateLog(&state_, "$bad file: '%s'", Path() ? Path() : "");
    // The rewriter refuses what the reader could not take, so such a file is never
    // replaced by what the object holds without it: say so.
    struct stat info;
    if (!ok && Path() != nullptr && ::stat(Path(), &info) == 0)
        LogPrintf("'%s' could not be read: it is kept as it is and nothing is saved into it", Path());
    return ok;
}

bool KeywordFile::PrepareTarget(const char* text, PropertyComponent* component) {
    if (component == nullptr) return false;
    const char* name = (text != nullptr && *text != '\0') ? text : component->SettingsFileName();
    std::string url, path;
    bool hasUrl = false;
    if (!SplitSourceName(name, &url, &hasUrl, &path) || path.empty()) return false;
    if (hasUrl) {
        url_ = std::move(url);
        hasUrl_ = true;
    } else {
        ClearUrl();
    }
    if (!SetTargetPath(path.c_str(), nullptr)) return false;
    const uint32_t* flags = component->Flags();
    if (!SetSectionId(component->GetClassId(), flags ? *flags : 0)) return false;
    user_ = component;
    component_ = component;
    return true;
}

bool KeywordFile::LoadFrom(const char* text, PropertyComponent* component) {
    if (!PrepareTarget(text, component)) return false;
    return LoadTarget();
}

std::string KeywordFile::BaselineKey() const {
    std::string key = Path() ? Path() : "";
    key += '\0';
    if (hasUrl_) key += url_;
    key += '\0';
    key += section_;
    return key;
}

bool KeywordFile::RenderBlock(bool withBlockHeader, bool newlineFirst, char first, std::string* text) {
    char* data = nullptr;
    size_t size = 0;
    FILE* memory = open_memstream(&data, &size);
    if (memory == nullptr) return false;
    FILE* saved = output_;
    output_ = memory;
    const bool made = WriteBlock(withBlockHeader, newlineFirst, first);
    output_ = saved;
    const bool closed = std::fclose(memory) == 0;
    const bool done = made && closed;
    if (done) text->assign(data, size);
    std::free(data);
    return done;
}

namespace {
WriteFailureReporter gWriteFailureReporter = nullptr;
}  // namespace

void SetWriteFailureReporter(WriteFailureReporter reporter) { gWriteFailureReporter = reporter; }

bool KeywordFile::SaveWithMode(bool keepBackup) {
    if (gRecordingBaseline) {
        // Only noted: what the object holds now is what it read.
        SettingsBaseline baseline;
        if (section_.empty() || !RenderBlock(false, false, '\0', &baseline.text)) return false;
        SettingsBaseline read = SettingsLastRead(BaselineKey());
        baseline.read = std::move(read.read);
        baseline.seen = std::move(read.seen);
        SetSettingsBaseline(BaselineKey(), std::move(baseline));
        return true;
    }
    havePendingBaseline_ = false;
    haveFileValues_ = false;
    fileValues_.clear();
    lineEnd_ = "\n";
    afterLoneCr_ = false;
    uint32_t mode = keepBackup ? kKeywordSaveBackupMode : kKeywordSaveMode;
    errno = 0;
    bool ok = SaveFile(Path(), mode);
    const int error = errno;
    // A failed body leaves its temporary copy open: drop it now, the target stays as it was.
    if (!ok && IsOpen()) Close();
    // Every failure is said, a read-only or full file system too: what the object holds
    // is lost for the next run.
    if (!ok || State() != 2) {
        LogPrintf("WriteFile: error: %s", Path() ? Path() : "");
        if (gWriteFailureReporter != nullptr) gWriteFailureReporter(Path() ? Path() : "", error);
    }
    // What was written is what the object holds from now on.
    if (ok && havePendingBaseline_)
        SetSettingsBaseline(BaselineKey(), SettingsBaseline{std::move(pendingBaseline_), std::move(pendingRead_),
                                                            std::move(pendingSeen_)});
    havePendingBaseline_ = false;
    return ok;
}

bool KeywordFile::SaveTo(const char* text, PropertyComponent* component, bool keepBackup) {
    if (!PrepareTarget(text, component)) {
        LogPrintf("WriteFile: error: %s", text ? text : "");
        return false;
    }
    return SaveWithMode(keepBackup);
}

bool KeywordFile::WriteFile(const char* path, void* user, const ComponentId* id, uint32_t number,
                            const char* defaultExtension, bool keepBackup) {
    if (!SetTargetPath(path, defaultExtension)) {
        LogPrintf("WriteFile: error: %s", path ? path : "");
        return false;
    }
    if (id != nullptr) SetSectionId(id, number);
    user_ = user;
    return SaveWithMode(keepBackup);
}

bool KeywordFile::Load() {
    if (section_.empty()) return false;
    bool ok = ParseLines();
    if (ok && State() == 2) return true;
    LogPrintf("%s", "Parsing[fs]file: error");
    return ok;
}

bool KeywordFile::Save() {
    if (section_.empty() || Output() == nullptr || Path() == nullptr) return false;
    bool notRegular = false;
    FILE* old = OpenRegularFile(Path(), "r", &notRegular);
    bool ok;
    if (old != nullptr) {
        oldStream_ = old;
        ok = RewriteScript();
        std::fclose(old);
        oldStream_ = nullptr;
    } else if (!notRegular && errno == ENOENT) {
        ok = WriteCheckedBlock(Output(), true, false, hasUrl_ ? ' ' : '\0', nullptr);
    } else {
        // The old file exists but cannot be read: writing now would lose it.
        SetState(ErrnoToError());
        return false;
    }
    if (ok && (std::fflush(Output()) != 0 || std::ferror(Output()))) ok = false;
    if (!ok && State() == 2) SetState(-5);
    return ok;
}

bool KeywordFile::HasData() { return DispatchKeyValue(&state_) > 0; }

bool KeywordFile::Print(const char* format, ...) {
    FILE* out = Output();
    if (out == nullptr) return false;
    va_list args;
    va_start(args, format);
    std::string text = VFormatString(format, args);
    va_end(args);
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

}  // namespace orva
