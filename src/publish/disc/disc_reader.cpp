// A disc image read back through libisofs's reader: the Joliet tree, as Windows prefers it.
#include "publish/disc/disc_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdint>
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs/libisofs.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "publish/disc/tree.h"
#include "publish/figures.h"
#include "viewer_core.h"

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

uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

// What can be told from the file's own bytes, before libisofs sees it: its error messages name no file and
// say little about an image that was merely cut short. Returns the volume's size in sectors.
uint64_t CheckImageFile(const std::string& path) {
    // Without waiting for a writer: a pipe named as the image is refused below, not waited on.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw Error("The disc image " + path + " does not exist.");
        throw Error(detail::SystemErrorText("Cannot read the disc image", path, errno));
    }
    struct stat info {};
    unsigned char pvd[2048] = {};
    ssize_t got = -1;
    // A folder or a pipe is told as such, before a read would fail on it with a less helpful reason.
    const bool stated = fstat(fd, &info) == 0;
    if (stated && S_ISREG(info.st_mode)) got = ::pread(fd, pvd, sizeof pvd, static_cast<off_t>(kFirstDescriptor));
    int err = errno;
    ::close(fd);
    if (stated && !S_ISREG(info.st_mode)) throw Error("The disc image " + path + " is not a file.");
    if (got < 0) throw Error(detail::SystemErrorText("Cannot read the disc image", path, err));
    if (got < 6 || std::memcmp(pvd + 1, "CD001", 5) != 0)
        throw Error("The file " + path + " is not an ISO 9660 disc image.");
    if (pvd[0] != 1 || got < static_cast<ssize_t>(sizeof pvd))
        throw Error("The disc image " + path + " is damaged: its first volume descriptor is not a primary one.");
    // The volume's size in sectors, stored little-endian first and then big-endian.
    uint64_t sectors = Le32(pvd + 80);
    uint64_t bytes = static_cast<uint64_t>(info.st_size);
    if (bytes < sectors * kSectorBytes)
        throw Error("The disc image " + path + " is cut short: it holds " + std::to_string(bytes) + " bytes of the " +
                    std::to_string(sectors * kSectorBytes) + " its volume needs.");
    return sectors;
}

