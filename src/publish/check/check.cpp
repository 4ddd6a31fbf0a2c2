// The disc check of a project folder: one walk of the tree, then every reachable page read and parsed once.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "publish/disc/disc_reader.h"
#include "publish/publish.h"
#include "publish/check/references.h"
#include "publish/disc/tree.h"
#include "publish/engine/pages.h"
#include "publish/engine/pictures.h"
#include "publish/engine/scripts.h"
#include "publish/engine/styles.h"
#include "publish/engine/tally.h"
#include "viewer_core.h"

namespace publish {

namespace detail {

namespace {

bool EndsWithNoCase(const std::string& name, std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = name[name.size() - suffix.size() + i];
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
        if (c != suffix[i]) return false;
    }
    return true;
}

bool IsPage(const std::string& name) {
    return EndsWithNoCase(name, ".htm") || EndsWithNoCase(name, ".html") || EndsWithNoCase(name, ".xhtml");
}

bool IsStyleSheet(const std::string& name) { return EndsWithNoCase(name, ".css"); }

// Documents are read ahead on several threads, up to this many per thread, and settled in the order they
// were queued.
constexpr size_t kWindowPerThread = 16;
constexpr unsigned kMaxThreads = 8;
// While the check waits for a document being read, the progress is asked whether to go on this often.
constexpr std::chrono::milliseconds kAskEvery{100};

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// The file's bytes, up to limit; 0, or the error that stopped the reading.
int ReadWhole(const std::string& path, std::string& bytes, size_t limit = SIZE_MAX) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_size > 0)
        bytes.reserve(std::min<size_t>(static_cast<size_t>(info.st_size), limit));
    char buffer[65536];
    while (bytes.size() < limit) {
        ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - bytes.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            return err;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return 0;
}

// Line 1 of the last record of a settings file, read as the wizard's settings reader reads it: a line ends
// at a carriage return (a line feed right after it is skipped), a lone line feed stays inside the line,
// Ctrl-Z ends the file, and a record of seven lines starts wherever the file has not ended.
struct FirstPageSetting {
    bool found = false;
    std::string page;
    int line = 0;
};

FirstPageSetting ReadFirstPageSetting(const std::string& bytes) {
    FirstPageSetting setting;
    size_t pos = 0;
    int line = 1;
    auto atEnd = [&] { return pos >= bytes.size() || bytes[pos] == '\x1a'; };
    auto readLine = [&] {
        size_t start = pos;
        while (pos < bytes.size() && bytes[pos] != '\r' && bytes[pos] != '\x1a')
            ++pos;
        std::string text = bytes.substr(start, pos - start);
        if (pos < bytes.size() && bytes[pos] == '\r') {
            ++pos;
            if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
        }
        ++line;
        return text;
    };
    while (!atEnd()) {
        setting.found = true;
        setting.line = line;
        setting.page = readLine();
        for (int i = 0; i < 6; ++i)
            readLine();
    }
    return setting;
}

struct Located {
    const Folder* folder = nullptr; // the folder holding the entry
    const Entry* entry = nullptr;
    bool caseMismatch = false;
    std::string actualPath; // the path with the names as they are on disk
};

class Checker {
public:
    Checker(const Tree& tree, const CheckOptions& options) : tree_(tree), options_(options) {}

    CheckResult Run(const std::string& folder) {
        CheckNames();
        // A disc's files are read through the image when they are needed; the host has none to open.
        if (!tree_.fromImage) CheckReadable();
        for (const auto& [entry, finding] : tree_.discFindings) {
            if (entry) unreadable_.insert(entry);
            result_.findings.push_back(finding);
        }
        CheckStart();
        FirstPage();
        Crawl();
        CheckFragments();
        if (haveFirstPage_) NotLinked();
        Size(folder);
        return Finish();
    }

private:
    void Add(Severity severity, const char* kind, std::string file, int line, std::optional<std::string> reference,
             std::string message) {
        result_.findings.push_back(
            Finding{severity, kind, std::move(file), line, std::move(reference), std::move(message)});
    }

    // ---- names --------------------------------------------------------------------------------

