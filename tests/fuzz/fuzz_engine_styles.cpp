// The engine's rules for style sheets and pages on any bytes: findings only of their kinds, on lines of the
// text, and the references of the link check the same whether the rules read along or not.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz_support.h"
#include "publish/check/references.h"
#include "publish/engine/pages.h"
#include "publish/engine/pictures.h"
#include "publish/engine/styles.h"
#include "publish/engine/tally.h"

namespace {

using fuzz_support::Require;
using publish::Finding;
using publish::detail::RawReference;

std::vector<std::pair<std::string, int>> Plain(const std::vector<RawReference>& references) {
    std::vector<std::pair<std::string, int>> out;
    for (const RawReference& r : references)
        out.emplace_back(r.text, r.line);
    return out;
}

void CheckFindings(const publish::engine::Tally& tally, int first, int last, bool page) {
    for (const Finding& f : tally.Findings("f")) {
        Require(f.line >= first && f.line <= last, "finding line within the text",
                f.kind + " " + std::to_string(f.line) + " of " + std::to_string(last));
        const bool styleKind = f.kind == "windows-css" || f.kind == "windows-font";
        Require(styleKind || (page && (f.kind == "windows-html" || f.kind == "windows-script")),
                "finding of a kind the rules make", f.kind);
        Require(!f.message.empty() && f.message.back() == '.', "finding is a sentence", f.message);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const int cssLast = 3 + fuzz_support::LineBreaks(bytes, true);
    std::vector<RawReference> alone;
    publish::detail::ScanCss(bytes, 3, alone);
    for (bool declarationsOnly : {false, true}) {
        publish::engine::Tally tally;
        publish::engine::StyleScanner styles(tally, declarationsOnly);
        std::vector<RawReference> read;
        publish::detail::ScanCss(bytes, 3, read, &styles);
        Require(Plain(read) == Plain(alone), "style references unchanged by the rules");
        CheckFindings(tally, 3, cssLast, false);
    }

    const publish::detail::PageScan page = publish::detail::ScanHtml(bytes);
    publish::engine::Tally tally;
    publish::engine::PageScanner pages(tally, nullptr);
    const publish::detail::PageScan read = publish::detail::ScanHtml(bytes, false, &pages);
    Require(Plain(read.references) == Plain(page.references), "page references unchanged by the rules");
    CheckFindings(tally, 1, 1 + fuzz_support::LineBreaks(bytes, false), true);

    const std::string_view what = publish::engine::UndecodablePicture(bytes);
    Require(what.empty() || what.size() > 8, "picture format in words", what);
    return 0;
}
