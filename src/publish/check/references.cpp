// Reference extraction from pages (libxml2's HTML parser), style sheets (a small tokenizer) and srcset, and
// the resolution of a reference against its document's folder.
#include "publish/check/references.h"

#include "publish/ascii.h"
#include "publish/disc/tree.h"
#include "publish/engine/pages.h"
#include "publish/engine/styles.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>

namespace publish::detail {

namespace {

using ascii::IsSpace;
using ascii::Lower;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// ---- CSS ------------------------------------------------------------------------------------------

// The one tokenizer of CSS: references for the check, and every token for the engine's rules when they read
// along.
class CssTokenizer {
public:
    CssTokenizer(std::string_view text, int firstLine, bool formFeedEndsLine, std::vector<RawReference>& out,
                 engine::StyleScanner* styles)
        : text_(text), line_(firstLine), formFeedEndsLine_(formFeedEndsLine), out_(out), styles_(styles) {}

    void Run() {
        using Type = engine::CssToken::Type;
        bool importPending = false;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            int line = line_;
            if (c == '/' && Peek(1) == '*') {
                size_t end = text_.find("*/", pos_ + 2);
                Advance(end == std::string_view::npos ? text_.size() - pos_ : end + 2 - pos_);
            } else if (c == '"' || c == '\'') {
                std::string value = String();
                Token(Type::String, value, line);
                if (importPending) Emit(std::move(value), line, Role::Other);
                importPending = false;
            } else if (c == '@') {
                Advance(1);
                std::string name = Ident();
                importPending = EqualsNoCase(name, "import");
                Token(Type::AtKeyword, name, line);
            } else if (IsIdentStart(c)) {
                std::string ident = Ident();
                bool function = pos_ < text_.size() && text_[pos_] == '(';
                if (function && EqualsNoCase(ident, "url")) {
                    Advance(1);
                    Url(importPending);
                    importPending = false;
                } else if (!ident.empty()) {
                    Token(function ? Type::Function : Type::Ident, ident, line);
                }
            } else {
                if (c == ';' || c == '{' || c == '}') importPending = false;
                if (styles_ && !IsSpace(c)) {
                    engine::CssToken token;
                    token.type = Type::Delim;
                    token.delim = c;
                    token.line = line;
                    styles_->Token(token);
                }
                Advance(1);
            }
        }
        if (styles_) styles_->End();
    }

private:
    char Peek(size_t ahead) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }

    // Moves on, counting lines: "\r\n", "\r", "\n" and "\f" each end one.
    void Advance(size_t count) {
        for (size_t end = pos_ + count; pos_ < end && pos_ < text_.size(); ++pos_) {
            char c = text_[pos_];
            if (c == '\n' || (c == '\f' && formFeedEndsLine_) || (c == '\r' && Peek(1) != '\n')) ++line_;
        }
    }

    static bool IsIdentStart(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-' || c == '\\' ||
               static_cast<unsigned char>(c) >= 0x80;
    }

    // An escape after its backslash: up to six hex digits and one optional white space, or one character.
    void Escape(std::string& out) {
        if (pos_ >= text_.size()) return;
        if (HexValue(text_[pos_]) >= 0) {
            uint32_t cp = 0;
            for (int i = 0; i < 6 && pos_ < text_.size() && HexValue(text_[pos_]) >= 0; ++i) {
                cp = cp * 16 + static_cast<uint32_t>(HexValue(text_[pos_]));
                Advance(1);
            }
            if (pos_ < text_.size() && IsSpace(text_[pos_])) Advance(text_[pos_] == '\r' && Peek(1) == '\n' ? 2 : 1);
            AppendUtf8(cp, out);
        } else {
            out += text_[pos_];
            Advance(1);
        }
    }

