#include "core/PathProvider.h"

#include "core/Failure.h"
#include "core/ResourcePaths.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <filesystem>
#include <fcntl.h>
#include <iostream>
#include <mutex>
#include <new>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

namespace hv {

std::shared_ptr<PathProvider> PathProvider::child(const PathProvider& parent, const std::string& name) {
    return std::make_shared<PathProvider>(joinPath(parent.root, name));
}

int openRegularFile(const std::string& path, uint64_t* size) {
    // Non-blocking, or a FIFO without a writer would hang the open before the check below can
    // refuse it; regular files read the same either way.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info;
    int error = fstat(fd, &info) != 0 ? errno : !S_ISREG(info.st_mode) ? ENODEV : 0;
    if (error != 0) {
        close(fd);
        errno = error;
        return -1;
    }
    if (size) *size = uint64_t(info.st_size);
    return fd;
}

namespace {

// What a name that is no regular file names, as the bake and the readers tell it.
std::string whatItIs(std::filesystem::file_type type, const std::error_code& error);

enum class ReadOutcome { Read, CannotOpen, NotAFile, TooLarge, CutShort };

// The most a process can hold here: the machine's memory and swap, within the process's limits.
uint64_t holdableBytes() {
    uint64_t most = UINT64_MAX;
    struct sysinfo machine;
    if (sysinfo(&machine) == 0) {
        most = (uint64_t(machine.totalram) + uint64_t(machine.totalswap)) * std::max<uint64_t>(1, machine.mem_unit);
    }
    for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        struct rlimit limit;
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
            most = std::min<uint64_t>(most, limit.rlim_cur);
        }
    }
    return most;
}

