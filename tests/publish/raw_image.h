// Disc images put together record by record, for shapes no mastering tool makes: folders that hold their
// own parent, names Joliet forbids, files past the end or sharing their bytes. Written sparse, so that an
// image of many gigabytes costs only its folders on the disk. Shared by the tests and bench/.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace raw_image {

constexpr uint32_t kSector = 2048;
constexpr uint8_t kFolderFlag = 0x02;

// A 32-bit number both ways round, as every number of a descriptor or a record is stored.
inline void Both32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
        bytes[at + 7 - i] = static_cast<char>(value >> (8 * i));
    }
}

// One folder record; id is the name's bytes as the tree stores them (see Joliet).
inline std::string Record(std::string_view id, uint32_t extent, uint32_t size, bool folder, uint8_t flags = 0) {
    const size_t length = 33 + id.size() + (id.size() % 2 == 0 ? 1 : 0);
    std::string r(length, '\0');
    r[0] = static_cast<char>(length);
    Both32(r, 2, extent);
    Both32(r, 10, size);
    r[25] = static_cast<char>(flags | (folder ? kFolderFlag : 0));
    r[28] = r[31] = 1; // volume sequence number
    r[32] = static_cast<char>(id.size());
    r.replace(33, id.size(), id);
    return r;
}

// A name as the Joliet tree stores it: UTF-16 big-endian units.
inline std::string Joliet(std::u16string_view name) {
    std::string out;
    for (char16_t unit : name) {
        out += static_cast<char>(unit >> 8);
        out += static_cast<char>(unit & 0xff);
    }
    return out;
}

// Records laid into whole sectors in order, none crossing a sector's end; an empty record starts the next sector.
inline std::string Lay(const std::vector<std::string>& records) {
    std::string out;
    for (const std::string& r : records) {
        const size_t used = out.size() % kSector;
        if (r.empty() || used + r.size() > kSector) out.resize(out.size() + (used ? kSector - used : 0), '\0');
        out += r;
    }
    if (out.empty() || out.size() % kSector) out.resize((out.size() / kSector + 1) * kSector, '\0');
    return out;
}

class Image {
public:
    // Sectors 16 to 18 hold the primary descriptor, Joliet's and the terminator; the primary tree is an empty
    // root at 19, so a reader takes the Joliet tree.
    Image() : next_(20) {
        Put(19, Lay({Record(std::string(1, '\0'), 19, kSector, true), Record("\1", 19, kSector, true)}));
    }

    // Sectors of its own for something; nothing written there reads as zeros.
    uint32_t Take(uint64_t bytes) {
        const uint32_t first = next_;
        next_ += static_cast<uint32_t>((bytes + kSector - 1) / kSector);
        return first;
    }
    void Put(uint32_t sector, std::string bytes) { chunks_[uint64_t(sector) * kSector] = std::move(bytes); }
    uint32_t AddFile(const std::string& bytes) {
        const uint32_t at = Take(bytes.size());
        Put(at, bytes);
        return at;
    }

    // The bytes of a folder at extent: its own record, its parent's (never followed), then the entries.
    static std::string FolderBytes(uint32_t extent, const std::vector<std::string>& entries) {
        std::vector<std::string> all = {"", ""};
        all.insert(all.end(), entries.begin(), entries.end());
        all[0] = all[1] = Record(std::string(1, '\0'), extent, 0, true);
        const auto length = static_cast<uint32_t>(Lay(all).size());
        all[0] = Record(std::string(1, '\0'), extent, length, true);
        all[1] = Record("\1", extent, length, true);
        return Lay(all);
    }
    struct Extent {
        uint32_t sector;
        uint32_t bytes;
    };
    Extent AddFolder(const std::vector<std::string>& entries) {
        const std::string bytes = FolderBytes(0, entries);
        const uint32_t at = Take(bytes.size());
        Put(at, FolderBytes(at, entries));
        return {at, static_cast<uint32_t>(bytes.size())};
    }
    void SetJolietRoot(Extent root) { root_ = root; }
    // The volume's size in sectors; by default everything taken so far and a padding of 16 sectors, as mastering
    // tools leave: libisofs reads one sector past a folder that ends in a padded sector.
    void SetSectors(uint32_t sectors) { sectors_ = sectors; }
    uint32_t Sectors() const { return sectors_ ? sectors_ : next_ + 16; }

    // Writes the image sparse: only the descriptors, folders and file bytes put are written.
    void Write(const std::string& path) const {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) throw std::runtime_error("cannot write " + path);
        bool ok = ::ftruncate(fd, static_cast<off_t>(uint64_t(Sectors()) * kSector)) == 0;
        auto put = [&](uint64_t at, const std::string& bytes) {
            ok = ok &&
                 ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)) == static_cast<ssize_t>(bytes.size());
        };
        put(16 * kSector, Descriptor(1, {19, kSector}));
        put(17 * kSector, Descriptor(2, root_));
        put(18 * kSector, Descriptor(255, {0, 0}));
        for (const auto& [at, bytes] : chunks_)
            put(at, bytes);
        ok = ::close(fd) == 0 && ok;
        if (!ok) throw std::runtime_error("cannot write " + path);
    }

private:
    std::string Descriptor(uint8_t type, Extent root) const {
        std::string d(kSector, '\0');
        d[0] = static_cast<char>(type);
        d.replace(1, 5, "CD001");
        d[6] = 1;
        if (type == 255) return d;
        d.replace(8, 64, std::string(64, ' ')); // system and volume identifiers
        if (type == 2) d.replace(88, 3, "%/E"); // Joliet, level 3
        Both32(d, 80, Sectors());
        d[120] = d[123] = 1; // volume set size
        d[124] = d[127] = 1; // volume sequence number
        d[129] = 8;          // 2048-byte blocks, both ways round
        d[130] = 8;
        d[881] = 1; // file structure version
        d.replace(156, 34, Record(std::string(1, '\0'), root.sector, root.bytes, true));
        return d;
    }

    uint32_t next_;
    uint32_t sectors_ = 0;
    Extent root_{19, kSector};
    std::map<uint64_t, std::string> chunks_;
};

} // namespace raw_image