    void CheckNames() {
        // Per folder, which length findings its own path already has: what lies below it is not reported again.
        std::vector<unsigned char> lengthReported(tree_.folders.size(), 0);
        for (size_t index = 0; index < tree_.folders.size(); ++index) {
            const Folder& folder = tree_.folders[index];
            // Only what goes on the disc can collide or need a Joliet name.
            auto onDisc = [](const Entry& e) { return e.kind == EntryKind::File || e.kind == EntryKind::Folder; };
            for (const auto& [folded, all] : folder.folded) {
                if (all.size() < 2) continue;
                std::vector<const Entry*> members;
                for (size_t i : all)
                    if (onDisc(folder.entries[i])) members.push_back(&folder.entries[i]);
                if (members.size() < 2) continue;
                const std::string& first = members[0]->name;
                for (size_t k = 1; k < members.size(); ++k) {
                    const Entry& e = *members[k];
                    Add(Severity::Error, "name-collision", Tree::RelPath(folder, e.name), 0, std::nullopt,
                        "The name differs only in letter case from " + Quote(first) +
                            " in the same folder; a reader on Windows sees only one of them.");
                }
            }
            for (const Entry& e : folder.entries) {
                std::string rel = Tree::RelPath(folder, e.name);
                if (onDisc(e)) {
                    // Names read back from a disc are what Joliet carried; Windows may still refuse them.
                    std::optional<std::string> notJoliet;
                    if (!tree_.fromImage) notJoliet = NotJolietReason(e.name);
                    if (notJoliet)
                        Add(Severity::Error, "name-not-joliet", rel, 0, std::nullopt, *notJoliet);
                    else if (auto why = NotWindowsReason(e.name))
                        Add(Severity::Error, "name-not-windows", rel, 0, std::nullopt, *why);
                    unsigned char reported = CheckPathLength(rel, lengthReported[index]);
                    if (e.kind == EntryKind::Folder) lengthReported[static_cast<size_t>(e.folder)] = reported;
                }
                switch (e.kind) {
                case EntryKind::LinkOutside:
                    Add(Severity::Error, "link-outside-folder", rel, 0, e.linkTarget,
                        "The symbolic link leads outside the project folder, so it is left off the disc.");
                    break;
                case EntryKind::LinkLoop:
                    Add(Severity::Error, "link-loop", rel, 0, e.viaLink ? std::optional(e.linkTarget) : std::nullopt,
                        "The symbolic link leads back into a folder that holds it, or round in a circle of links, "
                        "so it is left off the disc.");
                    break;
                case EntryKind::LinkBroken:
                    Add(Severity::Error, "link-broken", rel, 0, e.linkTarget,
                        "The symbolic link leads to nothing, so it is left off the disc.");
                    break;
                case EntryKind::Special:
                    Add(Severity::Warning, "special-file", rel, 0, std::nullopt,
                        "This is a device, pipe or socket, not a file, so it is left off the disc.");
                    break;
                default:
                    break;
                }
            }
        }
    }

    // ---- files the image must read ----------------------------------------------------------------

    void Unreadable(const Folder& folder, const Entry& e, int err) {
        if (!unreadable_.insert(&e).second) return;
        Add(Severity::Error, "unreadable", Tree::RelPath(folder, e.name), 0, std::nullopt,
            std::string("The file cannot be read (") + std::strerror(err) +
                "), so no image can be made of the folder until it can.");
    }

    // Every file goes into the image, linked or not, so every one must open.
    void CheckReadable() {
        for (const Folder& folder : tree_.folders) {
            if (folder.error != 0)
                Add(Severity::Error, "unreadable", folder.rel, 0, std::nullopt,
                    std::string("The folder cannot be read (") + std::strerror(folder.error) +
                        "), so no image can be made of the project folder until it can.");
            for (const Entry& e : folder.entries) {
                if (e.kind != EntryKind::File) continue;
                int fd = ::open((folder.host + e.name).c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0)
                    Unreadable(folder, e, errno);
                else
                    ::close(fd);
            }
        }
    }

    // Why a file could not be read: an error number, or the reader's own sentence.
    struct ReadFailure {
        int err = 0;
        std::string message;
    };