    std::string Ident() {
        std::string out;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == '\\' && Peek(1) != '\n' && Peek(1) != '\r' && Peek(1) != '\f' && pos_ + 1 < text_.size()) {
                Advance(1);
                Escape(out);
            } else if (IsIdentStart(c) && c != '\\') {
                out += c;
                Advance(1);
            } else if (c >= '0' && c <= '9') {
                out += c;
                Advance(1);
            } else {
                break;
            }
        }
        if (out.empty() && pos_ < text_.size()) Advance(1); // a lone backslash
        return out;
    }

    std::string String() {
        char quote = text_[pos_];
        Advance(1);
        std::string out;
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == quote) {
                Advance(1);
                break;
            }
            if (c == '\n' || c == '\r' || c == '\f') break; // an unclosed string ends at the line end
            if (c == '\\') {
                Advance(1);
                if (pos_ < text_.size() && (text_[pos_] == '\n' || text_[pos_] == '\f'))
                    Advance(1);
                else if (pos_ < text_.size() && text_[pos_] == '\r')
                    Advance(Peek(1) == '\n' ? 2 : 1);
                else
                    Escape(out);
                continue;
            }
            out += c;
            Advance(1);
        }
        return out;
    }

    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_]))
            Advance(1);
    }

    void Token(engine::CssToken::Type type, std::string_view text, int line) {
        if (!styles_) return;
        engine::CssToken token;
        token.type = type;
        token.text = text;
        token.line = line;
        styles_->Token(token);
    }

    void Url(bool import) {
        Role role = !import && styles_ && styles_->UrlIsPicture() ? Role::Picture : Role::Other;
        SkipSpace();
        int line = line_;
        std::string value;
        if (pos_ < text_.size() && (text_[pos_] == '"' || text_[pos_] == '\'')) {
            value = String();
            SkipSpace();
            if (pos_ < text_.size() && text_[pos_] == ')') Advance(1);
        } else {
            while (pos_ < text_.size() && text_[pos_] != ')') {
                char c = text_[pos_];
                if (IsSpace(c)) {
                    SkipSpace();
                    continue;
                }
                if (c == '\\') {
                    Advance(1);
                    Escape(value);
                    continue;
                }
                value += c;
                Advance(1);
            }
            if (pos_ < text_.size()) Advance(1);
        }
        Token(engine::CssToken::Type::Url, value, line);
        Emit(std::move(value), line, role);
    }

    void Emit(std::string value, int line, Role role) { out_.push_back(RawReference{std::move(value), line, role}); }

    std::string_view text_;
    size_t pos_ = 0;
    int line_;
    bool formFeedEndsLine_;
    std::vector<RawReference>& out_;
    engine::StyleScanner* styles_;
};

// ---- HTML -----------------------------------------------------------------------------------------

enum class Use { None, Reference, Srcset, Style, Anchor, Base };

bool TagIn(std::string_view tag, std::initializer_list<std::string_view> tags) {
    for (std::string_view t : tags)
        if (tag == t) return true;
    return false;
}

// What an attribute of an element means to the check. libxml2 hands names over in lower case.
Use AttributeUse(std::string_view tag, std::string_view attribute) {
    if (attribute == "style") return Use::Style;
    if (attribute == "id") return Use::Anchor;
    if (attribute == "href") {
        // image and use are SVG's, written into the page.
        if (TagIn(tag, {"a", "area", "link", "image", "use"})) return Use::Reference;
        if (tag == "base") return Use::Base;
        return Use::None;
    }
    if (attribute == "xlink:href") return TagIn(tag, {"a", "image", "use"}) ? Use::Reference : Use::None;
    if (attribute == "poster") return tag == "video" ? Use::Reference : Use::None;
    if (attribute == "src")
        return TagIn(tag, {"img", "script", "frame", "iframe", "embed", "source", "audio", "video", "track", "input"})
                   ? Use::Reference
                   : Use::None;
    if (attribute == "srcset") return TagIn(tag, {"img", "source"}) ? Use::Srcset : Use::None;
    if (attribute == "data") return tag == "object" ? Use::Reference : Use::None;
    if (attribute == "background") return TagIn(tag, {"body", "table", "td", "th"}) ? Use::Reference : Use::None;
    if (attribute == "name") return tag == "a" ? Use::Anchor : Use::None;
    return Use::None;
}

struct HtmlState {
    htmlParserCtxtPtr context = nullptr;
    std::string_view bytes;
    PageScan scan;
    // Lines are counted in the page's own bytes, moving forward only, so the whole page is counted once.
    size_t linePos = 0;
    int line = 1;
    bool inStyle = false;
    int styleLine = 0;
    std::string style;
    engine::PageScanner* engine = nullptr;
    engine::Attributes attributes; // the element's at hand, for the engine's rules
    bool inScript = false;
    int scriptLine = 0;
    std::string script;

