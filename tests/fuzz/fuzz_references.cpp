// The reference extraction of pages, style sheets and srcset values, and where each reference
// leads: no crash on any bytes, lines within the text, and no resolved path that could climb out
// of the project folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "publish/check/references.h"

using fuzz_support::Require;
using namespace publish::detail;

namespace {

// A local target is a clean relative path: nothing a later join could read as a way up or out.
void CheckResolved(const Resolved& r, std::string_view reference) {
    if (r.target != Target::Local) {
        Require(r.path.empty(), "only a local target has a path", reference);
        return;
    }
    Require(r.path.empty() || r.path.front() != '/', "local path is relative", reference);
    size_t start = 0;
    while (!r.path.empty() && start <= r.path.size()) {
        size_t slash = r.path.find('/', start);
        if (slash == std::string::npos) slash = r.path.size();
        const std::string_view segment = std::string_view(r.path).substr(start, slash - start);
        Require(!segment.empty() && segment != "." && segment != "..", "local path segment is a name", reference);
        start = slash + 1;
    }
}

void CheckReference(const std::string& reference, const Resolved* base) {
    for (const char* folder : {"", "a", "a/b"}) {
        const Resolved r = ResolveReference(reference, folder, base);
        CheckResolved(r, reference);
        // A reference resolved from the root can only lose folders when read deeper, never gain an exit.
        if (*folder == '\0' && base == nullptr && r.target == Target::Local) {
            const Resolved deeper = ResolveReference(reference, "a/b", nullptr);
            Require(deeper.target == Target::Local, "a path inside from the root stays inside deeper", reference);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const PageScan page = ScanHtml(bytes);
    const int pageLines = 1 + fuzz_support::LineBreaks(bytes, false);
    Resolved base;
    if (page.hasBase) {
        base = ResolveReference(page.base.text, "", nullptr);
        CheckResolved(base, page.base.text);
    }
    for (const RawReference& reference : page.references) {
        Require(reference.line >= 1 && reference.line <= pageLines, "page line within the text",
                std::to_string(reference.line) + " of " + std::to_string(pageLines) + ": " + reference.text);
        CheckReference(reference.text, page.hasBase ? &base : nullptr);
    }

    std::vector<RawReference> css;
    ScanCss(bytes, 7, css);
    const int cssLast = 7 + fuzz_support::LineBreaks(bytes, true);
    for (const RawReference& reference : css) {
        Require(reference.line >= 7 && reference.line <= cssLast, "style line within the text",
                std::to_string(reference.line) + " of " + std::to_string(cssLast) + ": " + reference.text);
        CheckReference(reference.text, nullptr);
    }

    for (const std::string& url : SrcsetUrls(bytes)) {
        Require(!url.empty(), "srcset url is not empty");
        Require(bytes.find(url) != std::string_view::npos, "srcset url is a piece of the value", url);
        Require(url.back() != ',', "srcset url does not end in a comma", url);
        for (char c : url)
            Require(c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f', "srcset url has no space", url);
    }

    const std::string decoded = PercentDecode(bytes);
    Require(decoded.size() <= bytes.size(), "percent decoding never grows the text", decoded);
    return 0;
}