    // The file's bytes (up to limit), or why they cannot be read. Safe on any thread of the crawl: a disc's
    // reader is asked by one thread at a time.
    std::optional<ReadFailure> ReadBytes(const Folder& folder, const Entry& e, std::string& bytes,
                                         size_t limit = SIZE_MAX) const {
        if (tree_.readFile) {
            try {
                std::lock_guard<std::mutex> hold(readLock_);
                bytes = tree_.readFile(folder, e, limit);
                return std::nullopt;
            } catch (const Error& error) {
                return ReadFailure{0, error.what()};
            }
        }
        if (int err = ReadWhole(folder.host + e.name, bytes, limit)) return ReadFailure{err, {}};
        return std::nullopt;
    }

    void Report(const Folder& folder, const Entry& e, const ReadFailure& failure) {
        if (failure.err != 0)
            Unreadable(folder, e, failure.err);
        else if (unreadable_.insert(&e).second)
            Add(Severity::Error, "unreadable", Tree::RelPath(folder, e.name), 0, std::nullopt, failure.message);
    }

    // The file's bytes (up to limit); false, with the finding made, when it cannot be read.
    bool Read(const Folder& folder, const Entry& e, std::string& bytes, size_t limit = SIZE_MAX) {
        if (unreadable_.count(&e)) return false;
        if (auto failure = ReadBytes(folder, e, bytes, limit)) {
            Report(folder, e, *failure);
            return false;
        }
        return true;
    }

    // Reports a path longer than Joliet carries, or than Windows programs open, unless a folder above it was
    // reported for the same; returns what the path and the folders above it were reported for.
    unsigned char CheckPathLength(const std::string& rel, unsigned char reported) {
        constexpr unsigned char kJoliet = 1, kWindows = 2;
        const size_t length = JolietLength(rel);
        if (!(reported & kJoliet) && length > kJolietPathLimit) {
            Add(Severity::Error, "path-not-joliet", rel, 0, std::nullopt,
                "The path has " + std::to_string(length) + " characters; Joliet (the names readers on Windows see) " +
                    "carries at most " + std::to_string(kJolietPathLimit) + ".");
            reported |= kJoliet;
        }
        const size_t windows = 3 + length; // "D:\" in front
        if (!(reported & kWindows) && windows > kWindowsPathLimit) {
            Add(Severity::Warning, "path-long-for-windows", rel, 0, std::nullopt,
                "With a drive in front (D:\\) the path has " + std::to_string(windows) + " characters, more than the " +
                    std::to_string(kWindowsPathLimit) + " that many Windows programs can open.");
            reported |= kWindows;
        }
        return reported;
    }

    // Where the files are, as the findings name it: a folder, or a disc read back from its image.
    std::string Place(const char* inFolder) const {
        if (!tree_.fromImage) return inFolder;
        const std::string text = inFolder;
        return text.rfind("in ", 0) == 0 ? "on the disc" : "the disc";
    }

    // ---- the disc's start ---------------------------------------------------------------------

    // A name in the root as Windows finds it: exactly, else in any letter case.
    const Entry* RootFile(const std::string& name) const {
        const Folder& root = tree_.folders[0];
        const Entry* e = root.Find(name);
        if (!e) {
            if (const auto* others = root.FindFolded(name)) e = &root.entries[(*others)[0]];
        }
        return e && e->kind == EntryKind::File ? e : nullptr;
    }

    void CheckStart() {
        if (!RootFile("autorun.inf"))
            Add(Severity::Error, "missing-autorun", "", 0, std::nullopt,
                "There is no autorun.inf, so the disc will not start itself; run a preview to write one.");
        const Entry* viewer = RootFile("kvd.exe");
        if (!viewer) {
            Add(Severity::Error, "missing-viewer", "", 0, std::nullopt,
                "There is no kvd.exe, so the disc cannot show its pages; run a preview to copy the viewer in.");
            return;
        }
        std::string head;
        if (Read(tree_.folders[0], *viewer, head, 2) && head != "MZ")
            Add(Severity::Warning, "viewer-not-windows", viewer->name, 0, std::nullopt,
                "kvd.exe is not a Windows program, so readers on Windows cannot start it; put the Windows viewer "
                "program in the wizard folder and run a preview before the disc is made.");
    }