// Reads the whole regular file at `path` into `bytes`; `size` is the size the file claims.
// A file larger than the process could hold is refused before anything is allocated for it,
// and a failed allocation is refused the same way rather than ending the process.
template <typename Bytes>
ReadOutcome readWhole(const std::string& path, Bytes& bytes, uint64_t& size) {
    int fd = openRegularFile(path, &size);
    if (fd < 0) return errno == ENODEV ? ReadOutcome::NotAFile : ReadOutcome::CannotOpen;
    try {
        if (size >= holdableBytes() || size > bytes.max_size()) throw std::bad_alloc();
        bytes.resize(size_t(size));
    } catch (const std::exception&) {
        close(fd);
        Bytes().swap(bytes);
        errno = EFBIG;
        return ReadOutcome::TooLarge;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::read(fd, reinterpret_cast<char*>(bytes.data()) + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    close(fd);
    // A half-read file is not the file: hand back nothing rather than zeros.
    return done == bytes.size() ? ReadOutcome::Read : ReadOutcome::CutShort;
}

// The engine's readers: missing files and other things than files stay silent, for the
// caller to decide on; a file that could not be read whole gets its line.
template <typename Bytes>
bool readWholeOrSay(const std::string& path, Bytes& bytes) {
    uint64_t size = 0;
    switch (readWhole(path, bytes, size)) {
    case ReadOutcome::Read: return true;
    case ReadOutcome::TooLarge:
        writeFailureLine("getBlobAtPath failed: " + path + ": too large to hold in memory (" + std::to_string(size) +
                         " bytes)");
        errno = EFBIG;
        return false;
    case ReadOutcome::CutShort: writeFailureLine("getBlobAtPath failed: " + path); return false;
    default: return false;
    }
}

} // namespace

Blob getBlobAtPath(const std::string& path) {
    auto blob = std::make_shared<std::vector<uint8_t>>();
    return readWholeOrSay(path, *blob) ? blob : nullptr;
}

Blob getBlobFromProvider(const PathProvider& provider, const std::string& name) {
    return getBlobAtPath(joinPath(provider.root, name));
}

std::pair<std::string, bool> getStringFromProvider(const PathProvider& provider, const std::string& name) {
    return getStringAtPath(joinPath(provider.root, name));
}

std::pair<std::string, bool> getStringAtPath(const std::string& path) {
    std::string text;
    if (!readWholeOrSay(path, text)) return {"", false};
    return {std::move(text), true};
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& why) {
    uint64_t size = 0;
    errno = 0;
    ReadOutcome outcome = readWhole(path, bytes, size);
    int error = errno;
    switch (outcome) {
    case ReadOutcome::Read: return true;
    case ReadOutcome::CannotOpen: why = std::strerror(error); break;
    case ReadOutcome::NotAFile: {
        std::error_code typeError;
        why = whatItIs(std::filesystem::status(path, typeError).type(), typeError);
        break;
    }
    case ReadOutcome::TooLarge: why = "too large to hold in memory (" + std::to_string(size) + " bytes)"; break;
    case ReadOutcome::CutShort:
        why = error != 0 ? std::string("read cut short: ") + std::strerror(error) : "read cut short";
        break;
    }
    bytes.clear();
    errno = error;
    return false;
}

namespace {

// Removes from `directory` (ending in '/') the temporaries of saves killed midway in
// processes that no longer run: such a save never reached its rename, so nothing reads them.
// A process of another user, or our own, may still be writing its own; those stay. Once a
// folder in each process is enough for every leftover of the runs before it.
void removeAbandonedTemporaries(const std::string& directory) {
    static std::mutex lock;
    static std::set<std::string> cleaned;
    static pid_t cleaner = 0; // a forked child has cleaned nothing yet
    {
        std::lock_guard<std::mutex> guard(lock);
        if (cleaner != getpid()) cleaned.clear();
        cleaner = getpid();
        if (!cleaned.insert(directory).second) return;
    }
    DIR* folder = opendir(directory.c_str());
    if (!folder) return;
    const std::string prefix = ".hv-save-";
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        // ".hv-save-" PID "-" N, nothing else.
        const char* digits = "0123456789";
        size_t dash = name.find_first_not_of(digits, prefix.size());
        bool shaped = dash != std::string::npos && name[dash] == '-' && dash > prefix.size() &&
                      dash - prefix.size() <= 9 && dash + 1 < name.size() &&
                      name.find_first_not_of(digits, dash + 1) == std::string::npos;
        if (!shaped) continue;
        const pid_t pid = pid_t(std::stol(name.substr(prefix.size(), dash - prefix.size())));
        if (pid <= 0 || pid == getpid() || kill(pid, 0) == 0 || errno != ESRCH) continue;
        const std::string path = directory + name;
        struct stat info;
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
    }
    closedir(folder);
}

// Opens a new temporary in the target's directory. A name that is taken is only skipped: it
// may be the leftover of a save that was killed in a process which had our process id.
int openTemporary(const std::string& path, std::string& temporary) {
    static std::atomic<uint64_t> counter{0};
    // A short name in the target's directory: a name built on the target's own could pass the
    // file-name length limit when the target's name is near it.
    size_t slash = path.find_last_of('/');
    std::string directory = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    removeAbandonedTemporaries(directory);
    std::string prefix = directory + ".hv-save-" + std::to_string(getpid()) + "-";
    for (int attempt = 0; attempt < 100000; ++attempt) {
        temporary = prefix + std::to_string(counter++);
        // 0666 under the umask, like a plain fopen would create the file.
        int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Makes the rename itself durable; a file system that cannot sync folders is no failure.
bool syncFolderOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return true;
    bool ok = fsync(fd) == 0 || errno == EINVAL;
    int error = errno;
    close(fd);
    errno = error;
    return ok;
}

} // namespace

bool replaceFile(const std::string& path, const std::function<bool(FILE*)>& write) {
    std::string temporary;
    int fd = openTemporary(path, temporary);
    if (fd < 0) return false;
    // The save takes the place of the old file, permission bits included.
    struct stat old;
    bool ok = stat(path.c_str(), &old) != 0 || !S_ISREG(old.st_mode) || fchmod(fd, old.st_mode & 07777) == 0;
    FILE* file = ok ? fdopen(fd, "wb") : nullptr;
    if (!file) {
        int error = errno;
        close(fd);
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    ok = write(file);
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fd) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        int error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    return syncFolderOf(path);
}

bool writeStringToPath(const std::string& data, const std::string& path) {
    bool ok = replaceFile(path, [&](FILE* file) {
        return data.empty() || std::fwrite(data.data(), data.size(), 1, file) == 1;
    });
    if (!ok) std::cerr << "writeStringToPath() failed to write to " << path << std::endl;
    return ok;
}

namespace {

std::string whatItIs(std::filesystem::file_type type, const std::error_code& error) {
    namespace fs = std::filesystem;
    switch (type) {
    case fs::file_type::directory: return "not a file but a directory";
    case fs::file_type::fifo: return "not a file but a FIFO";
    case fs::file_type::socket: return "not a file but a socket";
    case fs::file_type::block:
    case fs::file_type::character: return "not a file but a device";
    case fs::file_type::not_found: return "a link that leads nowhere";
    default: return error ? "cannot be read: " + error.message() : "not a regular file";
    }
}

} // namespace

std::vector<std::string> findFilesBelow(const std::string& root, const std::string& extension,
                                        const std::function<void(const std::string&, const std::string&)>& unlisted,
                                        const std::function<void(const std::string&, const std::string&)>& notAFile) {
    namespace fs = std::filesystem;
    auto lower = [](std::string text) {
        for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    const std::string wanted = lower(extension);
    std::vector<std::string> found;
    // Each folder with its path below the root, built from the names met on the way down: the
    // root may be spelled with a trailing '/', "./" or "//", which the listed paths do not keep.
    std::vector<std::pair<fs::path, std::string>> folders{{fs::path(root), ""}};
    while (!folders.empty()) {
        auto [folder, below] = std::move(folders.back());
        folders.pop_back();
        std::error_code error;
        fs::directory_iterator it(folder, error);
        for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
            std::error_code typeError;
            std::string name = it->path().filename().string();
            std::string relative = below.empty() ? name : below + "/" + name;
            bool named = name.size() >= wanted.size() && lower(name.substr(name.size() - wanted.size())) == wanted;
            if (!it->is_symlink(typeError) && it->is_directory(typeError)) {
                folders.emplace_back(it->path(), relative);
            } else if (it->is_regular_file(typeError)) {
                if (named) found.push_back(relative);
                continue;
            }
            // The engine would look for it by this name and fail: say so now.
            std::error_code statusError;
            if (named) notAFile(relative, whatItIs(it->status(statusError).type(), statusError));
        }
        if (error) unlisted(folder.generic_string(), error.message());
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace hv