namespace {

// Bounds on what any image may ask of the reader; beyond them the disc is refused as damaged. Joliet paths
// hold at most 240 characters, so no tree a reader can use is deeper than 120 folders.
constexpr uint64_t kMaxEntries = 1'000'000;
constexpr size_t kMaxDepth = 128;
// libisofs sorts a folder's entries by inserting each, last record first, into a list: entries in name order, as
// every mastering tool writes them, cost nothing, and each pair out of order a step (about 6 ns). This many steps
// in the whole tree, a third of a second, is far beyond any disc a tool made.
constexpr uint64_t kMaxSortSteps = 50'000'000;
// A name libisofs must change (damaged, too long, or the same as another in its folder) costs it a search for a
// free name through the whole folder for every candidate: the cube of their number. Beyond this many the disc is
// damaged beyond use anyway.
constexpr uint64_t kMaxChangedNames = 200;
constexpr size_t kLongestName = 255; // bytes of UTF-8 libisofs keeps of a name

// Pairs of names out of order in v (each a step of libisofs's sort); v ends up sorted.
uint64_t PairsOutOfOrder(std::vector<std::string_view>& v, std::vector<std::string_view>& scratch, size_t lo,
                         size_t hi) {
    if (hi - lo < 2) return 0;
    const size_t mid = lo + (hi - lo) / 2;
    uint64_t pairs = PairsOutOfOrder(v, scratch, lo, mid) + PairsOutOfOrder(v, scratch, mid, hi);
    size_t a = lo, b = mid;
    scratch.clear();
    while (a < mid || b < hi) {
        if (b == hi || (a < mid && !(v[b] < v[a]))) {
            scratch.push_back(v[a++]);
        } else {
            pairs += mid - a;
            scratch.push_back(v[b++]);
        }
    }
    std::copy(scratch.begin(), scratch.end(), v.begin() + static_cast<std::ptrdiff_t>(lo));
    return pairs;
}

// An entry as the disc's raw record has it, for comparing with what libisofs lists.
struct RawEntry {
    std::string name; // as a reader should list it: UTF-8, without the version ";1"
    std::string why;  // why no reader can list the name as it stands; empty when it can
    bool folder = false;
};

struct RawFolder {
    std::string rel;   // "" for the root, "a/b" below it
    bool named = true; // every folder on the way has a name a reader can list
    std::vector<RawEntry> entries;
};

// The tree libisofs reads, as its records lie on the disc.
struct RawTree {
    std::vector<RawFolder> folders;
    uint64_t sectorsRead = 0; // what libisofs will read of the folders
    uint64_t descriptors = 0;
};

// The name of a record as libisofs makes it, and why a reader on Windows cannot have it when it cannot.
RawEntry RawName(const unsigned char* id, size_t length, bool joliet) {
    RawEntry e;
    std::string& name = e.name;
    if (length == 1 && id[0] == 0) {
        e.why = "the name of the folder itself";
        name = "\xEF\xBF\xBD";
        return e;
    }
    auto bad = [&e](const char* why) {
        if (e.why.empty()) e.why = why;
        detail::AppendUtf8(0xFFFD, e.name);
    };
    if (length == 0) bad("no name at all");
    if (joliet) {
        for (size_t i = 0; i + 1 < length; i += 2) {
            uint32_t unit = uint32_t(id[i]) << 8 | id[i + 1];
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < length) {
                const uint32_t low = uint32_t(id[i + 2]) << 8 | id[i + 3];
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    detail::AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), name);
                    i += 2;
                    continue;
                }
            }
            if (unit >= 0xD800 && unit <= 0xDFFF)
                bad("half of a UTF-16 surrogate pair");
            else if (unit == 0)
                bad("a NUL character");
            else if (unit == '/')
                bad("a \"/\"");
            else
                detail::AppendUtf8(unit, name);
        }
        if (length % 2) bad("half a character");
    } else {
        for (size_t i = 0; i < length; ++i) {
            if (id[i] >= 0x80)
                bad("a character outside ASCII");
            else if (id[i] == 0)
                bad("a NUL character");
            else if (id[i] == '/')
                bad("a \"/\"");
            else
                name += static_cast<char>(id[i]);
        }
    }
    // libisofs drops the version, and the dot before it when nothing else follows the dot.
    const size_t n = name.size();
    if (n > 2 && name[n - 2] == ';' && name[n - 1] == '1') name.resize(n > 3 && name[n - 3] == '.' ? n - 3 : n - 2);
    // Such a name would lead out of its folder; a finding shows it as no path.
    if (name == "." || name == "..") {
        if (e.why.empty()) e.why = "only dots, the name of a folder itself or of the one above it";
        name.insert(0, "\xEF\xBF\xBD");
    }
    return e;
}