    // ---- lookups ------------------------------------------------------------------------------

    // Finds a path relative to the project folder, as a reader on Windows would: a name that exists only in
    // another letter case is found too, and says so.
    bool Locate(const std::string& path, Located& out) const {
        const Folder* folder = &tree_.folders[0];
        out = Located{};
        size_t start = 0;
        while (true) {
            size_t slash = path.find('/', start);
            std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
            const Entry* e = folder->Find(name);
            if (!e) {
                const auto* others = folder->FindFolded(name);
                if (!others) return false;
                e = &folder->entries[(*others)[0]];
                out.caseMismatch = true;
            }
            if (!out.actualPath.empty()) out.actualPath += '/';
            out.actualPath += e->name;
            if (slash == std::string::npos) {
                out.folder = folder;
                out.entry = e;
                return true;
            }
            if (e->kind != EntryKind::Folder) return false;
            folder = &tree_.folders[static_cast<size_t>(e->folder)];
            start = slash + 1;
        }
    }

    // ---- the first page -----------------------------------------------------------------------

    void FirstPage() {
        std::string page = options_.firstPage;
        std::string file;
        int line = 0;
        if (page.empty() && tree_.fromImage) {
            // A disc starts the viewer from its autorun.inf, so that line names the page readers see first.
            const Entry* autorun = RootFile("autorun.inf");
            if (!autorun) {
                Add(Severity::Error, "missing-first-page", "", 0, std::nullopt,
                    "There is no autorun.inf naming the first page; run a preview to write one.");
                return;
            }
            file = autorun->name;
            std::string autorunBytes;
            if (!Read(tree_.folders[0], *autorun, autorunBytes)) return;
            AutorunOpen open = ParseAutorunOpen(autorunBytes);
            line = open.line;
            if (!open.found) {
                Add(Severity::Error, "missing-first-page", file, 0, std::nullopt,
                    "autorun.inf has no open= line starting the viewer; run a preview to write one.");
                return;
            }
            page = viewer::ParseViewerArgs(open.tokens).firstPage;
        } else if (page.empty()) {
            const Entry* cfg = RootFile("kvd.cfg");
            if (!cfg) {
                Add(Severity::Error, "missing-first-page", "", 0, std::nullopt,
                    "There is no kvd.cfg naming the first page; run a preview to write one.");
                return;
            }
            std::string settings;
            if (!Read(tree_.folders[0], *cfg, settings)) return;
            FirstPageSetting setting = ReadFirstPageSetting(settings);
            file = cfg->name;
            line = setting.line;
            page = setting.page;
            if (page.empty()) {
                Add(Severity::Error, "missing-first-page", file, line, std::nullopt,
                    "kvd.cfg names no first page; choose one and run a preview.");
                return;
            }
        }
        // The first page is a file name for the viewer, not a URL: backslashes separate folders, nothing is
        // decoded.
        std::string path;
        bool outside = page.find(':') != std::string::npos;
        std::vector<std::string> segments;
        size_t start = 0;
        while (!outside && start <= page.size()) {
            size_t end = page.find_first_of("\\/", start);
            if (end == std::string::npos) end = page.size();
            std::string segment = page.substr(start, end - start);
            start = end + 1;
            if (segment.empty() || segment == ".") {
                if (end == 0) outside = true; // starts at the root of a drive
                continue;
            }
            if (segment == "..") {
                if (segments.empty())
                    outside = true;
                else
                    segments.pop_back();
                continue;
            }
            segments.push_back(segment);
        }
        for (const std::string& s : segments)
            path += (path.empty() ? "" : "/") + s;
        // A page named with a separator after it is asked for as a folder, and opening it fails.
        bool asFolder = !page.empty() && (page.back() == '\\' || page.back() == '/');
        Located located;
        if (outside || asFolder || path.empty() || !Locate(path, located) || located.entry->kind != EntryKind::File) {
            Add(Severity::Error, "missing-first-page", file, line, page,
                "The first page " + Quote(page) + " is not a file " + Place("in the project folder") + ".");
            return;
        }
        if (located.caseMismatch)
            Add(Severity::Warning, "case-mismatch", file, line, page,
                "The first page is named " + Quote(located.actualPath) +
                    " " + Place("in the folder") + "; the viewer finds it on Windows, but the letter case differs.");
        haveFirstPage_ = true;
        Enqueue(located, true);
    }