    // CSS written into the page, from the given line: a style attribute (declarationsOnly) or a <style>.
    void ScanStyle(std::string_view text, int firstLine, bool declarationsOnly) {
        std::optional<engine::StyleScanner> styles;
        if (engine) styles.emplace(engine->tally(), declarationsOnly);
        ScanCss(text, firstLine, scan.references, styles ? &*styles : nullptr, false);
    }

    int LineAt(size_t pos) {
        if (pos < linePos) {
            linePos = 0;
            line = 1;
        }
        for (; linePos < pos && linePos < bytes.size(); ++linePos) {
            char c = bytes[linePos];
            if (c == '\n' || (c == '\r' && (linePos + 1 >= bytes.size() || bytes[linePos + 1] != '\n'))) ++line;
        }
        return line;
    }

    // The start of the tag whose end the parser stands at, in the page's bytes. A '<' inside a quoted
    // attribute value is not it, so quoted runs are stepped over whole, as long as that lands on this tag.
    size_t TagStart(size_t end, std::string_view tag) const {
        size_t limit = end > 65536 ? end - 65536 : 0;
        auto opensTag = [&](size_t at) {
            size_t after = at + 1 + tag.size();
            return bytes[at] == '<' && after <= bytes.size() && EqualsNoCase(bytes.substr(at + 1, tag.size()), tag) &&
                   (after == bytes.size() || IsSpace(bytes[after]) || bytes[after] == '/' || bytes[after] == '>');
        };
        for (size_t i = end; i > limit; --i) {
            char c = bytes[i - 1];
            if (c == '<') {
                if (opensTag(i - 1)) return i - 1;
                break;
            }
            if ((c == '"' || c == '\'') && i >= 2) {
                size_t open = bytes.rfind(c, i - 2);
                if (open == std::string_view::npos || open < limit) break;
                i = open + 1;
            }
        }
        // Quotes that do not pair up (or bytes the parser stopped at): the nearest opening of this tag.
        for (size_t i = end; i > limit; --i)
            if (opensTag(i - 1)) return i - 1;
        for (size_t i = end; i > limit; --i)
            if (bytes[i - 1] == '<') return i - 1;
        return end;
    }

    // Where an attribute's value starts inside the tag [start, end), or start when it is not found.
    size_t AttributePos(size_t start, size_t end, std::string_view name) const {
        std::string_view tag = bytes.substr(start, end - start);
        for (size_t i = 1; i + name.size() <= tag.size(); ++i) {
            if (!IsSpace(tag[i - 1]) && tag[i - 1] != '"' && tag[i - 1] != '\'' && tag[i - 1] != '/') continue;
            if (!EqualsNoCase(tag.substr(i, name.size()), name)) continue;
            size_t j = i + name.size();
            while (j < tag.size() && IsSpace(tag[j]))
                ++j;
            if (j < tag.size() && tag[j] == '=') {
                ++j;
                while (j < tag.size() && IsSpace(tag[j]))
                    ++j;
                if (j < tag.size() && (tag[j] == '"' || tag[j] == '\'')) ++j;
                return start + j;
            }
        }
        return start;
    }
};

// The page a <meta http-equiv="refresh" content="5; url=next.htm"> moves on to; nothing when it reloads itself.
std::string RefreshTarget(std::string_view content) {
    size_t i = 0;
    while (i < content.size() && IsSpace(content[i]))
        ++i;
    while (i < content.size() && ((content[i] >= '0' && content[i] <= '9') || content[i] == '.'))
        ++i;
    while (i < content.size() && IsSpace(content[i]))
        ++i;
    if (i < content.size() && (content[i] == ';' || content[i] == ',')) ++i;
    while (i < content.size() && IsSpace(content[i]))
        ++i;
    if (i + 3 <= content.size() && EqualsNoCase(content.substr(i, 3), "url")) {
        size_t j = i + 3;
        while (j < content.size() && IsSpace(content[j]))
            ++j;
        if (j < content.size() && content[j] == '=') {
            i = j + 1;
            while (i < content.size() && IsSpace(content[i]))
                ++i;
        }
    }
    std::string_view url = content.substr(i);
    if (!url.empty() && (url[0] == '"' || url[0] == '\'')) {
        size_t close = url.find(url[0], 1);
        url = url.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    }
    while (!url.empty() && IsSpace(url.back()))
        url.remove_suffix(1);
    return std::string(url);
}

