// The ISO 9660 image (Joliet and Rock Ridge) of a project folder, through libisofs.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
// The image comes out through libisofs's own copy of the track source interface.
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs/libisofs.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string_view>
#include <vector>

#include "publish/publish.h"
#include "publish/disc/tree.h"

namespace publish {

namespace detail {

namespace {

constexpr const char* kPreparer = "KIVADOR SETUP WIZARD 3.2";
// Streams of ours are told apart from libisofs's own by this file system id.
constexpr unsigned int kStreamFsId = 0x4B564400;
constexpr size_t kChunkBytes = 1 << 20;
constexpr size_t kFifoBlocks = 8192; // 16 MiB between libisofs's writer thread and the output
constexpr size_t kReadAhead = 256 * 1024;
constexpr size_t kDirectAlign = 4096;

// The first failure met by a stream on libisofs's writer thread, for the thread that reads the image.
struct BuildState {
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::string message;

    void Fail(std::string text) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failed.load()) {
            message = std::move(text);
            failed.store(true);
        }
    }
    std::string Message() {
        std::lock_guard<std::mutex> lock(mutex);
        return message;
    }
};

struct FileData {
    std::string path;
    off_t size = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    BuildState* state = nullptr;
    int fd = -1;
    off_t done = 0;
    std::vector<char> buffer;
    size_t bufferPos = 0;
    size_t bufferEnd = 0;
};

// Same layout as libisofs's struct iso_stream, whose member named "class" keeps it out of C++.
struct StreamObject {
    IsoStreamIface* iface;
    int refcount;
    void* data;
};

FileData* Data(IsoStream* stream) { return static_cast<FileData*>(reinterpret_cast<StreamObject*>(stream)->data); }

int StreamOpen(IsoStream* stream) {
    FileData* d = Data(stream);
    d->fd = ::open(d->path.c_str(), O_RDONLY | O_CLOEXEC);
    if (d->fd < 0) {
        d->state->Fail(SystemErrorText("Cannot read", d->path, errno));
        return ISO_FILE_DOESNT_EXIST;
    }
    struct stat info {};
    if (fstat(d->fd, &info) != 0 || info.st_size != d->size) {
        d->state->Fail("The file " + d->path + " changed while the image was being made.");
        ::close(d->fd);
        d->fd = -1;
        return ISO_FILE_READ_ERROR;
    }
    posix_fadvise(d->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    d->done = 0;
    d->bufferPos = d->bufferEnd = 0;
    return 1;
}

int StreamClose(IsoStream* stream) {
    FileData* d = Data(stream);
    if (d->fd >= 0) ::close(d->fd);
    d->fd = -1;
    std::vector<char>().swap(d->buffer);
    return 1;
}

off_t StreamSize(IsoStream* stream) { return Data(stream)->size; }

// libisofs asks for small blocks; the file is read in large ones.
int StreamRead(IsoStream* stream, void* out, size_t count) {
    FileData* d = Data(stream);
    if (d->fd < 0) return ISO_FILE_NOT_OPENED;
    off_t left = d->size - d->done;
    if (static_cast<off_t>(count) > left) count = static_cast<size_t>(left);
    size_t given = 0;
    char* dest = static_cast<char*>(out);
    while (given < count) {
        if (d->bufferPos == d->bufferEnd) {
            if (d->buffer.empty()) d->buffer.resize(kReadAhead);
            ssize_t n = ::read(d->fd, d->buffer.data(), d->buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                d->state->Fail(SystemErrorText("Cannot read", d->path, errno));
                return ISO_FILE_READ_ERROR;
            }
            if (n == 0) {
                d->state->Fail("The file " + d->path + " changed while the image was being made.");
                return ISO_FILE_READ_ERROR;
            }
            d->bufferPos = 0;
            d->bufferEnd = static_cast<size_t>(n);
        }
        size_t take = std::min(count - given, d->bufferEnd - d->bufferPos);
        std::memcpy(dest + given, d->buffer.data() + d->bufferPos, take);
        d->bufferPos += take;
        given += take;
    }
    d->done += static_cast<off_t>(given);
    return static_cast<int>(given);
}

int StreamRepeatable(IsoStream*) { return 1; }

void StreamId(IsoStream* stream, unsigned int* fs, dev_t* dev, ino_t* ino) {
    FileData* d = Data(stream);
    *fs = kStreamFsId;
    *dev = d->dev;
    *ino = d->ino;
}

void StreamFree(IsoStream* stream) {
    FileData* d = Data(stream);
    if (d->fd >= 0) ::close(d->fd);
    delete d;
}

int StreamUpdateSize(IsoStream*) { return 1; }

IsoStream* StreamInput(IsoStream*, int) { return nullptr; }

IsoStreamIface kFileStreamIface = {
    3,        {'u', 's', 'e', 'r'}, StreamOpen,       StreamClose, StreamSize, StreamRead, StreamRepeatable,
    StreamId, StreamFree,           StreamUpdateSize, StreamInput, nullptr,    nullptr,
};

IsoStream* NewFileStream(const std::string& path, const struct stat& info, BuildState* state) {
    auto* object = static_cast<StreamObject*>(std::malloc(sizeof(StreamObject))); // libisofs frees it
    if (!object) throw std::bad_alloc();
    auto* d = new FileData;
    d->path = path;
    d->size = info.st_size;
    d->dev = info.st_dev;
    d->ino = info.st_ino;
    d->state = state;
    object->iface = &kFileStreamIface;
    object->refcount = 1;
    object->data = d;
    return reinterpret_cast<IsoStream*>(object);
}

void Check(int result, const std::string& what) {
    if (result < 0) throw Error(what + ": " + iso_error_to_msg(result) + ".");
}

// Readers on other systems get every file readable and kvd.exe (or any program) runnable, owned by nobody
// in particular, as with rationalised Rock Ridge.
void SetAttributes(IsoNode* node, const struct stat& info, bool folder) {
    mode_t mode = folder ? 0555 : ((info.st_mode & 0111) ? 0555 : 0444);
    iso_node_set_permissions(node, mode);
    iso_node_set_uid(node, 0);
    iso_node_set_gid(node, 0);
    iso_node_set_mtime(node, info.st_mtime);
    iso_node_set_atime(node, info.st_atime);
    iso_node_set_ctime(node, info.st_ctime);
}

struct ImageRef {
    IsoImage* image = nullptr;
    ~ImageRef() {
        if (image) iso_image_unref(image);
    }
};

struct OptsRef {
    IsoWriteOpts* opts = nullptr;
    ~OptsRef() {
        if (opts) iso_write_opts_free(opts);
    }
};

// Owns the image stream; a stream not read to its end is cancelled, which ends libisofs's writer thread.
struct SourceRef {
    burn_source* source = nullptr;
    bool finished = false;
    ~SourceRef() {
        if (!source) return;
        if (!finished && source->cancel) source->cancel(source);
        source->free_data(source);
        std::free(source);
    }
    int Read(unsigned char* buffer, int size) {
        return source->read_xt ? source->read_xt(source, buffer, size) : source->read(source, buffer, size);
    }
};

void AddFolder(IsoImage* image, IsoDir* dir, const Tree& tree, size_t index, BuildState* state) {
    const Folder& folder = tree.folders[index];
    // The library keeps a folder's children in a list sorted by name and inserts by walking it from the
    // smallest; entries handed over from the largest name down each land at its head, so a folder of n
    // files costs n steps instead of n squared.
    for (auto it = folder.entries.rbegin(); it != folder.entries.rend(); ++it) {
        const Entry& e = *it;
        if (e.kind == EntryKind::File) {
            IsoFile* file = nullptr;
            Check(iso_image_add_new_file(image, dir, e.name.c_str(), NewFileStream(folder.host + e.name, e.info, state),
                                         &file),
                  "Cannot add " + folder.host + e.name + " to the image");
            SetAttributes(reinterpret_cast<IsoNode*>(file), e.info, false);
        } else if (e.kind == EntryKind::Folder) {
            IsoDir* sub = nullptr;
            Check(iso_image_add_new_dir(image, dir, e.name.c_str(), &sub),
                  "Cannot add " + folder.host + e.name + " to the image");
            SetAttributes(reinterpret_cast<IsoNode*>(sub), e.info, true);
            AddFolder(image, sub, tree, static_cast<size_t>(e.folder), state);
        }
        // Links that lead nowhere on the disc and special files stay off it; the check reports them.
    }
}

void BuildImage(const Tree& tree, const std::string& label, BuildState* state, ImageRef& image) {
    InitIsoLibrary();
    Check(iso_image_new(label.c_str(), &image.image), "Cannot start the image of " + tree.root);
    iso_image_set_data_preparer_id(image.image, kPreparer);
    iso_image_set_application_id(image.image, kPreparer);
    IsoDir* root = iso_image_get_root(image.image);
    struct stat info {};
    if (stat(tree.root.c_str(), &info) == 0) SetAttributes(reinterpret_cast<IsoNode*>(root), info, true);
    AddFolder(image.image, root, tree, 0, state);
}

void MakeOptions(OptsRef& opts, bool sizeOnly) {
    Check(iso_write_opts_new(&opts.opts, 0), "Cannot set up the image");
    iso_write_opts_set_iso_level(opts.opts, 3);
    iso_write_opts_set_rockridge(opts.opts, 1);
    iso_write_opts_set_joliet(opts.opts, 1);
    iso_write_opts_set_joliet_longer_paths(opts.opts, 1);
    // Joliet names as other image writers give them: no ";1" and no forced final dot, so that a reader asking
    // for "index.htm" finds it.
    iso_write_opts_set_omit_version_numbers(opts.opts, 2);
    iso_write_opts_set_no_force_dots(opts.opts, 2);
    // Characters beyond U+FFFF as the surrogate pairs Windows reads, not as "_"; the check counts them as two.
    iso_write_opts_set_joliet_utf16(opts.opts, 1);
    iso_write_opts_set_dir_rec_mtime(opts.opts, 3); // file times in the ISO 9660 and Joliet records too
    iso_write_opts_set_fifo_size(opts.opts, kFifoBlocks);
    iso_write_opts_set_will_cancel(opts.opts, sizeOnly ? 1 : 0);
}

std::string Label(const std::string& folder, const std::string& label) {
    return label.empty() ? DefaultVolumeLabel(folder) : label;
}

std::string ParentFolder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What an existing output is when it is no file an image may replace; nothing for a file or a symbolic link.
const char* NotReplaceable(const struct stat& info) {
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
    if (S_ISFIFO(info.st_mode)) return "a pipe (FIFO)";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    return nullptr;
}

void RefuseNotReplaceable(const std::string& output) {
    struct stat info {};
    if (lstat(output.c_str(), &info) != 0) return;
    if (const char* what = NotReplaceable(info))
        throw Error("The image file " + output + " is " + what + ", not a file; choose another name.");
}

// ".disc.iso.042917.part" for "disc.iso": the one pattern of names the image ever removes by itself.
constexpr size_t kPartDigits = 6;
constexpr std::string_view kPartSuffix = ".part";

bool IsPartOf(std::string_view name, const std::string& base) {
    if (name.size() != 1 + base.size() + 1 + kPartDigits + kPartSuffix.size()) return false;
    if (name[0] != '.' || name.substr(1, base.size()) != base || name[1 + base.size()] != '.') return false;
    for (char c : name.substr(2 + base.size(), kPartDigits))
        if (c < '0' || c > '9') return false;
    return name.substr(name.size() - kPartSuffix.size()) == kPartSuffix;
}

// A run holds a lock on its temporary file while it writes, so one left unlocked was left by a run that was
// killed; one still locked belongs to a run going on now and stays. Links and other kinds of entry stay too.
void RemoveStaleParts(const std::string& dir, const std::string& base) {
    std::unique_ptr<DIR, int (*)(DIR*)> folder(opendir(dir.c_str()), &closedir);
    if (!folder) return;
    const int dirFd = dirfd(folder.get());
    while (struct dirent* d = readdir(folder.get())) {
        if (!IsPartOf(d->d_name, base)) continue;
        int fd = openat(dirFd, d->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat info {};
        if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
            unlinkat(dirFd, d->d_name, 0);
        ::close(fd);
    }
}

// Closes and removes the temporary file unless it was renamed into place. The lock has a descriptor of its
// own, so that it outlasts the close of the written one, which comes before the rename.
struct TempFile {
    std::string path;
    int fd = -1;
    int lockFd = -1;
    bool kept = false;
    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!path.empty() && !kept) ::unlink(path.c_str());
        if (lockFd >= 0) ::close(lockFd);
    }
};

void OpenTemp(TempFile& temp, const std::string& output) {
    std::string dir = ParentFolder(output);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char number[16];
        std::snprintf(number, sizeof number, "%06u", static_cast<unsigned>(random() % 1000000));
        std::string candidate = dir + "/." + BaseName(output) + "." + number + std::string(kPartSuffix);
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp.path = candidate;
            temp.fd = fd;
            // Marks the file as in use for RemoveStaleParts of other runs.
            temp.lockFd = ::open(candidate.c_str(), O_RDONLY | O_CLOEXEC);
            if (temp.lockFd >= 0) flock(temp.lockFd, LOCK_EX | LOCK_NB);
            return;
        }
        if (errno != EEXIST) throw Error(SystemErrorText("Cannot create the image file", output, errno));
    }
    throw Error("Cannot create the image file " + output + ": no free temporary name beside it.");
}