    // ---- the crawl ----------------------------------------------------------------------------

    struct Document {
        const Folder* folder;
        const Entry* entry;
        std::string rel;
        bool html;
        bool script = false;
        // A style sheet without a character set of its own is read in its page's.
        std::string charset;
        bool charsetDeclared = false;
        bool unreadable = false; // known to be when it left the queue: not read again
    };

    struct PendingFragment {
        std::string file;
        int line;
        std::string reference;
        const Entry* target;
        std::string targetRel;
        std::string fragment;
    };

    void Enqueue(const Located& located, bool asPage, const std::string& charset = {}, bool declared = false,
                 bool asScript = false) {
        const Entry* e = located.entry;
        if (e->kind != EntryKind::File) return;
        bool html = asPage || IsPage(e->name);
        bool script = !html && asScript;
        if (!html && !script && !IsStyleSheet(e->name)) return;
        if (!visited_.insert(e).second) return;
        queue_.push_back(
            Document{located.folder, e, Tree::RelPath(*located.folder, e->name), html, script, charset, declared});
    }

    // A picture the Windows viewer's engine cannot decode, judged by the file's first bytes.
    void Picture(const Located& located, int line, engine::Tally& tally) {
        auto [it, inserted] = pictures_.try_emplace(located.entry);
        if (inserted) {
            std::string head;
            if (Read(*located.folder, *located.entry, head, engine::kPictureHeadBytes))
                it->second = engine::UndecodablePicture(head);
        }
        if (!it->second.empty()) tally.Add("windows-image", Severity::Error, it->second, line);
    }

    void NoCharset(const Document& doc) {
        Add(Severity::Warning, "no-charset", doc.rel, 0, std::nullopt,
            doc.html ? "The page has characters beyond ASCII but declares no character set, so the viewers read it "
                       "as windows-1252 and its accented names may not match the files; declare it near the top "
                       "of the page, as <meta charset=\"utf-8\"> for UTF-8."
                     : "The style sheet has characters beyond ASCII, but neither it nor the page that loads it "
                       "declares a character set, so the viewers read it as windows-1252; start it with "
                       "@charset \"utf-8\"; for UTF-8, or declare the page's.");
    }

    void Progress() {
        if (options_.progress && !options_.progress(done_, done_ + window_.size() + queue_.size()))
            throw Cancelled();
    }

    // A reference with where it leads, and the file it names when that is in the tree.
    struct Step {
        RawReference ref;
        Resolved resolved;
        bool found = false;
        Located located;
    };

    // What a document's bytes say, made without touching the check's state, so that documents can be read
    // ahead on other threads; what follows from it is settled in the order of the queue.
    struct Parsed {
        std::optional<ReadFailure> failure;
        std::vector<Step> steps;
        std::unordered_set<std::string> anchors;
        std::string charset;
        bool charsetDeclared = false;
        bool nonAscii = false;
        engine::Tally tally;
    };