// Walks the folder records of the tree libisofs will read (the last Joliet descriptor's, else the primary one's)
// record by record as libisofs reads them, before it does: a folder that holds itself or one above it, two
// folders that are one, a tree of absurd size or depth is a damaged disc that no reader can list, and libisofs
// would follow it round without end or at a cost beyond measure. What else is wrong with a tree (a folder beyond
// the end) is left for libisofs to name.
RawTree WalkRawTree(const std::string& path, uint64_t volumeSectors, const ProgressFn& progress) {
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
    unsigned char block[kSectorBytes];
    auto read = [&](uint64_t sector) {
        const uint64_t offset = sector * kSectorBytes;
        if (offset > size || kSectorBytes > size - offset) return false;
        const ssize_t n = detail::ReadAt(fd, block, kSectorBytes, offset);
        if (n != static_cast<ssize_t>(kSectorBytes))
            throw Error(detail::SystemErrorText("Cannot read the disc image", path, n < 0 ? errno : EIO));
        return true;
    };

    RawTree tree;
    // libisofs reads every descriptor up to any of type 255, whatever its identifier says, and takes the tree
    // of the last Joliet one it met.
    uint64_t root = 0;
    bool joliet = false;
    if (!read(16)) return tree;
    root = uint64_t(Le32(block + 156 + 2)) + block[156 + 1];
    for (uint64_t sector = 17; read(sector); ++sector) {
        ++tree.descriptors;
        if (progress && tree.descriptors % 64 == 0 && !progress(0, 0)) throw Cancelled();
        if (block[0] == 255) break;
        if (block[0] == 2 && block[88] == 0x25 && block[89] == 0x2F &&
            (block[90] == 0x40 || block[90] == 0x43 || block[90] == 0x45)) {
            joliet = true;
            root = uint64_t(Le32(block + 156 + 2)) + block[156 + 1];
        }
    }

    struct Place {
        uint64_t extent;
        size_t parent; // index in folders of the folder holding it; itself for the root
        size_t depth;
    };
    std::vector<Place> places{{root, 0, 0}};
    std::unordered_map<uint64_t, size_t> byExtent{{root, 0}};
    tree.folders.emplace_back();
    uint64_t entries = 0, sortSteps = 0, changed = 0;
    std::vector<std::string_view> names, scratch;
    for (size_t index = 0; index < places.size(); ++index) {
        const Place place = places[index];
        // As libisofs's read_dir: the folder's size comes from its first record, and only the first two records
        // of its first sector are its own and its parent's; every record after them is an entry, whatever its
        // name, also one named like them at the start of a later sector.
        uint64_t sector = place.extent;
        auto next = [&]() {
            // libisofs reads each folder's sectors and often the one after: twice the volume is more than any
            // tree of folders that do not overlap can take.
            if (++tree.sectorsRead > 2 * volumeSectors)
                throw damaged("its folders take more room than the whole image");
            if (progress && tree.sectorsRead % 64 == 0 && !progress(0, 0)) throw Cancelled();
            return read(sector);
        };
        if (!next()) continue;
        const uint64_t folderBytes = Le32(block + 10);
        size_t pos = block[0];
        uint64_t taken = pos;
        taken += block[pos];
        pos += block[pos];
        while (taken < folderBytes) {
            if (pos == kSectorBytes || block[pos] == 0) {
                ++sector;
                if (!next()) break;
                taken += kSectorBytes - pos;
                pos = 0;
                continue;
            }
            const unsigned char* r = block + pos;
            const size_t length = r[0];
            if (pos + length > kSectorBytes) throw damaged("a folder record runs past the end of its sector");
            if (length < 34 || length < 33 + size_t(r[32])) throw damaged("a folder record is cut short");
            if (++entries > kMaxEntries)
                throw damaged("it holds more than " + Grouped(kMaxEntries) + " files and folders");
            RawEntry e = RawName(r + 33, r[32], joliet);
            changed += !e.why.empty() || e.name.size() > kLongestName;
            e.folder = r[25] & 0x02;
            if (e.folder) {
                const uint64_t extent = uint64_t(Le32(r + 2)) + r[1];
                auto [it, added] = byExtent.emplace(extent, places.size());
                if (!added) {
                    for (size_t up = index;; up = places[up].parent) {
                        if (places[up].extent == extent) throw damaged("a folder holds itself or a folder it lies in");
                        if (up == 0) break;
                    }
                    throw damaged("two folder records lead to the same folder");
                }
                if (place.depth + 1 > kMaxDepth)
                    throw damaged("its folders lie more than " + std::to_string(kMaxDepth) + " deep");
                places.push_back({extent, index, place.depth + 1});
                RawFolder sub;
                const RawFolder& here = tree.folders[index];
                sub.named = here.named && e.why.empty();
                if (sub.named) sub.rel = here.rel.empty() ? e.name : here.rel + "/" + e.name;
                tree.folders.push_back(std::move(sub));
            }
            tree.folders[index].entries.push_back(std::move(e));
            taken += length;
            pos += length;
        }
        names.clear();
        for (const RawEntry& e : tree.folders[index].entries)
            names.emplace_back(e.name);
        sortSteps += PairsOutOfOrder(names, scratch, 0, names.size());
        if (sortSteps > kMaxSortSteps) throw damaged("its folders list their entries too far out of name order");
        for (size_t i = 1; i < names.size(); ++i)
            changed += names[i] == names[i - 1];
        if (changed > kMaxChangedNames)
            throw damaged("more than " + std::to_string(kMaxChangedNames) +
                          " of its names are damaged or the same as another in their folder");
    }
    return tree;
}