// The image goes straight to the disk where the file system allows it: the bytes are not read again, and
// the fsync at the end then has nothing left to write back from the page cache.
void TryDirect(int fd) {
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_DIRECT);
}

void WriteAll(int fd, const unsigned char* data, size_t size, const std::string& output) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EINVAL) {
            // A piece the device cannot take directly (its size or place is not aligned): write it buffered.
            int flags = fcntl(fd, F_GETFL);
            if (flags >= 0 && (flags & O_DIRECT)) {
                fcntl(fd, F_SETFL, flags & ~O_DIRECT);
                continue;
            }
        }
        if (n < 0) throw Error(SystemErrorText("Cannot write the image file", output, errno));
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace

void InitIsoLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (iso_init() < 0) throw Error("The disc image library could not be started.");
        // Names are bytes of UTF-8 whatever the process locale says; the library prints nothing itself.
        iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
        iso_set_msgs_severities(const_cast<char*>("NEVER"), const_cast<char*>("NEVER"), const_cast<char*>(""));
    });
}

uint64_t TreeImageSize(const Tree& tree, const std::string& label) {
    BuildState state;
    ImageRef image;
    BuildImage(tree, label, &state, image);
    OptsRef opts;
    MakeOptions(opts, true);
    SourceRef source;
    Check(iso_image_create_burn_source(image.image, opts.opts, &source.source),
          "Cannot lay out the image of " + tree.root);
    return static_cast<uint64_t>(source.source->get_size(source.source));
}

} // namespace detail

