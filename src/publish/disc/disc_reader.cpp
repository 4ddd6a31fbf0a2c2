// A disc image read back through libisofs's reader: the Joliet tree, as Windows prefers it.
#include "publish/disc/disc_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs/libisofs.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/posix/shell.h"
#include "publish/disc/tree.h"

namespace publish {

namespace {

using detail::Entry;
using detail::EntryKind;
using detail::Folder;
using detail::Tree;

constexpr size_t kChunkBytes = 1 << 20;
constexpr uint64_t kFirstDescriptor = 16 * kSectorBytes;

std::string LibraryText(int code) {
    std::string text = iso_error_to_msg(code);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

} // namespace

// What can be told from the file's own bytes, before libisofs sees it: its error messages name no file and
// say little about an image that was merely cut short.
void CheckImageFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw Error("The disc image " + path + " does not exist.");
        throw Error(detail::SystemErrorText("Cannot read the disc image", path, errno));
    }
    struct stat info {};
    unsigned char pvd[2048] = {};
    ssize_t got = -1;
    if (fstat(fd, &info) == 0) got = ::pread(fd, pvd, sizeof pvd, static_cast<off_t>(kFirstDescriptor));
    int err = errno;
    ::close(fd);
    if (got < 0) throw Error(detail::SystemErrorText("Cannot read the disc image", path, err));
    if (!S_ISREG(info.st_mode)) throw Error("The disc image " + path + " is not a file.");
    if (got < 6 || std::memcmp(pvd + 1, "CD001", 5) != 0)
        throw Error("The file " + path + " is not an ISO 9660 disc image.");
    if (pvd[0] != 1 || got < static_cast<ssize_t>(sizeof pvd))
        throw Error("The disc image " + path + " is damaged: its first volume descriptor is not a primary one.");
    // The volume's size in sectors, stored little-endian first and then big-endian.
    uint64_t sectors = uint64_t(pvd[80]) | uint64_t(pvd[81]) << 8 | uint64_t(pvd[82]) << 16 | uint64_t(pvd[83]) << 24;
    uint64_t bytes = static_cast<uint64_t>(info.st_size);
    if (bytes < sectors * kSectorBytes)
        throw Error("The disc image " + path + " is cut short: it holds " + std::to_string(bytes) + " bytes of the " +
                    std::to_string(sectors * kSectorBytes) + " its volume needs.");
}

