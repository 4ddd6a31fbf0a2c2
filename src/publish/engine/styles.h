// Style sheets read token by token: what of them the Windows viewer's engine lacks.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "publish/engine/tally.h"

namespace publish::engine {

// A token of CSS as the check's tokenizer hands it over; numbers, white space and comments are not
// among them, every other character is a Delim.
struct CssToken {
    enum class Type { Ident, Function, AtKeyword, String, Url, Delim };
    Type type = Type::Delim;
    std::string_view text; // Ident, Function (without its "("), AtKeyword (without "@"), String and Url values
    char delim = 0;
    int line = 0;
};

// One per style sheet, <style> block or style attribute.
class StyleScanner {
public:
    // declarationsOnly: a style attribute, which holds the declarations of one rule and no rules.
    StyleScanner(Tally& tally, bool declarationsOnly);
    ~StyleScanner();
    StyleScanner(const StyleScanner&) = delete;
    StyleScanner& operator=(const StyleScanner&) = delete;

    void Token(const CssToken& token);
    // At the end of the text: a declaration the text ends in still counts.
    void End();

    // Whether a url() met now loads a picture (not a font of @font-face, nor a style sheet of @import).
    bool UrlIsPicture() const;

private:
    enum class Block { Rules, Declarations, FontFace, Keyframes, Skipped };
    struct Frame {
        Frame(Block b, int l = 0) : block(b), line(l) {}
        Block block;
        int line = 0;
        std::unordered_set<std::string> understood; // properties declared so far in the rule that the engine takes
        int fontSources = 0;
        int woff2Sources = 0;
    };
    struct Held {
        CssToken token;
        std::string text;
    };

    void Prelude(int braceLine);
    void Statement();
    void Declaration();
    void Selectors();
    void FontSources(size_t from);
    void Close();
    void Flag(std::string what, int line);

    Tally& tally_;
    std::vector<Frame> frames_;
    std::vector<Held> statement_; // the tokens since the last ";", "{" or "}"
};

}  // namespace publish::engine