template <typename LineOf> void MetaRefresh(HtmlState* state, const xmlChar** attributes, LineOf& lineOf) {
    bool refresh = false;
    const char* content = nullptr;
    for (const xmlChar** a = attributes; a && a[0]; a += 2) {
        std::string_view name(reinterpret_cast<const char*>(a[0]));
        const char* value = a[1] ? reinterpret_cast<const char*>(a[1]) : "";
        if (name == "http-equiv")
            refresh = EqualsNoCase(value, "refresh");
        else if (name == "content")
            content = value;
        else if (name == "id")
            state->scan.anchors.insert(value);
    }
    if (!refresh || !content) return;
    std::string target = RefreshTarget(content);
    if (!target.empty()) state->scan.references.push_back(RawReference{std::move(target), lineOf("content")});
}

// What a reference of the element does, as the engine's rules see it.
Role ReferenceRole(std::string_view tag, std::string_view attribute, bool classicScript) {
    if (tag == "script") return attribute == "src" && classicScript ? Role::Script : Role::Other;
    if (attribute == "poster" || attribute == "background") return Role::Picture;
    if (attribute == "src") return TagIn(tag, {"img", "input"}) ? Role::Picture : Role::Other;
    if (tag == "image") return Role::Picture; // SVG's, written into the page
    return Role::Other;
}

void OnStartElement(void* data, const xmlChar* rawName, const xmlChar** attributes) {
    auto* state = static_cast<HtmlState*>(data);
    std::string_view tag(reinterpret_cast<const char*>(rawName));
    bool style = tag == "style";
    bool script = tag == "script";
    if (!attributes && !style && !state->engine) return;
    // Positions in the page's bytes are looked up only for elements that carry something of interest.
    size_t start = 0;
    size_t end = 0;
    int tagLine = 0;
    bool located = false;
    auto locate = [&] {
        if (located) return;
        located = true;
        end = std::min(static_cast<size_t>(xmlByteConsumed(state->context)), state->bytes.size());
        start = state->TagStart(end, tag);
        tagLine = state->LineAt(start);
    };
    auto lineOf = [&](std::string_view attribute) {
        locate();
        size_t pos = attribute.empty() ? start : state->AttributePos(start, end, attribute);
        int line = tagLine;
        for (size_t i = start; i < pos; ++i) {
            char c = state->bytes[i];
            if (c == '\n' || (c == '\r' && (i + 1 >= state->bytes.size() || state->bytes[i + 1] != '\n'))) ++line;
        }
        return line;
    };
    if (style) {
        locate();
        state->inStyle = true;
        state->style.clear();
        state->styleLine = state->LineAt(end);
    }
    if (tag == "meta") MetaRefresh(state, attributes, lineOf);
    // A <script src> runs the file and ignores its own text; the engine runs classic scripts only.
    bool classicScript = true;
    bool hasSrc = false;
    for (const xmlChar** a = attributes; a && a[0]; a += 2) {
        std::string_view name(reinterpret_cast<const char*>(a[0]));
        if (name == "src") hasSrc = true;
        if (script && name == "type")
            classicScript = engine::IsClassicScript(a[1] ? reinterpret_cast<const char*>(a[1]) : "");
    }
    if (state->engine) {
        state->attributes.clear();
        for (const xmlChar** a = attributes; a && a[0]; a += 2)
            state->attributes.emplace_back(reinterpret_cast<const char*>(a[0]),
                                           a[1] ? reinterpret_cast<const char*>(a[1]) : "");
        engine::LineOf line{[](const void* self, std::string_view attribute) {
                                return (*static_cast<const decltype(lineOf)*>(self))(attribute);
                            },
                            &lineOf};
        state->engine->StartElement(tag, state->attributes, line);
        if (script && classicScript && !hasSrc) {
            locate();
            state->inScript = true;
            state->script.clear();
            state->scriptLine = state->LineAt(end);
        }
    }
    if (tag == "meta") return;
    for (const xmlChar** a = attributes; a && a[0]; a += 2) {
        std::string_view name(reinterpret_cast<const char*>(a[0]));
        Use use = AttributeUse(tag, name);
        if (use == Use::None) continue;
        std::string value = a[1] ? reinterpret_cast<const char*>(a[1]) : "";
        switch (use) {
        case Use::Anchor:
            state->scan.anchors.insert(std::move(value));
            break;
        case Use::Reference:
            state->scan.references.push_back(
                RawReference{std::move(value), lineOf(name), ReferenceRole(tag, name, classicScript)});
            break;
        case Use::Srcset: {
            // The engine knows no srcset: beside a src it shows the src, and a <source> it skips.
            Role role = tag == "img" && !hasSrc ? Role::Picture : Role::Other;
            int line = lineOf(name);
            for (std::string& url : SrcsetUrls(value))
                state->scan.references.push_back(RawReference{std::move(url), line, role});
            break;
        }
        case Use::Style:
            state->ScanStyle(value, lineOf(name), true);
            break;
        case Use::Base:
            if (!state->scan.hasBase) {
                state->scan.hasBase = true;
                state->scan.base = RawReference{std::move(value), lineOf(name)};
            }
            break;
        case Use::None:
            break;
        }
    }
}