// The image file as libisofs reads it: every block it asks for counts, so that the cost of loading stays within
// what the walk of the records foresaw, and the caller's progress can stop it between two blocks.
struct Source {
    int fd = -1;
    uint64_t reads = 0;
    uint64_t budget = UINT64_MAX;
    const ProgressFn* progress = nullptr;
    bool cancelled = false;
    bool overBudget = false;

    static Source& Of(IsoDataSource* src) { return *static_cast<Source*>(src->data); }
    static int Open(IsoDataSource*) { return ISO_SUCCESS; }
    static int Close(IsoDataSource*) { return ISO_SUCCESS; }
    static int ReadBlock(IsoDataSource* src, uint32_t lba, uint8_t* buffer) {
        Source& s = Of(src);
        if (s.cancelled || s.overBudget) return ISO_DATA_SOURCE_FATAL;
        if (++s.reads > s.budget) {
            s.overBudget = true;
            return ISO_DATA_SOURCE_FATAL;
        }
        if (s.progress && *s.progress && s.reads % 64 == 0 && !(*s.progress)(0, 0)) {
            s.cancelled = true;
            return ISO_DATA_SOURCE_FATAL;
        }
        const ssize_t n = detail::ReadAt(s.fd, buffer, kSectorBytes, uint64_t(lba) * kSectorBytes);
        return n == static_cast<ssize_t>(kSectorBytes) ? ISO_SUCCESS : ISO_FILE_READ_ERROR;
    }
    static void Free(IsoDataSource* src) {
        Source* s = &Of(src);
        if (s->fd >= 0) ::close(s->fd);
        delete s;
    }
};

struct ImageDeleter {
    void operator()(IsoImage* image) const { iso_image_unref(image); }
};

// A file of the disc: libisofs's node and where its bytes lie.
struct DiscFile {
    IsoFile* node = nullptr;
    std::vector<iso_file_section> sections;
};

// The image loaded with its Joliet tree; the file stays open through it for reading contents.
struct LoadedImage {
    std::string path;
    std::unique_ptr<IsoImage, ImageDeleter> image;
    uint64_t bytes = 0;
    uint64_t volumeSectors = 0;
    RawTree raw;
    std::unordered_map<std::string, DiscFile> files; // by path relative to the root, "/" separators
    std::unordered_set<std::string> others;          // nodes of other kinds, such as a boot catalogue, by the same path
};

std::shared_ptr<LoadedImage> Load(const std::string& path, const ProgressFn& progress) {
    detail::InitIsoLibrary();
    auto loaded = std::make_shared<LoadedImage>();
    loaded->volumeSectors = CheckImageFile(path);
    loaded->raw = WalkRawTree(path, loaded->volumeSectors, progress);
    loaded->path = path;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) loaded->bytes = static_cast<uint64_t>(info.st_size);

    IsoImage* image = nullptr;
    if (iso_image_new("disc", &image) < 0) throw std::bad_alloc();
    loaded->image.reset(image);
    auto* state = new Source;
    state->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (state->fd < 0) {
        const int err = errno;
        delete state;
        throw Error(detail::SystemErrorText("Cannot read the disc image", path, err));
    }
    // The system area, partition tables, the descriptors with a boot catalogue of up to 10 sectors each, and the
    // folders the walk counted, with room to spare: anything beyond is libisofs following what the walk did not
    // foresee.
    state->budget = 1024 + 16 * loaded->raw.descriptors + 4 * loaded->raw.sectorsRead;
    state->progress = &progress;
    // libisofs frees the source itself with free() when its last reference goes.
    auto* source = static_cast<IsoDataSource*>(std::calloc(1, sizeof(IsoDataSource)));
    if (!source) {
        delete state;
        throw std::bad_alloc();
    }
    *source = IsoDataSource{0, 1, &Source::Open, &Source::Close, &Source::ReadBlock, &Source::Free, state};
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
    int result = iso_image_import(image, source, opts, &features);
    iso_read_opts_free(opts);
    // The image keeps the source for reading files later, when neither the budget nor the progress applies.
    state->budget = UINT64_MAX;
    state->progress = nullptr;
    const bool cancelled = state->cancelled, overBudget = state->overBudget;
    state->overBudget = false;
    iso_data_source_unref(source);
    if (features) iso_read_image_features_destroy(features);
    if (cancelled) throw Cancelled();
    if (overBudget)
        throw Error("The disc image " + path + " is damaged: its folders cannot be read in a bounded time.");
    if (result < 0) throw Error("The disc image " + path + " is damaged: " + LibraryText(result) + ".");
    return loaded;
}

