#include "core/PathProvider.h"

#include "core/ResourcePaths.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace hv {

std::shared_ptr<PathProvider> PathProvider::child(const PathProvider& parent, const std::string& name) {
    return std::make_shared<PathProvider>(joinPath(parent.root, name));
}

Blob getBlobAtPath(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    auto blob = std::make_shared<std::vector<uint8_t>>();
    blob->resize(size_t(info.st_size));
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

bool replaceFile(const std::string& path, const std::function<bool(FILE*)>& write) {
    static std::atomic<uint64_t> counter{0};
    // A short name in the target's directory: a name built on the target's own could pass the
    // file-name length limit when the target's name is near it.
    size_t slash = path.find_last_of('/');
    std::string directory = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string temporary = directory + (slash == std::string::npos ? "/" : "") + ".hv-save-" +
                            std::to_string(getpid()) + "-" + std::to_string(counter++);
    // 0666 under the umask, like a plain fopen would create the file.
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        unlink(temporary.c_str());
        return false;
    }
    bool ok = write(file);
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fd) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}

bool writeStringToPath(const std::string& data, const std::string& path) {
    bool ok = replaceFile(path, [&](FILE* file) {
        return data.empty() || std::fwrite(data.data(), data.size(), 1, file) == 1;
    });
    if (!ok) std::cerr << "writeStringToPath() failed to write to " << path << std::endl;
    return ok;
}

} // namespace hv