namespace {

uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Walks the folder records of every tree the volume descriptors name (the primary one and Joliet's),
// before libisofs reads them: a folder that holds itself or one above it, or a tree of absurd size, is
// a damaged disc that no reader can list, and libisofs would follow it round without end. What else is
// wrong with a tree (a folder beyond the end, a record cut short) is left for libisofs to name.
void CheckFolderTrees(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(detail::SystemErrorText("Cannot read the disc image", path, errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (fstat(fd, &info) != 0) throw Error(detail::SystemErrorText("Cannot read the disc image", path, errno));
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    auto damaged = [&](const std::string& why) {
        return Error("The disc image " + path + " is damaged: " + why + ".");
    };
    auto read = [&](uint64_t offset, uint64_t length, std::vector<unsigned char>& out) {
        if (offset > size || length > size - offset) return false;
        out.resize(static_cast<size_t>(length));
        size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw Error(detail::SystemErrorText("Cannot read the disc image", path, n < 0 ? errno : EIO));
            done += static_cast<size_t>(n);
        }
        return true;
    };
    // More folders than sectors cannot be: each takes at least one.
    const uint64_t folderLimit = size / kSectorBytes;
    std::vector<unsigned char> descriptor, records;
    // Every descriptor up to the set's terminator counts, whether or not its standard identifier
    // survived: libisofs reads a tree from a descriptor whose identifier is damaged.
    for (uint64_t index = 0; index < 64; ++index) {
        if (!read(kFirstDescriptor + index * kSectorBytes, kSectorBytes, descriptor)) break;
        if (descriptor[0] == 255 && std::memcmp(descriptor.data() + 1, "CD001", 5) == 0) break;
        if (descriptor[0] != 1 && descriptor[0] != 2) continue;
        const unsigned char* root = descriptor.data() + 156;
        std::unordered_map<uint32_t, bool> seen{{Le32(root + 2), true}};
        std::deque<std::pair<uint32_t, uint32_t>> pending{{Le32(root + 2), Le32(root + 10)}};
        while (!pending.empty()) {
            const auto [extent, length] = pending.front();
            pending.pop_front();
            if (!read(uint64_t(extent) * kSectorBytes, length, records)) continue;
            size_t i = 0;
            while (i < records.size()) {
                const size_t recordLength = records[i];
                if (recordLength == 0) {
                    i = (i / kSectorBytes + 1) * kSectorBytes; // records never cross a sector; the rest is padding
                    continue;
                }
                if (recordLength < 34 || i + recordLength > records.size()) break;
                const unsigned char* r = records.data() + i;
                const bool selfOrParent = r[32] == 1 && (r[33] == 0 || r[33] == 1);
                if ((r[25] & 0x02) && !selfOrParent) {
                    if (!seen.emplace(Le32(r + 2), true).second)
                        throw damaged("a folder holds itself or a folder it lies in");
                    if (seen.size() > folderLimit) throw damaged("it names more folders than it has room for");
                    pending.emplace_back(Le32(r + 2), Le32(r + 10));
                }
                i += recordLength;
            }
        }
    }
}

struct ImageDeleter {
    void operator()(IsoImage* image) const { iso_image_unref(image); }
};

// The image loaded with its Joliet tree; the file stays open through it for reading contents.
struct LoadedImage {
    std::string path;
    std::unique_ptr<IsoImage, ImageDeleter> image;
    uint64_t bytes = 0;
    std::unordered_map<std::string, IsoFile*> files; // by path relative to the root, "/" separators
};

std::shared_ptr<LoadedImage> Load(const std::string& path) {
    detail::InitIsoLibrary();
    CheckImageFile(path);
    CheckFolderTrees(path);
    auto loaded = std::make_shared<LoadedImage>();
    loaded->path = path;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) loaded->bytes = static_cast<uint64_t>(info.st_size);

    IsoImage* image = nullptr;
    if (iso_image_new("disc", &image) < 0) throw std::bad_alloc();
    loaded->image.reset(image);
    IsoDataSource* source = nullptr;
    int result = iso_data_source_new_from_file(path.c_str(), &source);
    if (result < 0) throw Error("Cannot read the disc image " + path + ": " + LibraryText(result) + ".");
    IsoReadOpts* opts = nullptr;
    if (iso_read_opts_new(&opts, 0) < 0) {
        iso_data_source_unref(source);
        throw std::bad_alloc();
    }
    // A reader on Windows ignores Rock Ridge and takes Joliet names when the disc has them.
    iso_read_opts_set_no_rockridge(opts, 1);
    iso_read_opts_set_no_iso1999(opts, 1);
    iso_read_opts_set_no_aaip(opts, 1);
    iso_read_opts_set_no_md5(opts, 1);
    iso_read_opts_set_preferjoliet(opts, 1);
    iso_read_opts_set_joliet_map(opts, 1);
    iso_read_opts_set_ecma119_map(opts, 1);
    IsoReadImageFeatures* features = nullptr;
    result = iso_image_import(image, source, opts, &features);
    iso_read_opts_free(opts);
    iso_data_source_unref(source);
    if (features) iso_read_image_features_destroy(features);
    if (result < 0) throw Error("The disc image " + path + " is damaged: " + LibraryText(result) + ".");
    return loaded;
}

// A name no file system can hold under a folder would let a copy escape its folder.
bool UsableName(const char* name) {
    return name && *name && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && !std::strchr(name, '/');
}

Tree BuildTree(LoadedImage& loaded) {
    Tree tree;
    tree.root = loaded.path;
    tree.fromImage = true;
    tree.imageBytes = loaded.bytes;
    tree.folders.emplace_back();
    std::deque<std::pair<IsoDir*, size_t>> pending{{iso_image_get_root(loaded.image.get()), 0}};
    std::vector<IsoDir*> subfolders;
    while (!pending.empty()) {
        auto [dir, index] = pending.front();
        pending.pop_front();
        IsoDirIter* iter = nullptr;
        if (iso_dir_get_children(dir, &iter) < 0) throw std::bad_alloc();
        std::vector<std::pair<Entry, IsoNode*>> found;
        IsoNode* node = nullptr;
        while (iso_dir_iter_next(iter, &node) == 1) {
            const char* name = iso_node_get_name(node);
            enum IsoNodeType type = iso_node_get_type(node);
            // Joliet carries files and folders only; anything else came from another tree of the disc.
            if (type != LIBISO_FILE && type != LIBISO_DIR) continue;
            if (!UsableName(name)) {
                iso_dir_iter_free(iter);
                throw Error("The disc image " + loaded.path + " is damaged: a folder holds a name no reader accepts.");
            }
            Entry e;
            e.name = name;
            if (type == LIBISO_DIR) {
                e.kind = EntryKind::Folder;
                e.info.st_mode = S_IFDIR | 0555;
            } else {
                e.kind = EntryKind::File;
                e.info.st_mode = S_IFREG | 0444;
                e.info.st_size = iso_stream_get_size(iso_file_get_stream(reinterpret_cast<IsoFile*>(node)));
            }
            found.emplace_back(std::move(e), node);
        }
        iso_dir_iter_free(iter);
        std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first.name < b.first.name; });

        Folder& folder = tree.folders[index];
        folder.entries.reserve(found.size());
        subfolders.clear();
        for (auto& [e, n] : found) {
            size_t i = folder.entries.size();
            folder.exact.emplace(e.name, i);
            folder.folded[detail::FoldCase(e.name)].push_back(i);
            if (e.kind == EntryKind::File) {
                ++tree.files;
                loaded.files.emplace(Tree::RelPath(folder, e.name), reinterpret_cast<IsoFile*>(n));
            }
            subfolders.push_back(e.kind == EntryKind::Folder ? reinterpret_cast<IsoDir*>(n) : nullptr);
            folder.entries.push_back(std::move(e));
        }
        for (size_t i = 0; i < subfolders.size(); ++i) {
            if (!subfolders[i]) continue;
            Folder sub;
            sub.rel = Tree::RelPath(tree.folders[index], tree.folders[index].entries[i].name);
            tree.folders[index].entries[i].folder = static_cast<int>(tree.folders.size());
            pending.emplace_back(subfolders[i], tree.folders.size());
            tree.folders.push_back(std::move(sub));
        }
    }
    return tree;
}

