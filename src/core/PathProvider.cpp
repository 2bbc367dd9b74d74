#include "core/PathProvider.h"

#include "core/ResourcePaths.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
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

Blob getBlobAtPath(const std::string& path) {
    uint64_t size = 0;
    int fd = openRegularFile(path, &size);
    if (fd < 0) return nullptr;
    auto blob = std::make_shared<std::vector<uint8_t>>();
    blob->resize(size_t(size));
    size_t done = 0;
    while (done < blob->size()) {
        ssize_t n = ::read(fd, blob->data() + done, blob->size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    close(fd);
    if (done != blob->size()) {
        // A half-read file is not the file: hand back nothing rather than zeros.
        std::cerr << "getBlobAtPath failed: " << path << std::endl;
        return nullptr;
    }
    return blob;
}

Blob getBlobFromProvider(const PathProvider& provider, const std::string& name) {
    return getBlobAtPath(joinPath(provider.root, name));
}

namespace {

std::pair<std::string, bool> blobToString(const Blob& blob) {
    if (!blob) return {"", false};
    return {std::string(blob->begin(), blob->end()), true};
}

} // namespace

std::pair<std::string, bool> getStringFromProvider(const PathProvider& provider, const std::string& name) {
    return blobToString(getBlobFromProvider(provider, name));
}

std::pair<std::string, bool> getStringAtPath(const std::string& path) {
    return blobToString(getBlobAtPath(path));
}

namespace {

// Opens a new temporary in the target's directory. A name that is taken is only skipped: it
// may be the leftover of a save that was killed in a process which had our process id.
int openTemporary(const std::string& path, std::string& temporary) {
    static std::atomic<uint64_t> counter{0};
    // A short name in the target's directory: a name built on the target's own could pass the
    // file-name length limit when the target's name is near it.
    size_t slash = path.find_last_of('/');
    std::string directory = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
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

std::vector<std::string> findFilesBelow(const std::string& root, const std::string& extension,
                                        const std::function<void(const std::string&, const std::string&)>& unlisted) {
    namespace fs = std::filesystem;
    auto lower = [](std::string text) {
        for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    const std::string wanted = lower(extension);
    std::vector<std::string> found;
    std::vector<fs::path> folders{fs::path(root)};
    while (!folders.empty()) {
        fs::path folder = std::move(folders.back());
        folders.pop_back();
        std::error_code error;
        fs::directory_iterator it(folder, error);
        for (fs::directory_iterator end; !error && it != end; it.increment(error)) {
            std::error_code typeError;
            if (!it->is_symlink(typeError) && it->is_directory(typeError)) {
                folders.push_back(it->path());
                continue;
            }
            if (!it->is_regular_file(typeError)) continue;
            std::string full = it->path().generic_string();
            if (full.size() <= root.size() + 1 || full.size() < wanted.size()) continue;
            if (lower(full.substr(full.size() - wanted.size())) != wanted) continue;
            found.push_back(full.substr(root.size() + 1));
        }
        if (error) unlisted(folder.generic_string(), error.message());
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace hv
