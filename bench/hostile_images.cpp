// Writes disc images made to hurt the reader, for measuring the time and memory of `kvd_cd check` on each:
//   loop.iso           the root's second sector starts with a parent record that leads back to the root
//   shared-extent.iso  N entries that all name one extent of 4 MiB (sparse on the disk)
//   nested.iso         1000 folders, each inside the one before
//   wide.iso           N entries in one folder
// Run by hand on a release build:
//   build/release/bench/kvd_hostile_images DIR [N]      (N: 100000 by default)
//   /usr/bin/time -v build/release/bin/kvd_cd check DIR/loop.iso
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "publish/raw_image.h"

namespace {

using raw_image::Image;

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string File(const std::string& name, uint32_t extent, uint32_t size) {
    return raw_image::Record(raw_image::Joliet(Utf16(name)), extent, size, false);
}

std::string Folder(const std::string& name, Image::Extent folder) {
    return raw_image::Record(raw_image::Joliet(Utf16(name)), folder.sector, folder.bytes, true);
}

// autorun.inf, the viewer and the first page, so that each image is a disc that would start.
std::vector<std::string> StartFiles(Image& image) {
    const std::string autorun = "[autorun]\r\nopen=kvd.exe \"-\" \"index.htm\"\r\n";
    const std::string page = "<html><body><p>Hello</p></body></html>\n";
    return {File("autorun.inf", image.AddFile(autorun), static_cast<uint32_t>(autorun.size())),
            File("index.htm", image.AddFile(page), static_cast<uint32_t>(page.size())),
            File("kvd.exe", image.AddFile("MZ"), 2)};
}

// Names that sort as they are numbered, as a mastering tool lays them out.
std::string Numbered(const char* prefix, int i, const char* suffix) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%07d%s", prefix, i, suffix);
    return name;
}

void Loop(const std::string& path) {
    Image image;
    const uint32_t root = image.Take(2 * raw_image::kSector);
    std::vector<std::string> entries = StartFiles(image);
    entries.push_back(""); // the next record starts the folder's second sector
    entries.push_back(raw_image::Record("\1", root, 2 * raw_image::kSector, true));
    image.Put(root, Image::FolderBytes(root, entries));
    image.SetJolietRoot({root, 2 * raw_image::kSector});
    image.Write(path);
}

void SharedExtent(const std::string& path, int count) {
    Image image;
    std::vector<std::string> entries = StartFiles(image);
    const uint32_t size = 4 << 20;
    const uint32_t shared = image.Take(size);
    image.Put(shared, "JFIF");
    for (int i = 0; i < count; ++i)
        entries.push_back(File(Numbered("p", i, ".jpg"), shared, size));
    image.SetJolietRoot(image.AddFolder(entries));
    image.Write(path);
}

void Nested(const std::string& path, int depth) {
    Image image;
    Image::Extent inner = image.AddFolder({});
    for (int i = 0; i < depth - 1; ++i)
        inner = image.AddFolder({Folder("d", inner)});
    std::vector<std::string> entries = StartFiles(image);
    entries.push_back(Folder("d", inner));
    image.SetJolietRoot(image.AddFolder(entries));
    image.Write(path);
}

void Wide(const std::string& path, int count) {
    Image image;
    std::vector<std::string> entries = StartFiles(image);
    const uint32_t empty = image.Take(raw_image::kSector);
    for (int i = 0; i < count; ++i)
        entries.push_back(File(Numbered("page", i, ".htm"), empty, 0));
    image.SetJolietRoot(image.AddFolder(entries));
    image.Write(path);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: kvd_hostile_images DIR [N]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int count = argc == 3 ? std::atoi(argv[2]) : 100000;
    try {
        Loop(dir + "/loop.iso");
        SharedExtent(dir + "/shared-extent.iso", count);
        Nested(dir + "/nested.iso", 1000);
        Wide(dir + "/wide.iso", count);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kvd_hostile_images: %s\n", e.what());
        return 1;
    }
    std::printf("wrote loop.iso, shared-extent.iso, nested.iso and wide.iso to %s\n", dir.c_str());
    return 0;
}