// Streams the file's bytes in chunks to sink, at most limit of them; sink returns false to stop.
template <class Sink> void ReadFile(const LoadedImage& loaded, const std::string& rel, size_t limit, Sink&& sink) {
    auto it = loaded.files.find(rel);
    if (it == loaded.files.end()) throw Error("The disc image " + loaded.path + " has no file " + rel + ".");
    IsoStream* stream = iso_file_get_stream(it->second);
    auto fail = [&](int code) {
        return Error("Cannot read " + rel + " from the disc image " + loaded.path + ": " + LibraryText(code) + ".");
    };
    int result = iso_stream_open(stream);
    if (result < 0) throw fail(result);
    std::vector<char> buffer(std::min(kChunkBytes, std::max<size_t>(limit, 1)));
    size_t done = 0;
    while (done < limit) {
        result = iso_stream_read(stream, buffer.data(), std::min(buffer.size(), limit - done));
        if (result < 0) {
            iso_stream_close(stream);
            throw fail(result);
        }
        if (result == 0) break;
        done += static_cast<size_t>(result);
        if (!sink(buffer.data(), static_cast<size_t>(result))) break;
    }
    iso_stream_close(stream);
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string Trim(std::string_view text) {
    size_t start = 0, end = text.size();
    while (start < end && IsSpace(text[start]))
        ++start;
    while (end > start && IsSpace(text[end - 1]))
        --end;
    return std::string(text.substr(start, end - start));
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text;
}

} // namespace