void OnEndElement(void* data, const xmlChar* rawName) {
    auto* state = static_cast<HtmlState*>(data);
    std::string_view name(reinterpret_cast<const char*>(rawName));
    if (state->inStyle && name == "style") {
        state->inStyle = false;
        state->ScanStyle(state->style, state->styleLine, false);
        state->style.clear();
    }
    if (state->inScript && name == "script") {
        state->inScript = false;
        state->engine->Script(state->script, state->scriptLine);
        state->script.clear();
    }
    if (state->engine) state->engine->EndElement(name);
}

void OnText(void* data, const xmlChar* text, int length) {
    auto* state = static_cast<HtmlState*>(data);
    if (state->inStyle) state->style.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    if (state->inScript) state->script.append(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
}

void Quiet(void*, const char*, ...) {}

} // namespace

void ScanCss(std::string_view text, int firstLine, std::vector<RawReference>& out, engine::StyleScanner* styles,
             bool formFeedEndsLine) {
    CssTokenizer(text, firstLine, formFeedEndsLine, out, styles).Run();
}

std::vector<std::string> SrcsetUrls(std::string_view value) {
    std::vector<std::string> urls;
    size_t i = 0;
    while (i < value.size()) {
        while (i < value.size() && (IsSpace(value[i]) || value[i] == ','))
            ++i;
        if (i >= value.size()) break;
        size_t start = i;
        while (i < value.size() && !IsSpace(value[i]))
            ++i;
        std::string_view url = value.substr(start, i - start);
        bool descriptors = true;
        if (!url.empty() && url.back() == ',') {
            while (!url.empty() && url.back() == ',')
                url.remove_suffix(1);
            descriptors = false;
        }
        if (!url.empty()) urls.emplace_back(url);
        if (!descriptors) continue;
        int depth = 0; // a comma inside parentheses belongs to the descriptor
        while (i < value.size()) {
            char c = value[i];
            if (c == '(')
                ++depth;
            else if (c == ')' && depth > 0)
                --depth;
            else if (c == ',' && depth == 0)
                break;
            ++i;
        }
    }
    return urls;
}

PageScan ScanHtml(std::string_view raw, bool xml, engine::PageScanner* engine) {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
    Decoded decoded = DecodePage(raw, xml);
    HtmlState state;
    state.engine = engine;
    state.scan.charset = decoded.charset;
    state.scan.charsetDeclared = decoded.declared;
    state.scan.nonAscii = decoded.nonAscii;
    std::string_view bytes = decoded.text;
    // Lines and positions are counted in the decoded text: its line ends are where the page's are.
    state.bytes = bytes;
    if (bytes.empty()) return std::move(state.scan);
    htmlParserCtxtPtr context = htmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
    if (!context) return std::move(state.scan);
    state.context = context;
    // The page is UTF-8 by now; a <meta> naming its original character set must not make the parser
    // decode it a second time.
    xmlSwitchEncoding(context, XML_CHAR_ENCODING_UTF8);
    htmlCtxtUseOptions(context, HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC);
    htmlSAXHandler handler{};
    handler.startElement = OnStartElement;
    handler.endElement = OnEndElement;
    handler.characters = OnText;
    handler.cdataBlock = OnText;
    handler.warning = Quiet;
    handler.error = Quiet;
    handler.fatalError = Quiet;
    *context->sax = handler;
    context->userData = &state;
    htmlParseDocument(context);
    htmlFreeParserCtxt(context);
    // Inside a quote that never closes, the tag's place in the bytes is a guess; a guess past the page's last
    // line is surely wrong, and the last line is where such a tag ends.
    int lastLine = state.LineAt(bytes.size());
    for (RawReference& reference : state.scan.references)
        reference.line = std::min(reference.line, lastLine);
    if (engine) engine->tally().LimitLines(lastLine);
    return std::move(state.scan);
}

