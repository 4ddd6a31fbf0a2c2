// The walk of a project folder and its per-folder name tables.
#include "publish/disc/tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace publish::detail {

int32_t DecodeUtf8(std::string_view text, size_t& i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    int extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
    if (extra < 0 || i + extra >= text.size()) {
        ++i;
        return -1;
    }
    int32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char d = static_cast<unsigned char>(text[i + k]);
        if ((d & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    static const int32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += extra + 1;
    return cp;
}

namespace {

// The process's own locale may be "C", whose case tables know only ASCII; names need the full tables.
locale_t UnicodeLocale() {
    static locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
        return l;
    }();
    return locale;
}

} // namespace

void AppendUtf8(uint32_t cp, std::string& out) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string FoldCase(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    size_t i = 0;
    while (i < name.size()) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            out += (c >= 'a' && c <= 'z') ? char(c - 32) : char(c);
            ++i;
            continue;
        }
        size_t start = i;
        int32_t cp = DecodeUtf8(name, i);
        if (cp < 0) {
            out += name[start];
            continue;
        }
        locale_t locale = UnicodeLocale();
        int32_t upper = locale ? static_cast<int32_t>(towupper_l(static_cast<wint_t>(cp), locale)) : cp;
        AppendUtf8(static_cast<uint32_t>(upper), out);
    }
    return out;
}

size_t JolietLength(std::string_view name) {
    size_t units = 0;
    size_t i = 0;
    while (i < name.size()) {
        int32_t cp = DecodeUtf8(name, i);
        units += cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::string SystemErrorText(const char* what, const std::string& path, int err) {
    return std::string(what) + " " + path + ": " + std::strerror(err) + ".";
}

ssize_t ReadAt(int fd, void* data, size_t size, uint64_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, static_cast<char*>(data) + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

const Entry* Folder::Find(const std::string& name) const {
    auto it = exact.find(name);
    return it == exact.end() ? nullptr : &entries[it->second];
}

const std::vector<size_t>* Folder::FindFolded(const std::string& name) const {
    auto it = folded.find(FoldCase(name));
    return it == folded.end() ? nullptr : &it->second;
}

namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};

struct Walker {
    Tree& tree;
    bool keepGoing;
    std::vector<std::pair<dev_t, ino_t>> ancestors;

    bool IsAncestor(const struct stat& info) const {
        for (const auto& a : ancestors)
            if (a.first == info.st_dev && a.second == info.st_ino) return true;
        return false;
    }

    bool Inside(const std::string& real) const {
        std::string path = real + "/";
        return path.compare(0, tree.realRoot.size(), tree.realRoot) == 0;
    }

    void Walk(size_t index, const struct stat& self) {
        ancestors.emplace_back(self.st_dev, self.st_ino);
        std::string host = tree.folders[index].host;
        std::unique_ptr<DIR, DirCloser> dir(opendir(host.c_str()));
        if (!dir && keepGoing && index > 0) {
            tree.folders[index].error = errno;
            ancestors.pop_back();
            return;
        }
        if (!dir) throw Error(SystemErrorText("Cannot read the folder", host, errno));
        int fd = dirfd(dir.get());
        std::vector<Entry> entries;
        errno = 0;
        while (struct dirent* d = readdir(dir.get())) {
            if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
            Entry e;
            e.name = d->d_name;
            if (fstatat(fd, d->d_name, &e.info, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) continue; // gone between the listing and the look
                throw Error(SystemErrorText("Cannot read", host + e.name, errno));
            }
            if (S_ISLNK(e.info.st_mode))
                Follow(host, fd, e);
            else if (S_ISDIR(e.info.st_mode))
                e.kind = IsAncestor(e.info) ? EntryKind::LinkLoop : EntryKind::Folder;
            else if (!S_ISREG(e.info.st_mode))
                e.kind = EntryKind::Special;
            entries.push_back(std::move(e));
            errno = 0;
        }
        if (errno != 0) throw Error(SystemErrorText("Cannot read the folder", host, errno));
        dir.reset();
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });

        {
            Folder& folder = tree.folders[index];
            folder.entries = std::move(entries);
            folder.exact.reserve(folder.entries.size());
            for (size_t i = 0; i < folder.entries.size(); ++i) {
                folder.exact.emplace(folder.entries[i].name, i);
                folder.folded[FoldCase(folder.entries[i].name)].push_back(i);
            }
        }
        for (size_t i = 0; i < tree.folders[index].entries.size(); ++i) {
            Entry& e = tree.folders[index].entries[i];
            if (e.kind == EntryKind::File) {
                ++tree.files;
                continue;
            }
            if (e.kind != EntryKind::Folder) continue;
            Folder sub;
            sub.rel = Tree::RelPath(tree.folders[index], e.name);
            sub.host = tree.folders[index].host + e.name + "/";
            struct stat info = e.info;
            e.folder = static_cast<int>(tree.folders.size());
            tree.folders.push_back(std::move(sub));
            Walk(static_cast<size_t>(tree.folders[index].entries[i].folder), info);
        }
        ancestors.pop_back();
    }

    void Follow(const std::string& host, int fd, Entry& e) {
        std::vector<char> buffer(PATH_MAX + 1);
        ssize_t n = readlinkat(fd, e.name.c_str(), buffer.data(), buffer.size() - 1);
        if (n >= 0) e.linkTarget.assign(buffer.data(), static_cast<size_t>(n));
        e.viaLink = true;
        if (fstatat(fd, e.name.c_str(), &e.info, 0) != 0) {
            e.kind = errno == ELOOP ? EntryKind::LinkLoop : EntryKind::LinkBroken;
            return;
        }
        std::string path = host + e.name;
        std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
        if (!real) {
            e.kind = errno == ELOOP ? EntryKind::LinkLoop : EntryKind::LinkBroken;
            return;
        }
        if (!Inside(real.get())) {
            e.kind = EntryKind::LinkOutside;
            return;
        }
        if (S_ISDIR(e.info.st_mode))
            e.kind = IsAncestor(e.info) ? EntryKind::LinkLoop : EntryKind::Folder;
        else if (S_ISREG(e.info.st_mode))
            e.kind = EntryKind::File;
        else
            e.kind = EntryKind::Special;
    }
};

} // namespace

Tree WalkTree(const std::string& folder, bool keepGoing) {
    if (folder.empty()) throw Error("No project folder was given.");
    Tree tree;
    tree.root = folder.back() == '/' ? folder : folder + "/";
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw Error("The project folder " + folder + " does not exist.");
        throw Error(SystemErrorText("Cannot read the project folder", folder, errno));
    }
    if (!S_ISDIR(info.st_mode)) throw Error("The project folder " + folder + " is not a folder.");
    std::unique_ptr<char, decltype(&std::free)> real(realpath(folder.c_str(), nullptr), &std::free);
    if (!real) throw Error(SystemErrorText("Cannot read the project folder", folder, errno));
    tree.realRoot = real.get();
    if (tree.realRoot.back() != '/') tree.realRoot += '/';
    Folder root;
    root.host = tree.root;
    tree.folders.push_back(std::move(root));
    Walker walker{tree, keepGoing, {}};
    walker.Walk(0, info);
    return tree;
}

} // namespace publish::detail