    void Parse(const Document& doc, Parsed& out) const {
        if (doc.unreadable) return;
        std::string bytes;
        out.failure = ReadBytes(*doc.folder, *doc.entry, bytes);
        if (out.failure) return;
        std::vector<RawReference> references;
        const bool rules = options_.engineRules;
        Resolved base;
        bool hasBase = false;
        out.charset = doc.charset;
        out.charsetDeclared = doc.charsetDeclared;
        if (doc.html) {
            engine::PageScanner pages(out.tally, &scripts_);
            PageScan scan = ScanHtml(bytes, EndsWithNoCase(doc.entry->name, ".xhtml"), rules ? &pages : nullptr);
            references = std::move(scan.references);
            out.anchors = std::move(scan.anchors);
            if (scan.hasBase) {
                base = ResolveReference(scan.base.text, doc.folder->rel);
                hasBase = base.target != Target::Self && base.target != Target::Inline;
            }
            out.charset = std::move(scan.charset);
            out.charsetDeclared = scan.charsetDeclared;
            out.nonAscii = scan.nonAscii;
        } else if (doc.script) {
            // A script file is read in its page's character set, as a style sheet without @charset is.
            Decoded script = DecodeStyleSheet(bytes, doc.charset, doc.charsetDeclared);
            scripts_.ScanFile(script.text, out.tally);
        } else {
            Decoded sheet = DecodeStyleSheet(bytes, doc.charset, doc.charsetDeclared);
            engine::StyleScanner styles(out.tally, false);
            ScanCss(sheet.text, 1, references, rules ? &styles : nullptr);
            out.charset = std::move(sheet.charset);
            out.charsetDeclared = sheet.declared;
            out.nonAscii = sheet.nonAscii;
        }
        out.steps.resize(references.size());
        for (size_t i = 0; i < references.size(); ++i) {
            Step& step = out.steps[i];
            step.ref = std::move(references[i]);
            step.resolved = ResolveReference(step.ref.text, doc.folder->rel, hasBase ? &base : nullptr);
            if (step.resolved.target == Target::Local && !step.resolved.path.empty())
                step.found = Locate(step.resolved.path, step.located);
        }
    }

    // The findings of a parsed document and the documents it leads to, in the order the queue had it. A file
    // found unreadable meanwhile is passed over, as it would be had it been read only now.
    void Settle(Document& doc, Parsed& parsed) {
        if (unreadable_.count(doc.entry)) return;
        if (parsed.failure) {
            Report(*doc.folder, *doc.entry, *parsed.failure);
        } else {
            if (doc.html) anchors_[doc.entry] = std::move(parsed.anchors);
            doc.charset = std::move(parsed.charset);
            doc.charsetDeclared = parsed.charsetDeclared;
            if (parsed.nonAscii && !doc.charsetDeclared) NoCharset(doc);
            for (const Step& step : parsed.steps)
                Follow(doc, step, parsed.tally);
            for (Finding& finding : parsed.tally.Findings(doc.rel))
                result_.findings.push_back(std::move(finding));
        }
    }

    // How many threads read documents.
    unsigned Threads() const {
        if (options_.threads != 0) return options_.threads;
        return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    }

    // A document taken from the queue, read by whichever thread takes it first.
    struct Slot {
        Document doc;
        Parsed parsed;
        bool done = false; // under the read-ahead's lock
        std::exception_ptr failure;
    };

    // Helper threads read the documents of the window ahead while this thread settles them in order. Only
    // this thread changes the check's state and asks the progress whether to go on.
    class ReadAhead {
    public:
        // Fewer helpers start when the system has no more threads to give; with none, Await reads every
        // document itself.
        ReadAhead(Checker& checker, unsigned helpers) : checker_(checker) {
            threads_.reserve(helpers);
            for (unsigned k = 0; k < helpers; ++k) {
                try {
                    threads_.emplace_back([this] { Help(); });
                } catch (const std::system_error&) {
                    break;
                }
            }
        }
        ~ReadAhead() {
            {
                std::lock_guard<std::mutex> hold(lock_);
                stopping_ = true;
            }
            wake_.notify_all();
            for (std::thread& thread : threads_)
                thread.join();
        }
        ReadAhead(const ReadAhead&) = delete;
        ReadAhead& operator=(const ReadAhead&) = delete;

        void Offer(Slot* slot) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                jobs_.push_back(slot);
            }
            wake_.notify_one();
        }

        // Waits until the slot is read, reading it or the next ones here while helpers are busy; asks the
        // progress now and then while it only waits.
        void Await(Slot& slot) {
            std::unique_lock<std::mutex> hold(lock_);
            while (!slot.done) {
                if (!jobs_.empty()) {
                    RunNext(hold);
                    continue;
                }
                if (!finished_.wait_for(hold, kAskEvery, [&] { return slot.done; })) {
                    hold.unlock();
                    checker_.Progress();
                    hold.lock();
                }
            }
            if (slot.failure) std::rethrow_exception(slot.failure);
        }