AutorunOpen ParseAutorunOpen(std::string_view bytes) {
    AutorunOpen open;
    bool inSection = false;
    int line = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = bytes.size();
        std::string text = Trim(bytes.substr(pos, end - pos));
        ++line;
        pos = end;
        if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
        if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
        if (text.empty() || text[0] == ';') continue;
        if (text[0] == '[') {
            size_t close = text.find(']');
            inSection =
                close != std::string::npos && Lower(Trim(std::string_view(text).substr(1, close - 1))) == "autorun";
            continue;
        }
        size_t equals = text.find('=');
        if (!inSection || equals == std::string::npos || Lower(Trim(text.substr(0, equals))) != "open") continue;
        std::string value = Trim(std::string_view(text).substr(equals + 1));
        open.found = true;
        open.line = line;
        // The program name ends at the first space unless it is quoted; quotes do not nest in it.
        size_t i = 0;
        if (!value.empty() && value[0] == '"') {
            size_t quote = value.find('"', 1);
            open.program = value.substr(1, quote == std::string::npos ? std::string::npos : quote - 1);
            i = quote == std::string::npos ? value.size() : quote + 1;
        } else {
            while (i < value.size() && !IsSpace(value[i]))
                ++i;
            open.program = value.substr(0, i);
        }
        open.tokens = platform::posix::SplitCommandLine(value.substr(i));
        break;
    }
    return open;
}

bool IsImageFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

CheckResult CheckImage(const std::string& image, const CheckOptions& options) {
    std::shared_ptr<LoadedImage> loaded = Load(image);
    Tree tree = BuildTree(*loaded);
    tree.readFile = [loaded](const Folder& folder, const Entry& entry, size_t limit) {
        std::string bytes;
        bytes.reserve(std::min<size_t>(static_cast<size_t>(entry.info.st_size), limit));
        ReadFile(*loaded, Tree::RelPath(folder, entry.name), limit, [&bytes](const char* data, size_t size) {
            bytes.append(data, size);
            return true;
        });
        return bytes;
    };
    return detail::CheckTree(tree, image, options);
}

void ExtractImage(const std::string& image, const std::string& folder, const ProgressFn& progress) {
    std::shared_ptr<LoadedImage> loaded = Load(image);
    Tree tree = BuildTree(*loaded);
    uint64_t total = 0, done = 0;
    for (const Folder& f : tree.folders)
        for (const Entry& e : f.entries)
            if (e.kind == EntryKind::File) total += static_cast<uint64_t>(e.info.st_size);
    if (progress && !progress(0, total)) throw Cancelled();
    std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const Folder& f : tree.folders) {
        std::string host = base + (f.rel.empty() ? "" : f.rel + "/");
        for (const Entry& e : f.entries) {
            std::string path = host + e.name;
            if (e.kind == EntryKind::Folder) {
                if (::mkdir(path.c_str(), 0755) != 0)
                    throw Error(detail::SystemErrorText("Cannot make the folder", path, errno));
                continue;
            }
            int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) throw Error(detail::SystemErrorText("Cannot write", path, errno));
            int err = 0;
            try {
                ReadFile(*loaded, Tree::RelPath(f, e.name), SIZE_MAX, [&](const char* data, size_t size) {
                    while (size > 0) {
                        ssize_t n = ::write(fd, data, size);
                        if (n < 0 && errno == EINTR) continue;
                        if (n < 0) {
                            err = errno;
                            return false;
                        }
                        data += n;
                        size -= static_cast<size_t>(n);
                        done += static_cast<uint64_t>(n);
                    }
                    return !progress || progress(done, total);
                });
            } catch (...) {
                ::close(fd);
                throw;
            }
            if (::close(fd) != 0 && err == 0) err = errno;
            if (err != 0) throw Error(detail::SystemErrorText("Cannot write", path, err));
            if (progress && !progress(done, total)) throw Cancelled();
        }
    }
}

} // namespace publish
