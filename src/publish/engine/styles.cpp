// The rules for style sheets: each declaration, selector, at-rule and function asked of the support table.
#include "publish/engine/styles.h"

#include "publish/ascii.h"
#include "publish/engine/compat_table.h"

namespace publish::engine {

namespace {

using ascii::Lower;

// A vendor's own name (-webkit-..., -ms-...) is written for one engine on purpose.
bool Vendor(std::string_view name) { return !name.empty() && name[0] == '-'; }

bool IsDelim(const CssToken& token, char c) { return token.type == CssToken::Type::Delim && token.delim == c; }

// A url's file format by its ending, without query or fragment.
std::string Extension(std::string_view url) {
    size_t end = url.find_first_of("?#");
    if (end != std::string_view::npos) url = url.substr(0, end);
    size_t dot = url.rfind('.');
    size_t slash = url.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    return Lower(url.substr(dot + 1));
}

std::string PropertyWords(const std::string& name) {
    if (name == "gap") return "flex gap";
    return "CSS property \"" + name + "\"";
}

} // namespace

StyleScanner::StyleScanner(Tally& tally, bool declarationsOnly) : tally_(tally) {
    frames_.emplace_back(declarationsOnly ? Block::Declarations : Block::Rules);
}

StyleScanner::~StyleScanner() = default;

void StyleScanner::Flag(std::string what, int line) { tally_.Add("windows-css", Severity::Warning, what, line); }

bool StyleScanner::UrlIsPicture() const {
    Block block = frames_.back().block;
    if (block != Block::Declarations) return false;
    return statement_.empty() || statement_.front().token.type != CssToken::Type::AtKeyword;
}

void StyleScanner::Token(const CssToken& token) {
    if (token.type == CssToken::Type::Delim) {
        if (token.delim == '{') {
            Prelude(token.line);
            statement_.clear();
            return;
        }
        if (token.delim == ';') {
            Statement();
            statement_.clear();
            return;
        }
        if (token.delim == '}') {
            Statement();
            statement_.clear();
            Close();
            return;
        }
    }
    // A statement longer than any sheet needs is cut, so that hostile text costs bounded memory.
    if (statement_.size() >= 4096) return;
    Held held{token, std::string(token.text)};
    held.token.text = {}; // the tokenizer's text is gone by the time the statement is read: text holds it
    statement_.push_back(std::move(held));
}

void StyleScanner::End() {
    Statement();
    statement_.clear();
}

void StyleScanner::Close() {
    if (frames_.size() <= 1) return; // a stray "}" closes nothing
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (frame.block == Block::FontFace && frame.fontSources > 0 && frame.fontSources == frame.woff2Sources)
        tally_.Add("windows-font", Severity::Warning, "web font offered only as WOFF2", frame.line);
}

void StyleScanner::Prelude(int braceLine) {
    Block parent = frames_.back().block;
    int line = statement_.empty() ? braceLine : statement_.front().token.line;
    if (frames_.size() >= 256 || parent == Block::Skipped) {
        frames_.emplace_back(Block::Skipped, line);
        return;
    }
    bool nested = parent == Block::Declarations || parent == Block::FontFace;
    if (!statement_.empty() && statement_.front().token.type == CssToken::Type::AtKeyword) {
        std::string name = Lower(statement_.front().text);
        if (nested) Flag("nested rule", line);
        // The engine skips what it cannot test, as the author of the test meant.
        if (name == "supports" || nested || Vendor(name)) {
            frames_.emplace_back(Block::Skipped, line);
            return;
        }
        if (EngineLacks("css.at-rules." + name)) {
            Flag("@" + name + " rule", line);
            frames_.emplace_back(Block::Skipped, line);
            return;
        }
        Block block = Block::Declarations;
        if (name == "font-face")
            block = Block::FontFace;
        else if (name == "keyframes")
            block = Block::Keyframes;
        else if (name == "media" || name == "document")
            block = Block::Rules;
        frames_.emplace_back(block, line);
        return;
    }
    if (nested) {
        Flag("nested rule", line);
        frames_.emplace_back(Block::Skipped, line);
        return;
    }
    if (parent == Block::Rules) Selectors();
    frames_.emplace_back(Block::Declarations, line);
}

void StyleScanner::Statement() {
    if (statement_.empty()) return;
    Block block = frames_.back().block;
    if (block == Block::Declarations || block == Block::FontFace) {
        Declaration();
    } else if (block == Block::Rules && statement_.front().token.type == CssToken::Type::AtKeyword) {
        std::string name = Lower(statement_.front().text);
        if (!Vendor(name) && EngineLacks("css.at-rules." + name)) Flag("@" + name + " rule", statement_.front().token.line);
    }
}

void StyleScanner::Selectors() {
    for (size_t i = 0; i + 1 < statement_.size(); ++i) {
        if (!IsDelim(statement_[i].token, ':')) continue;
        size_t at = i + 1;
        bool element = IsDelim(statement_[at].token, ':');
        if (element) ++at;
        if (at >= statement_.size()) break;
        const Held& held = statement_[at];
        i = at;
        if (held.token.type != CssToken::Type::Ident && held.token.type != CssToken::Type::Function) continue;
        std::string name = Lower(held.text);
        if (Vendor(name) || !EngineLacks("css.selectors." + name)) continue;
        bool function = held.token.type == CssToken::Type::Function;
        Flag(std::string(element ? "::" : ":") + name + (function ? "()" : "") +
                 (element ? " pseudo-element" : " selector"),
             held.token.line);
    }
}

void StyleScanner::Declaration() {
    Frame& frame = frames_.back();
    const Held& first = statement_.front();
    if (first.token.type != CssToken::Type::Ident) return;
    size_t colon = 1;
    if (colon >= statement_.size() || !IsDelim(statement_[colon].token, ':')) return;
    int line = first.token.line;
    std::string property = first.text.compare(0, 2, "--") == 0 ? first.text : Lower(first.text);
    std::vector<std::pair<std::string, int>> lacking;
    if (property.compare(0, 2, "--") == 0) {
        lacking.emplace_back("CSS custom property", line);
    } else if (!Vendor(property)) {
        if (EngineLacks("css.properties." + property)) lacking.emplace_back(PropertyWords(property), line);
    }
    if (frame.block == Block::FontFace && property == "src") FontSources(colon + 1);
    // A list of font families is its own fallback: the engine takes the first it knows. The values of a
    // property the engine lacks go with it.
    bool values = !Vendor(property) && property.compare(0, 2, "--") != 0 && property != "font-family";
    bool unknownProperty = !lacking.empty();
    for (size_t i = colon + 1; i < statement_.size() && !unknownProperty; ++i) {
        const Held& held = statement_[i];
        if (held.token.type == CssToken::Type::Function) {
            std::string name = Lower(held.text);
            if (name == "var") {
                lacking.emplace_back("CSS custom property", held.token.line);
            } else if (!Vendor(name) && name != "url") {
                for (const char* family : {"css.types.", "css.types.color.", "css.types.image.gradient.",
                                           "css.types.transform-function.", "css.types.filter-function.",
                                           "css.types.easing-function.", "css.types.basic-shape."}) {
                    std::string path = family + name;
                    if (!Known(path)) continue;
                    if (EngineLacks(path)) lacking.emplace_back(name + "() function", held.token.line);
                    break;
                }
            }
        } else if (held.token.type == CssToken::Type::Ident && values) {
            std::string value = Lower(held.text);
            if (!Vendor(value) && EngineLacks("css.properties." + property + "." + value))
                lacking.emplace_back(property + ": " + value, held.token.line);
        }
    }
    // An earlier declaration of the same property that the engine takes is the fallback the author wrote.
    if (!lacking.empty() && frame.understood.count(property)) return;
    if (lacking.empty() && frame.understood.size() < 1024) frame.understood.insert(property);
    for (auto& [what, at] : lacking)
        Flag(std::move(what), at);
}

void StyleScanner::FontSources(size_t from) {
    Frame& frame = frames_.back();
    bool file = false;
    std::string format;
    std::string extension;
    auto finish = [&] {
        if (file) {
            ++frame.fontSources;
            std::string kind = format.empty() ? extension : format;
            if (kind == "woff2") ++frame.woff2Sources;
        }
        file = false;
        format.clear();
        extension.clear();
    };
    for (size_t i = from; i < statement_.size(); ++i) {
        const Held& held = statement_[i];
        if (IsDelim(held.token, ',')) {
            finish();
        } else if (held.token.type == CssToken::Type::Url) {
            file = true;
            extension = Extension(held.text);
        } else if (held.token.type == CssToken::Type::Function && i + 2 < statement_.size() &&
                   IsDelim(statement_[i + 1].token, '(') && statement_[i + 2].token.type == CssToken::Type::String) {
            std::string name = Lower(held.text);
            if (name == "format") format = Lower(statement_[i + 2].text);
        }
    }
    finish();
}

}  // namespace publish::engine