    private:
        // Takes the first job and reads it with the lock let go; a failure waits in the slot for Await.
        void RunNext(std::unique_lock<std::mutex>& hold) {
            Slot* job = jobs_.front();
            jobs_.pop_front();
            hold.unlock();
            try {
                checker_.Parse(job->doc, job->parsed);
            } catch (...) {
                job->failure = std::current_exception();
            }
            hold.lock();
            job->done = true;
        }

        void Help() {
            std::unique_lock<std::mutex> hold(lock_);
            while (true) {
                wake_.wait(hold, [&] { return stopping_ || !jobs_.empty(); });
                if (stopping_) return;
                RunNext(hold);
                finished_.notify_all();
            }
        }

        Checker& checker_;
        std::mutex lock_; // the jobs and the slots' done
        std::deque<Slot*> jobs_; // offered and not yet taken, in the queue's order
        bool stopping_ = false;
        std::condition_variable wake_;     // a job offered, or the end
        std::condition_variable finished_; // a helper's job done
        std::vector<std::thread> threads_; // last, so that they start after the rest and stop first
    };

    void Crawl() {
        Progress();
        const unsigned threads = Threads();
        ReadAhead ahead(*this, threads - 1);
        // A window as deep as a few documents for each thread keeps them busy while this one settles.
        const size_t depth = kWindowPerThread * threads;
        while (!queue_.empty() || !window_.empty()) {
            while (window_.size() < depth && !queue_.empty()) {
                Slot& slot = window_.emplace_back();
                slot.doc = std::move(queue_.front());
                queue_.pop_front();
                slot.doc.unreadable = unreadable_.count(slot.doc.entry) != 0;
                ahead.Offer(&slot);
            }
            Slot& front = window_.front();
            ahead.Await(front);
            Settle(front.doc, front.parsed);
            window_.pop_front();
            ++done_;
            Progress();
        }
    }

    void Follow(const Document& doc, const Step& step, engine::Tally& tally) {
        const RawReference& ref = step.ref;
        const Resolved& r = step.resolved;
        switch (r.target) {
        case Target::Inline:
            return;
        case Target::External:
            Add(Severity::Note, "external-link", doc.rel, ref.line, ref.text,
                r.scheme.empty() || r.scheme == "http" || r.scheme == "https" || r.scheme == "ftp"
                    ? "The link leads off the disc to the network; it is not checked and works only when the "
                      "reader is online."
                    : "The link leads off the disc (" + r.scheme + ":); it is not checked.");
            return;
        case Target::Outside:
            Add(Severity::Error, "outside-folder", doc.rel, ref.line, ref.text,
                "The reference leads outside " + Place("the project folder") + ", so its target " +
                    (tree_.fromImage ? "is not there." : "will not be on the disc."));
            return;
        case Target::Self:
            if (r.hasFragment && doc.html)
                fragments_.push_back(PendingFragment{doc.rel, ref.line, ref.text, doc.entry, doc.rel, r.fragment});
            return;
        case Target::Local:
            break;
        }
        const Located& located = step.located;
        if (!step.found) {
            Add(Severity::Error, "missing-target", doc.rel, ref.line, ref.text,
                "The target " + (r.path.empty() ? std::string("folder") : Quote(r.path)) + " does not exist.");
            return;
        }
        const Entry* e = located.entry;
        if (e->kind != EntryKind::File && e->kind != EntryKind::Folder) {
            Add(Severity::Error, "missing-target", doc.rel, ref.line, ref.text,
                "The target " + Quote(located.actualPath) + " is a link or special file that is left off the disc.");
            return;
        }
        if (e->kind == EntryKind::Folder || r.folderSyntax) {
            Add(Severity::Error, "missing-target", doc.rel, ref.line, ref.text,
                "The target " + Quote(located.actualPath) +
                    " is a folder, not a file; on a disc no web server picks a page in it.");
            return;
        }
        if (located.caseMismatch)
            Add(Severity::Warning, "case-mismatch", doc.rel, ref.line, ref.text,
                "The target is named " + Quote(located.actualPath) +
                    " " + Place("in the folder") + "; the link works on Windows but not where letter case counts.");
        if (options_.engineRules && ref.role == Role::Picture) Picture(located, ref.line, tally);
        Enqueue(located, false, doc.charset, doc.charsetDeclared, options_.engineRules && ref.role == Role::Script);
        if (r.hasFragment && IsPage(e->name))
            fragments_.push_back(PendingFragment{doc.rel, ref.line, ref.text, e, located.actualPath, r.fragment});
    }

    void CheckFragments() {
        for (const PendingFragment& f : fragments_) {
            // "#" and "#top" lead to the top of any page.
            std::string lower = f.fragment;
            for (char& c : lower)
                c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
            if (f.fragment.empty() || lower == "top") continue;
            auto it = anchors_.find(f.target);
            if (it == anchors_.end() || it->second.count(f.fragment)) continue;
            Add(Severity::Warning, "missing-anchor", f.file, f.line, f.reference,
                Quote(f.targetRel) + " has no anchor named " + Quote(f.fragment) + ".");
        }
    }

    void NotLinked() {
        for (const Folder& folder : tree_.folders)
            for (const Entry& e : folder.entries)
                if (e.kind == EntryKind::File && IsPage(e.name) && !visited_.count(&e))
                    Add(Severity::Note, "not-linked", Tree::RelPath(folder, e.name), 0, std::nullopt,
                        "No page reached from the first page links to this page.");
    }

    // ---- size ---------------------------------------------------------------------------------

    void Size(const std::string& folder) {
        std::string label = options_.label.empty() ? DefaultVolumeLabel(folder) : options_.label;
        result_.imageBytes = tree_.fromImage ? tree_.imageBytes : TreeImageSize(tree_, label);
        result_.mediumBytes = MediumSectors(options_.medium) * kSectorBytes;
        if (result_.imageBytes > result_.mediumBytes) {
            uint64_t sectors = result_.imageBytes / kSectorBytes;
            Add(Severity::Error, "too-large", "", 0, std::nullopt,
                "The image takes " + std::to_string(result_.imageBytes) + " bytes (" + std::to_string(sectors) +
                    " sectors), more than the " + std::to_string(MediumSectors(options_.medium)) + " sectors of a " +
                    MediumDescription(options_.medium) + ".");
        }
    }

    CheckResult Finish() {
        std::stable_sort(result_.findings.begin(), result_.findings.end(), [](const Finding& a, const Finding& b) {
            if (a.file != b.file) return a.file < b.file;
            if (a.line != b.line) return a.line < b.line;
            return a.kind < b.kind;
        });
        for (const Finding& f : result_.findings) {
            if (f.severity == Severity::Error)
                ++result_.errors;
            else if (f.severity == Severity::Warning)
                ++result_.warnings;
            else
                ++result_.notes;
        }
        return std::move(result_);
    }

    const Tree& tree_;
    const CheckOptions& options_;
    CheckResult result_;
    bool haveFirstPage_ = false;
    std::deque<Document> queue_;
    std::unordered_set<const Entry*> visited_;
    std::unordered_set<const Entry*> unreadable_;
    std::unordered_map<const Entry*, std::unordered_set<std::string>> anchors_;
    std::vector<PendingFragment> fragments_;
    std::unordered_map<const Entry*, std::string_view> pictures_; // what each picture is, when the engine lacks it
    // One for the whole check, so that identical inline blocks are read once; the crawl's threads share it.
    mutable engine::ScriptScanner scripts_;
    mutable std::mutex readLock_; // a disc's reader is not asked by two threads at once
    uint64_t done_ = 0;
    // Documents taken from the queue in its order, being read or waiting to be settled; a deque, so that a
    // slot stays where it is while others come and go.
    std::deque<Slot> window_;
};

} // namespace

CheckResult CheckTree(const Tree& tree, const std::string& folder, const CheckOptions& options) {
    return Checker(tree, options).Run(folder);
}

} // namespace detail

CheckResult CheckProject(const std::string& folder, const CheckOptions& options) {
    detail::Tree tree = detail::WalkTree(folder, true);
    return detail::Checker(tree, options).Run(folder);
}

} // namespace publish