// A name no file system can hold under a folder would let a copy escape its folder.
bool UsableName(const char* name) {
    return name && *name && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && !std::strchr(name, '/');
}

// Findings about what the disc's records hold and the reader's list does not show as it stands: a name libisofs
// changed or dropped, an entry it left out, a file whose bytes lie past the end of the volume.
void DiscFindings(const LoadedImage& loaded, Tree& tree) {
    std::unordered_map<std::string, const Folder*> byRel;
    for (const Folder& f : tree.folders)
        byRel.emplace(f.rel, &f);
    for (const RawFolder& raw : loaded.raw.folders) {
        auto folder = byRel.find(raw.rel);
        if (!raw.named || folder == byRel.end()) continue;
        for (const RawEntry& e : raw.entries) {
            const Entry* listed = folder->second->Find(e.name);
            if (e.why.empty() && listed && (listed->kind == EntryKind::Folder) == e.folder) continue;
            if (e.why.empty() && !e.folder && loaded.others.count(Tree::RelPath(*folder->second, e.name))) continue;
            const std::string message =
                e.why.empty() ? "The disc holds this " + std::string(e.folder ? "folder" : "file") +
                                    ", but the reader does not list it under this name; readers on Windows may "
                                    "see it differently or not at all."
                              : "The name on the disc holds " + e.why +
                                    ", so readers on Windows see it under another name or not at all.";
            tree.discFindings.push_back(
                {nullptr, Finding{Severity::Error, "name-damaged", Tree::RelPath(*folder->second, e.name), 0,
                                  std::nullopt, message}});
        }
    }
    const uint64_t volume = loaded.volumeSectors * kSectorBytes;
    for (const Folder& f : tree.folders)
        for (const Entry& e : f.entries) {
            if (e.kind != EntryKind::File) continue;
            const std::string rel = Tree::RelPath(f, e.name);
            for (const iso_file_section& s : loaded.files.at(rel).sections) {
                if (s.size == 0 || uint64_t(s.block) * kSectorBytes + s.size <= volume) continue;
                tree.discFindings.push_back(
                    {&e, Finding{Severity::Error, "unreadable", rel, 0, std::nullopt,
                                 "The file's " + Grouped(s.size) + " bytes from sector " + std::to_string(s.block) +
                                     " run past the end of the disc, which has " +
                                     std::to_string(loaded.volumeSectors) + " sectors, so no reader can read them."}});
                break;
            }
        }
}