uint64_t ImageSize(const std::string& folder, const ImageOptions& options) {
    detail::Tree tree = detail::WalkTree(folder);
    return detail::TreeImageSize(tree, detail::Label(folder, options.label));
}

void CheckImageOutput(const std::string& output) {
    using namespace detail;
    if (output.empty()) throw Error("No image file was given.");
    std::string outputDir = ParentFolder(output);
    struct stat info {};
    if (stat(outputDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw Error("The folder " + outputDir + " for the image file " + output + " does not exist.");
    RefuseNotReplaceable(output);
}

uint64_t WriteImage(const std::string& folder, const std::string& output, const ImageOptions& options) {
    using namespace detail;
    CheckImageOutput(output);
    std::string outputDir = ParentFolder(output);

    Tree tree = WalkTree(folder);
    std::unique_ptr<char, decltype(&std::free)> realDir(realpath(outputDir.c_str(), nullptr), &std::free);
    if (!realDir) throw Error(SystemErrorText("Cannot reach the folder of the image file", output, errno));
    if ((std::string(realDir.get()) + "/").compare(0, tree.realRoot.size(), tree.realRoot) == 0)
        throw Error("The image file " + output + " lies inside the project folder " + folder +
                    ", so the image would contain itself; choose a place outside the folder.");

    BuildState state;
    ImageRef image;
    BuildImage(tree, Label(folder, options.label), &state, image);
    OptsRef opts;
    MakeOptions(opts, false);

    RemoveStaleParts(outputDir, BaseName(output));
    TempFile temp;
    OpenTemp(temp, output);
    SourceRef source;
    Check(iso_image_create_burn_source(image.image, opts.opts, &source.source),
          "Cannot lay out the image of " + tree.root);
    const uint64_t total = static_cast<uint64_t>(source.source->get_size(source.source));
    TryDirect(temp.fd);
    std::unique_ptr<unsigned char, decltype(&std::free)> buffer(
        static_cast<unsigned char*>(std::aligned_alloc(kDirectAlign, kChunkBytes)), &std::free);
    if (!buffer) throw std::bad_alloc();
    uint64_t done = 0;
    if (options.progress && !options.progress(0, total)) throw Cancelled();
    while (done < total) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(kChunkBytes, total - done));
        int n = source.Read(buffer.get(), static_cast<int>(want));
        if (state.failed.load()) throw Error(state.Message());
        if (n <= 0) break;
        WriteAll(temp.fd, buffer.get(), static_cast<size_t>(n), output);
        done += static_cast<uint64_t>(n);
        if (options.progress && !options.progress(done, total)) throw Cancelled();
    }
    if (state.failed.load()) throw Error(state.Message());
    if (done != total) throw Error("The image of " + tree.root + " ended early; " + output + " was not written.");
    source.finished = true;

    if (::fsync(temp.fd) != 0) throw Error(SystemErrorText("Cannot write the image file", output, errno));
    int fd = temp.fd;
    temp.fd = -1;
    if (::close(fd) != 0) throw Error(SystemErrorText("Cannot write the image file", output, errno));
    // A pipe or device may have been put there while the image was being written.
    RefuseNotReplaceable(output);
    if (::rename(temp.path.c_str(), output.c_str()) != 0)
        throw Error(SystemErrorText("Cannot put the image file in place at", output, errno));
    temp.kept = true;
    int dirFd = ::open(outputDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return total;
}

} // namespace publish