// ---- Resolution -----------------------------------------------------------------------------------

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = HexValue(text[i + 1]);
            int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

Resolved ResolveReference(std::string_view reference, const std::string& docFolder, const Resolved* base) {
    Resolved r;
    // As a browser does: white space around the reference is dropped, tabs and line ends inside it too, and a
    // backslash stands for a slash.
    std::string text;
    text.reserve(reference.size());
    size_t first = 0;
    size_t last = reference.size();
    while (first < last && static_cast<unsigned char>(reference[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(reference[last - 1]) <= 0x20)
        --last;
    for (size_t i = first; i < last; ++i) {
        char c = reference[i];
        if (c == '\t' || c == '\n' || c == '\r') continue;
        text += c == '\\' ? '/' : c;
    }

    size_t colon = text.find(':');
    if (colon != std::string::npos && colon > 0) {
        bool scheme = (text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z');
        for (size_t i = 1; scheme && i < colon; ++i) {
            char c = text[i];
            scheme = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
                     c == '-' || c == '.';
        }
        if (scheme) {
            std::string name = text.substr(0, colon);
            for (char& c : name)
                c = Lower(c);
            if (colon == 1 || name == "file")
                r.target = Target::Outside; // a drive letter, or the local disk
            else if (name == "data")
                r.target = Target::Inline;
            else {
                r.target = Target::External;
                r.scheme = name;
            }
            return r;
        }
    }
    if (text.compare(0, 2, "//") == 0) {
        r.target = Target::External;
        return r;
    }

    size_t hash = text.find('#');
    if (hash != std::string::npos) {
        r.hasFragment = true;
        r.fragment = PercentDecode(std::string_view(text).substr(hash + 1));
        text.resize(hash);
    }
    size_t query = text.find('?');
    if (query != std::string::npos) text.resize(query);

    if (text.empty()) {
        r.target = Target::Self;
        return r;
    }
    if (text[0] == '/') {
        r.target = Target::Outside;
        return r;
    }

    std::string folder = docFolder;
    if (base) {
        if (base->target == Target::External || base->target == Target::Outside) {
            r.target = base->target;
            r.scheme = base->scheme;
            return r;
        }
        if (base->target == Target::Local) {
            folder = base->path;
            if (!base->folderSyntax) {
                size_t slash = folder.rfind('/');
                folder = slash == std::string::npos ? "" : folder.substr(0, slash);
            }
        }
    }

    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= folder.size() && !folder.empty()) {
        size_t slash = folder.find('/', start);
        if (slash == std::string::npos) slash = folder.size();
        if (slash > start) segments.push_back(folder.substr(start, slash - start));
        start = slash + 1;
    }
    std::string decoded = PercentDecode(text);
    r.folderSyntax = !decoded.empty() && decoded.back() == '/';
    start = 0;
    while (start < decoded.size()) {
        size_t slash = decoded.find('/', start);
        if (slash == std::string::npos) slash = decoded.size();
        std::string segment = decoded.substr(start, slash - start);
        start = slash + 1;
        if (segment.empty() || segment == ".") continue;
        if (segment == "..") {
            if (segments.empty()) {
                r.target = Target::Outside;
                return r;
            }
            segments.pop_back();
            continue;
        }
        segments.push_back(std::move(segment));
    }
    if (decoded == "." || decoded == ".." ||
        (decoded.size() >= 2 && decoded.compare(decoded.size() - 2, 2, "/.") == 0) ||
        (decoded.size() >= 3 && decoded.compare(decoded.size() - 3, 3, "/..") == 0))
        r.folderSyntax = true;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i) r.path += '/';
        r.path += segments[i];
    }
    r.target = Target::Local;
    return r;
}

} // namespace publish::detail