Tree BuildTree(LoadedImage& loaded, const ProgressFn& progress) {
    Tree tree;
    tree.root = loaded.path;
    tree.fromImage = true;
    tree.imageBytes = loaded.bytes;
    tree.folders.emplace_back();
    std::deque<std::pair<IsoDir*, size_t>> pending{{iso_image_get_root(loaded.image.get()), 0}};
    std::vector<IsoDir*> subfolders;
    uint64_t listed = 0;
    while (!pending.empty()) {
        auto [dir, index] = pending.front();
        pending.pop_front();
        IsoDirIter* iter = nullptr;
        if (iso_dir_get_children(dir, &iter) < 0) throw std::bad_alloc();
        std::vector<std::pair<Entry, IsoNode*>> found;
        IsoNode* node = nullptr;
        while (iso_dir_iter_next(iter, &node) == 1) {
            if (progress && ++listed % 4096 == 0 && !progress(0, 0)) {
                iso_dir_iter_free(iter);
                throw Cancelled();
            }
            const char* name = iso_node_get_name(node);
            enum IsoNodeType type = iso_node_get_type(node);
            // Joliet carries files and folders only; anything else came from another tree of the disc, or is
            // a boot catalogue, which libisofs holds as a node of its own kind.
            if (type != LIBISO_FILE && type != LIBISO_DIR) {
                if (name) loaded.others.insert(Tree::RelPath(tree.folders[index], name));
                continue;
            }
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
                DiscFile file;
                file.node = reinterpret_cast<IsoFile*>(n);
                int count = 0;
                iso_file_section* sections = nullptr;
                if (iso_file_get_old_image_sections(file.node, &count, &sections, 0) == 1 && sections) {
                    file.sections.assign(sections, sections + count);
                    std::free(sections);
                }
                loaded.files.emplace(Tree::RelPath(folder, e.name), std::move(file));
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
    DiscFindings(loaded, tree);
    loaded.raw = RawTree(); // only the comparison needed it
    return tree;
}

// Streams the file's bytes in chunks to sink, at most limit of them; sink returns false to stop.
template <class Sink> void ReadFile(const LoadedImage& loaded, const std::string& rel, size_t limit, Sink&& sink) {
    auto it = loaded.files.find(rel);
    if (it == loaded.files.end()) throw Error("The disc image " + loaded.path + " has no file " + rel + ".");
    IsoStream* stream = iso_file_get_stream(it->second.node);
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
        open.tokens = viewer::SplitCommandLine(value.substr(i));
        break;
    }
    return open;
}

bool IsImageFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

CheckResult CheckImage(const std::string& image, const CheckOptions& options) {
    std::shared_ptr<LoadedImage> loaded = Load(image, options.progress);
    Tree tree = BuildTree(*loaded, options.progress);
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
    std::shared_ptr<LoadedImage> loaded = Load(image, progress);
    Tree tree = BuildTree(*loaded, progress);
    // Files whose records name the same bytes are copied once and linked: a small image may name one extent
    // from many entries, and the copy must not grow to their sum.
    auto extentOf = [&](const Folder& f, const Entry& e) {
        const DiscFile& file = loaded->files.at(Tree::RelPath(f, e.name));
        if (file.sections.empty()) return std::string(); // nothing shared: never linked
        return std::string(reinterpret_cast<const char*>(file.sections.data()),
                           file.sections.size() * sizeof(iso_file_section));
    };
    struct statvfs room {};
    if (::statvfs(folder.c_str(), &room) != 0)
        throw Error(detail::SystemErrorText("Cannot find the free space of", folder, errno));
    const uint64_t unit = std::max<uint64_t>(room.f_frsize, 1);
    uint64_t total = 0, done = 0, needed = unit * tree.folders.size();
    std::unordered_map<std::string, std::string> copied; // extent -> host path of its copy
    for (const Folder& f : tree.folders)
        for (const Entry& e : f.entries) {
            if (e.kind != EntryKind::File) continue;
            const uint64_t size = static_cast<uint64_t>(e.info.st_size);
            std::string key = extentOf(f, e);
            if (!key.empty() && !copied.emplace(std::move(key), std::string()).second) continue;
            total += size;
            needed += (size + unit - 1) / unit * unit;
        }
    const uint64_t free = uint64_t(room.f_bavail) * unit;
    if (needed > free)
        throw Error("The copy of the disc needs " + Megabytes(static_cast<double>(needed)) + " (" + Grouped(needed) +
                    " bytes), but " + folder + " has only " + Megabytes(static_cast<double>(free)) + " (" +
                    Grouped(free) + " bytes) free.");
    copied.clear();
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
            std::string key = extentOf(f, e);
            if (!key.empty()) {
                auto [first, added] = copied.emplace(std::move(key), path);
                if (!added) {
                    if (::link(first->second.c_str(), path.c_str()) == 0) continue;
                    // A file system keeps only so many links to one file (65,000 on ext4): this entry starts
                    // a second copy, which the entries after it are linked to.
                    if (errno != EMLINK) throw Error(detail::SystemErrorText("Cannot write", path, errno));
                    first->second = path;
                }
            }
            // Never onto something that is there: O_EXCL neither replaces a file nor follows a link.
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
