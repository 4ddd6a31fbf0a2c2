// Scripts read with tree-sitter's JavaScript grammar. The grammar follows the current language and marks
// what it cannot read instead of failing, so one walk over its tree finds both the syntax the engine
// refuses and the interfaces it lacks.
#include "publish/engine/scripts.h"

#include <tree_sitter/api.h>

#include <algorithm>
#include <cctype>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "publish/engine/compat_table.h"

extern "C" const TSLanguage* tree_sitter_javascript(void);

static_assert(TREE_SITTER_LANGUAGE_VERSION >= 14, "the grammar needs a tree-sitter that reads parser ABI 14");

namespace publish::engine {

namespace {

// A page's scripts are rarely above a few hundred kilobytes even when bundled; a bigger one is read no
// further, and a parse is stopped after a while, so a hostile page costs bounded time.
constexpr size_t kMaxScriptBytes = 4u << 20;
constexpr uint64_t kParseMicros = 5'000'000;
// Identical inline blocks are remembered up to this many bytes of source in all.
constexpr size_t kMaxCachedBytes = 32u << 20;

constexpr std::string_view kSyntaxKind = "windows-script";
constexpr std::string_view kBrokenKind = "script-syntax";
constexpr std::string_view kApiKind = "windows-api";
constexpr std::string_view kUnreadKind = "script-unread"; // a note

// Syntax after ES5, in words, with the path of the compatibility data that says whether the engine reads
// it. The data decides; a construct whose path it does not know is one the engine refuses.
struct Construct {
    std::string_view what;
    std::string_view path;
};
constexpr Construct kArrow{"arrow function", "javascript.functions.arrow_functions"};
constexpr Construct kClass{"class", "javascript.classes"};
constexpr Construct kTemplate{"template literal", "javascript.grammar.template_literals"};
constexpr Construct kDestructuring{"destructuring", "javascript.operators.destructuring"};
constexpr Construct kDefaultParameter{"default parameter", "javascript.functions.default_parameters"};
constexpr Construct kRestParameter{"rest parameter", "javascript.functions.rest_parameters"};
constexpr Construct kSpread{"spread syntax", "javascript.operators.spread"};
constexpr Construct kForOf{"for...of loop", "javascript.statements.for_of"};
constexpr Construct kForAwait{"for await...of loop", "javascript.statements.for_await_of"};
constexpr Construct kGenerator{"generator function", "javascript.statements.generator_function"};
constexpr Construct kAsync{"async function", "javascript.statements.async_function"};
constexpr Construct kAwait{"await", "javascript.operators.await"};
constexpr Construct kShorthandProperty{"shorthand property", "javascript.grammar.shorthand_object_literals"};
constexpr Construct kComputedName{"computed property name",
                                  "javascript.operators.object_initializer.computed_property_names"};
constexpr Construct kMethodShorthand{"method shorthand", "javascript.functions.method_definitions"};
constexpr Construct kExponent{"exponent operator **", "javascript.operators.exponentiation"};
constexpr Construct kExponentAssign{"exponent assignment **=", "javascript.operators.exponentiation_assignment"};
constexpr Construct kNullish{"nullish coalescing operator ??", "javascript.operators.nullish_coalescing"};
constexpr Construct kNullishAssign{"nullish assignment ?\?=", "javascript.operators.logical_nullish_assignment"};
constexpr Construct kOrAssign{"logical assignment ||=", "javascript.operators.logical_or_assignment"};
constexpr Construct kAndAssign{"logical assignment &&=", "javascript.operators.logical_and_assignment"};
constexpr Construct kOptionalChain{"optional chaining (?.)", "javascript.operators.optional_chaining"};
constexpr Construct kTrailingCallComma{"trailing comma in a call",
                                       "javascript.grammar.trailing_commas.trailing_commas_in_functions"};
constexpr Construct kTrailingParameterComma{"trailing comma in parameters",
                                            "javascript.grammar.trailing_commas.trailing_commas_in_functions"};
constexpr Construct kImport{"import declaration", "javascript.statements.import"};
constexpr Construct kExport{"export declaration", "javascript.statements.export"};
constexpr Construct kDynamicImport{"dynamic import()", "javascript.operators.import"};
constexpr Construct kImportMeta{"import.meta", "javascript.operators.import_meta"};
constexpr Construct kNewTarget{"new.target", "javascript.operators.new_target"};
constexpr Construct kBinaryNumber{"binary number literal", "javascript.grammar.binary_numeric_literals"};
constexpr Construct kOctalNumber{"octal number literal 0o", "javascript.grammar.octal_numeric_literals"};
constexpr Construct kNumericSeparator{"numeric separator", "javascript.grammar.numeric_separators"};
constexpr Construct kBigInt{"BigInt literal", "javascript.builtins.BigInt"};
constexpr Construct kCodePointEscape{"Unicode code point escape \\u{...}", "javascript.grammar.unicode_point_escapes"};
constexpr Construct kOptionalCatch{"catch without a binding", "javascript.statements.try_catch.optional_catch_binding"};
constexpr Construct kHashbang{"hashbang line", "javascript.grammar.hashbang_comments"};
constexpr Construct kNamedGroup{"regular expression named group or lookbehind",
                                "javascript.builtins.RegExp.named_capture_groups"};

// Regular-expression flags after ES5 and their paths.
struct Flag {
    char flag;
    Construct construct;
};
constexpr std::array kRegexFlags{
    Flag{'u', {"regular expression flag u", "javascript.builtins.RegExp.unicode"}},
    Flag{'y', {"regular expression flag y", "javascript.builtins.RegExp.sticky"}},
    Flag{'s', {"regular expression flag s", "javascript.builtins.RegExp.dotAll"}},
    Flag{'d', {"regular expression flag d", "javascript.builtins.RegExp.hasIndices"}},
    Flag{'v', {"regular expression flag v", "javascript.builtins.RegExp.unicodeSets"}},
};

bool Refused(const Construct& construct) { return !Known(construct.path) || EngineLacks(construct.path); }

// Builtin constructors and namespaces whose own members (Object.assign, Array.from) the data lists.
constexpr std::array<std::string_view, 14> kBuiltinObjects{"Array",  "ArrayBuffer", "Date",   "Intl",    "JSON",
                                                           "Math",   "Number",      "Object", "Promise", "Reflect",
                                                           "RegExp", "String",      "Symbol", "Map"};

// The global objects of a page and the interface the data lists their members under.
struct GlobalObject {
    std::string_view name;
    std::string_view interface;
};
constexpr std::array kGlobalObjects{
    GlobalObject{"window", "Window"},        GlobalObject{"self", "Window"},
    GlobalObject{"document", "Document"},    GlobalObject{"navigator", "Navigator"},
    GlobalObject{"location", "Location"},    GlobalObject{"history", "History"},
    GlobalObject{"screen", "Screen"},        GlobalObject{"performance", "Performance"},
    GlobalObject{"localStorage", "Storage"}, GlobalObject{"sessionStorage", "Storage"},
    GlobalObject{"console", "console"},
};

// Types that carry methods of the same names in the engine: a method on a value of unknown type is only
// flagged when none of these has it.
constexpr std::array<std::string_view, 12> kBuiltinTypes{"Array",  "String",  "Object",     "Function",
                                                         "Number", "Date",    "RegExp",     "Map",
                                                         "Set",    "WeakMap", "TypedArray", "Boolean"};
constexpr std::array<std::string_view, 16> kInterfaceTypes{
    "Element",  "Node",           "Document",  "HTMLElement",      "EventTarget",    "DOMTokenList",
    "NodeList", "HTMLCollection", "Storage",   "Window",           "XMLHttpRequest", "CSSStyleDeclaration",
    "Event",    "Range",          "Selection", "HTMLSelectElement"};
// Names page libraries give methods of their own objects (a set of elements' find, a collection's keys): on a
// value of unknown type these are not taken for the builtins' methods of the same name.
constexpr std::array<std::string_view, 6> kLibraryMethodNames{"find", "keys", "values", "entries", "at", "fill"};

template <size_t N> bool Among(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

std::string_view InterfaceOf(std::string_view globalName) {
    for (const GlobalObject& g : kGlobalObjects)
        if (g.name == globalName) return g.interface;
    return {};
}

// One thing found, at a line relative to the script's first line.
struct Event {
    std::string_view kind;
    std::string what;
    int row = 0;
};

// A use of an interface, kept until the walk has seen every name the script declares.
struct Use {
    std::string root;   // the global name it hangs on ("fetch", "Object", "navigator")
    std::string dotted; // as a polyfill would assign it ("Object.assign", "String.prototype.includes")
    std::string object; // the global object it was reached through, when that name is a variable ("self")
    std::string what;
    int row = 0;
};

// The grammar's named node types the walk tells apart, by the grammar's own names; every other is other.
enum class K : uint8_t {
    other,
    error, // ERROR
    jsx,   // any jsx_ node
    identifier,
    formal_parameters,
    call_expression,
    shorthand_property_identifier,
    rest_pattern,
    member_expression,
    binary_expression,
    assignment_pattern,
    assignment_expression,
    array_pattern,
    template_string,
    property_identifier,
    pair_pattern,
    object_pattern,
    object_assignment_pattern,
    new_expression,
    if_statement,
    generator_function_declaration,
    generator_function,
    function_expression,
    function_declaration,
    for_in_statement,
    decorator,
    class_declaration,
    class_expression, // the grammar's "class"
    catch_clause,
    arrow_function,
    variable_declarator,
    unary_expression,
    try_statement,
    throw_statement,
    ternary_expression,
    string_fragment,
    string,
    statement_block,
    spread_element,
    shorthand_property_identifier_pattern,
    return_statement,
    regex_pattern,
    regex_flags,
    regex,
    parenthesized_expression,
    optional_chain,
    object,
    number,
    namespace_import,
    method_definition,
    meta_property,
    import_statement,
    import_specifier,
    import_clause,
    import,
    hash_bang_line,
    export_statement,
    export_specifier,
    escape_sequence,
    computed_property_name,
    await_expression,
    augmented_assignment_expression,
    array,
    arguments,
};

// The kind of each symbol of the grammar, made once: the walk compares small numbers, not type names.
const std::vector<K>& KindTable() {
    static const std::vector<K> table = [] {
        static constexpr std::pair<std::string_view, K> kNames[] = {
            {"identifier", K::identifier},
            {"formal_parameters", K::formal_parameters},
            {"call_expression", K::call_expression},
            {"shorthand_property_identifier", K::shorthand_property_identifier},
            {"rest_pattern", K::rest_pattern},
            {"member_expression", K::member_expression},
            {"binary_expression", K::binary_expression},
            {"assignment_pattern", K::assignment_pattern},
            {"assignment_expression", K::assignment_expression},
            {"array_pattern", K::array_pattern},
            {"template_string", K::template_string},
            {"property_identifier", K::property_identifier},
            {"pair_pattern", K::pair_pattern},
            {"object_pattern", K::object_pattern},
            {"object_assignment_pattern", K::object_assignment_pattern},
            {"new_expression", K::new_expression},
            {"if_statement", K::if_statement},
            {"generator_function_declaration", K::generator_function_declaration},
            {"generator_function", K::generator_function},
            {"function_expression", K::function_expression},
            {"function_declaration", K::function_declaration},
            {"for_in_statement", K::for_in_statement},
            {"decorator", K::decorator},
            {"class_declaration", K::class_declaration},
            {"class", K::class_expression},
            {"catch_clause", K::catch_clause},
            {"arrow_function", K::arrow_function},
            {"variable_declarator", K::variable_declarator},
            {"unary_expression", K::unary_expression},
            {"try_statement", K::try_statement},
            {"throw_statement", K::throw_statement},
            {"ternary_expression", K::ternary_expression},
            {"string_fragment", K::string_fragment},
            {"string", K::string},
            {"statement_block", K::statement_block},
            {"spread_element", K::spread_element},
            {"shorthand_property_identifier_pattern", K::shorthand_property_identifier_pattern},
            {"return_statement", K::return_statement},
            {"regex_pattern", K::regex_pattern},
            {"regex_flags", K::regex_flags},
            {"regex", K::regex},
            {"parenthesized_expression", K::parenthesized_expression},
            {"optional_chain", K::optional_chain},
            {"object", K::object},
            {"number", K::number},
            {"namespace_import", K::namespace_import},
            {"method_definition", K::method_definition},
            {"meta_property", K::meta_property},
            {"import_statement", K::import_statement},
            {"import_specifier", K::import_specifier},
            {"import_clause", K::import_clause},
            {"import", K::import},
            {"hash_bang_line", K::hash_bang_line},
            {"export_statement", K::export_statement},
            {"export_specifier", K::export_specifier},
            {"escape_sequence", K::escape_sequence},
            {"computed_property_name", K::computed_property_name},
            {"await_expression", K::await_expression},
            {"augmented_assignment_expression", K::augmented_assignment_expression},
            {"array", K::array},
            {"arguments", K::arguments},
        };
        const TSLanguage* language = tree_sitter_javascript();
        std::vector<K> kinds(ts_language_symbol_count(language), K::other);
        for (TSSymbol symbol = 0; symbol < kinds.size(); ++symbol) {
            if (ts_language_symbol_type(language, symbol) != TSSymbolTypeRegular) continue;
            const std::string_view name = ts_language_symbol_name(language, symbol);
            if (name.starts_with("jsx_")) kinds[symbol] = K::jsx;
            for (const auto& [known, kind] : kNames)
                if (known == name) kinds[symbol] = kind;
        }
        return kinds;
    }();
    return table;
}

K KindOf(TSNode node) {
    const TSSymbol symbol = ts_node_symbol(node);
    const std::vector<K>& table = KindTable();
    if (symbol < table.size()) return table[symbol];
    return std::strcmp(ts_node_type(node), "ERROR") == 0 ? K::error : K::other;
}

bool Is(TSNode node, const char* type) { return std::strcmp(ts_node_type(node), type) == 0; }

// An anonymous token among the node's own children ("async", "get", "*"); such nodes have few children.
bool HasToken(TSNode node, const char* token) {
    uint32_t count = ts_node_child_count(node);
    for (uint32_t i = 0; i < count; ++i) {
        TSNode child = ts_node_child(node, i);
        if (!ts_node_is_named(child) && Is(child, token)) return true;
    }
    return false;
}

// The type of the field's child ("&&" for a binary expression's operator); empty when there is none.
std::string_view FieldType(TSNode node, const char* field) {
    TSNode child = ts_node_child_by_field_name(node, field, static_cast<uint32_t>(std::strlen(field)));
    return ts_node_is_null(child) ? std::string_view{} : std::string_view(ts_node_type(child));
}

bool EndsWithComma(TSNode list) {
    uint32_t count = ts_node_child_count(list);
    return count >= 2 && Is(ts_node_child(list, count - 2), ",");
}

// The statement leaves its block: return or throw, alone or as the only statement of a block.
bool Leaves(TSNode statement) {
    if (ts_node_is_null(statement)) return false;
    if (KindOf(statement) == K::statement_block) {
        if (ts_node_named_child_count(statement) != 1) return false;
        statement = ts_node_named_child(statement, 0);
    }
    return KindOf(statement) == K::return_statement || KindOf(statement) == K::throw_statement;
}

// One walk over one parsed script.
class Walker {
public:
    Walker(std::string_view source, std::unordered_map<std::string, std::vector<std::string>>& methodOwners);

    // The findings of the tree, in the order met; for a tree with errors only the first error.
    std::vector<Event> Walk(TSNode root);

private:
    // One node on the way down: what it guards and what it started.
    struct Frame {
        TSNode node;
        K kind;
        const char* field;                  // its field in its parent, when it has one
        std::vector<std::string> tested;    // names its condition or left operand tests
        std::vector<std::string> activated; // guard names this frame made active, dropped when it is left
        int tests = 0;                      // tests starting here (a condition, a typeof operand, or both)
        bool tried = false;                 // the body of a try statement, whose catch handles a failure
    };

    void Enter(TSNode node, const char* field);
    void Exit();
    void Syntax(TSNode node, const Frame* parent);
    void Names(TSNode node, const char* field, const Frame* parent);
    void MemberUse(TSNode node, const Frame* parent, const char* field);
    void Activate(Frame& frame, const std::vector<std::string>& names);
    bool Guarded(std::string_view name, bool called) const;
    bool Called(size_t frame) const;
    void Found(const Construct& construct, TSNode node);
    void AddUse(std::string root, std::string dotted, std::string what, TSNode node, std::string object = {});
    std::string_view Text(TSNode node) const;
    int Row(TSNode node) const;
    std::string_view ReceiverType(TSNode node) const;
    const std::vector<std::string>& UnknownReceiverOwners(const std::string& method);

    std::string_view source_;
    std::vector<uint32_t> lineStarts_;
    std::unordered_map<std::string, std::vector<std::string>>& methodOwners_;
    std::vector<Frame> frames_;
    std::vector<size_t> collectors_; // frames whose test is being walked, innermost last
    std::unordered_map<std::string, int> guards_;
    int tries_ = 0; // try bodies around the node
    std::unordered_set<std::string> declared_;
    std::vector<Use> uses_;
    std::vector<Event> events_;
    int firstErrorRow_ = -1;
    std::string brokenWhat_;
};

Walker::Walker(std::string_view source, std::unordered_map<std::string, std::vector<std::string>>& methodOwners)
    : source_(source), methodOwners_(methodOwners) {
    // Lines as the page's scanner counts them (LF, CRLF or a lone CR), where tree-sitter's rows count LF
    // alone.
    lineStarts_.push_back(0);
    for (size_t i = 0; i < source.size(); ++i)
        if (source[i] == '\n' || (source[i] == '\r' && (i + 1 >= source.size() || source[i + 1] != '\n')))
            lineStarts_.push_back(static_cast<uint32_t>(i + 1));
}

int Walker::Row(TSNode node) const {
    auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), ts_node_start_byte(node));
    return static_cast<int>(after - lineStarts_.begin()) - 1;
}

std::string_view Walker::Text(TSNode node) const {
    uint32_t start = ts_node_start_byte(node), end = ts_node_end_byte(node);
    if (start > source_.size() || end > source_.size() || end < start) return {};
    return source_.substr(start, end - start);
}

void Walker::Found(const Construct& construct, TSNode node) {
    if (Refused(construct)) events_.push_back({kSyntaxKind, std::string(construct.what), Row(node)});
}

void Walker::AddUse(std::string root, std::string dotted, std::string what, TSNode node, std::string object) {
    uses_.push_back({std::move(root), std::move(dotted), std::move(object), std::move(what), Row(node)});
}

void Walker::Activate(Frame& frame, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        ++guards_[name];
        frame.activated.push_back(name);
    }
}

// The frame's node is what a call or new calls.
bool Walker::Called(size_t frame) const {
    const char* field = frames_[frame].field;
    if (frame == 0 || !field) return false;
    TSNode parent = frames_[frame - 1].node;
    return (std::strcmp(field, "function") == 0 && KindOf(parent) == K::call_expression) ||
           (std::strcmp(field, "constructor") == 0 && KindOf(parent) == K::new_expression);
}

bool Walker::Guarded(std::string_view name, bool called) const {
    if (!collectors_.empty() && !called) return true; // a name tested, not called, inside a test is the test
    if (tries_ > 0) return true;                      // the catch takes the engine's failure
    auto it = guards_.find(std::string(name));
    return it != guards_.end() && it->second > 0;
}

std::vector<Event> Walker::Walk(TSNode root) {
    TSTreeCursor cursor = ts_tree_cursor_new(root);
    Enter(ts_tree_cursor_current_node(&cursor), nullptr);
    for (;;) {
        if (ts_tree_cursor_goto_first_child(&cursor)) {
            Enter(ts_tree_cursor_current_node(&cursor), ts_tree_cursor_current_field_name(&cursor));
            continue;
        }
        Exit();
        bool more = false;
        for (;;) {
            if (ts_tree_cursor_goto_next_sibling(&cursor)) {
                Enter(ts_tree_cursor_current_node(&cursor), ts_tree_cursor_current_field_name(&cursor));
                more = true;
                break;
            }
            if (!ts_tree_cursor_goto_parent(&cursor)) break;
            Exit();
        }
        if (!more) break;
    }
    ts_tree_cursor_delete(&cursor);
    while (!frames_.empty())
        Exit();

    if (firstErrorRow_ >= 0) return {{kBrokenKind, brokenWhat_, firstErrorRow_}};
    for (const Use& use : uses_) {
        if (declared_.count(use.root) || declared_.count(use.dotted) ||
            (!use.object.empty() && declared_.count(use.object)))
            continue;
        events_.push_back({kApiKind, use.what, use.row});
    }
    return std::move(events_);
}

void Walker::Enter(TSNode node, const char* field) {
    frames_.push_back(Frame{node, KindOf(node), field, {}, {}, 0, false});
    Frame& frame = frames_.back();
    const Frame* parent = frames_.size() >= 2 ? &frames_[frames_.size() - 2] : nullptr;

    if (firstErrorRow_ < 0 && (ts_node_is_missing(node) || KindOf(node) == K::error)) {
        firstErrorRow_ = Row(node);
        brokenWhat_ = "the first error is on this line";
    }

    // Guards: the condition of an if or a ?:, the left side of && and ||, and typeof's operand test
    // names; the rest of that statement or expression runs only where the test passed.
    if (parent && field) {
        const K parentType = parent->kind;
        bool owner = parentType == K::if_statement || parentType == K::ternary_expression;
        const std::string_view op = parentType == K::binary_expression ? FieldType(parent->node, "operator") : "";
        bool logical = op == "&&" || op == "||";
        if ((owner && std::strcmp(field, "condition") == 0) || (logical && std::strcmp(field, "left") == 0)) {
            ++frame.tests;
            collectors_.push_back(frames_.size() - 2);
        } else if ((owner && (std::strcmp(field, "consequence") == 0 || std::strcmp(field, "alternative") == 0)) ||
                   (logical && std::strcmp(field, "right") == 0)) {
            Activate(frame, parent->tested);
        }
    }
    if (parent && field && std::strcmp(field, "body") == 0 && parent->kind == K::try_statement) {
        frame.tried = true;
        ++tries_;
    }
    if (frame.kind == K::unary_expression && FieldType(node, "operator") == "typeof") {
        ++frame.tests;
        collectors_.push_back(frames_.size() - 1);
    }
    // What a test calls (if (s.includes(x))) is no test of that name.
    size_t here = frames_.size() - 1;
    if (!collectors_.empty() && ts_node_is_named(node) &&
        ((frame.kind == K::identifier && !Called(here)) ||
         (frame.kind == K::property_identifier && !Called(here - 1)) || frame.kind == K::string_fragment ||
         frame.kind == K::shorthand_property_identifier)) {
        for (size_t collector : collectors_)
            frames_[collector].tested.emplace_back(Text(node));
    }

    Syntax(node, parent);
    Names(node, field, parent);
}

void Walker::Exit() {
    Frame& frame = frames_.back();
    for (const std::string& name : frame.activated)
        --guards_[name];
    // Each test this frame started ends with it: a typeof that is itself a condition started two.
    collectors_.resize(collectors_.size() - frame.tests);
    if (frame.tried) --tries_;
    // if (!X) return; guards X for the rest of the block.
    if (KindOf(frame.node) == K::if_statement && frames_.size() >= 2 &&
        ts_node_is_null(ts_node_child_by_field_name(frame.node, "alternative", 11)) &&
        Leaves(ts_node_child_by_field_name(frame.node, "consequence", 11))) {
        std::vector<std::string> tested = std::move(frame.tested);
        frames_.pop_back();
        Activate(frames_.back(), tested);
        return;
    }
    frames_.pop_back();
}

void Walker::Syntax(TSNode node, const Frame* parent) {
    const K type = KindOf(node);
    const K parentType = parent ? parent->kind : K::other;
    if (!ts_node_is_named(node)) return;
    if (type == K::arrow_function) {
        Found(kArrow, node);
        if (HasToken(node, "async")) Found(kAsync, node);
    } else if (type == K::class_declaration || type == K::class_expression) {
        Found(kClass, node);
    } else if (type == K::optional_chain) {
        Found(kOptionalChain, node);
    } else if (type == K::template_string) {
        Found(kTemplate, node);
    } else if (type == K::object_pattern || type == K::array_pattern) {
        if (parentType != K::object_pattern && parentType != K::array_pattern && parentType != K::pair_pattern &&
            parentType != K::object_assignment_pattern && parentType != K::assignment_pattern &&
            parentType != K::rest_pattern)
            Found(kDestructuring, node);
    } else if (type == K::assignment_pattern) {
        if (parentType == K::formal_parameters) Found(kDefaultParameter, node);
    } else if (type == K::rest_pattern) {
        if (parentType == K::formal_parameters) Found(kRestParameter, node);
    } else if (type == K::spread_element) {
        Found(kSpread, node);
    } else if (type == K::for_in_statement) {
        if (HasToken(node, "await"))
            Found(kForAwait, node);
        else if (FieldType(node, "operator") == "of")
            Found(kForOf, node);
    } else if (type == K::generator_function_declaration || type == K::generator_function) {
        Found(kGenerator, node);
        if (HasToken(node, "async")) Found(kAsync, node);
    } else if (type == K::function_declaration || type == K::function_expression) {
        if (HasToken(node, "async")) Found(kAsync, node);
    } else if (type == K::method_definition) {
        if (parentType == K::object) {
            bool accessor = HasToken(node, "get") || HasToken(node, "set");
            if (!accessor) Found(kMethodShorthand, node);
        }
        if (HasToken(node, "async")) Found(kAsync, node);
        if (HasToken(node, "*")) Found(kGenerator, node);
    } else if (type == K::await_expression) {
        Found(kAwait, node);
    } else if (type == K::shorthand_property_identifier) {
        Found(kShorthandProperty, node);
    } else if (type == K::computed_property_name) {
        Found(kComputedName, node);
    } else if (type == K::binary_expression) {
        std::string_view op = FieldType(node, "operator");
        if (op == "**") Found(kExponent, node);
        if (op == "??") Found(kNullish, node);
    } else if (type == K::augmented_assignment_expression) {
        std::string_view op = FieldType(node, "operator");
        if (op == "**=") Found(kExponentAssign, node);
        if (op == "?\?=") Found(kNullishAssign, node);
        if (op == "||=") Found(kOrAssign, node);
        if (op == "&&=") Found(kAndAssign, node);
    } else if (type == K::arguments) {
        if (EndsWithComma(node)) Found(kTrailingCallComma, node);
    } else if (type == K::formal_parameters) {
        if (EndsWithComma(node)) Found(kTrailingParameterComma, node);
    } else if (type == K::import_statement) {
        Found(kImport, node);
    } else if (type == K::export_statement) {
        Found(kExport, node);
    } else if (type == K::import) {
        if (parentType == K::call_expression) Found(kDynamicImport, node);
    } else if (type == K::meta_property) {
        Found(Text(node).substr(0, 3) == "new" ? kNewTarget : kImportMeta, node);
    } else if (type == K::number) {
        std::string_view text = Text(node);
        if (text.size() > 1 && text[0] == '0' && (text[1] == 'b' || text[1] == 'B')) Found(kBinaryNumber, node);
        if (text.size() > 1 && text[0] == '0' && (text[1] == 'o' || text[1] == 'O')) Found(kOctalNumber, node);
        if (text.find('_') != std::string_view::npos) Found(kNumericSeparator, node);
        if (!text.empty() && text.back() == 'n') Found(kBigInt, node);
    } else if (type == K::escape_sequence) {
        if (Text(node).substr(0, 3) == "\\u{") Found(kCodePointEscape, node);
    } else if (type == K::catch_clause) {
        if (FieldType(node, "parameter").empty()) Found(kOptionalCatch, node);
    } else if (type == K::hash_bang_line) {
        Found(kHashbang, node);
    } else if (type == K::regex_pattern) {
        if (Text(node).find("(?<") != std::string_view::npos) Found(kNamedGroup, node);
    } else if (type == K::regex_flags) {
        for (char c : Text(node))
            for (const Flag& flag : kRegexFlags)
                if (flag.flag == c) Found(flag.construct, node);
    } else if (type == K::jsx || type == K::decorator) {
        // Markup and decorators are for a build step; no browser reads them.
        if (firstErrorRow_ < 0) {
            firstErrorRow_ = Row(node);
            brokenWhat_ = type == K::decorator ? "a decorator, which only a build step turns into a script"
                                               : "JSX markup, which only a build step turns into a script";
        }
    }
}

// The receiver's type where the expression shows it: a literal, or the result of a call whose type the
// name tells.
std::string_view Walker::ReceiverType(TSNode node) const {
    K type = KindOf(node);
    // Through parentheses and to the right of && and ||, without recursion: hostile nesting is deep.
    for (;;) {
        if (type == K::parenthesized_expression && ts_node_named_child_count(node) == 1) {
            node = ts_node_named_child(node, 0);
        } else if (type == K::binary_expression &&
                   (FieldType(node, "operator") == "||" || FieldType(node, "operator") == "&&")) {
            node = ts_node_child_by_field_name(node, "right", 5);
        } else {
            break;
        }
        if (ts_node_is_null(node)) return {};
        type = KindOf(node);
    }
    if (type == K::string || type == K::template_string) return "String";
    if (type == K::array) return "Array";
    if (type == K::regex) return "RegExp";
    if (type != K::call_expression) return {};
    TSNode callee = ts_node_child_by_field_name(node, "function", 8);
    if (ts_node_is_null(callee) || KindOf(callee) != K::member_expression) return {};
    TSNode objectNode = ts_node_child_by_field_name(callee, "object", 6);
    std::string_view method = Text(ts_node_child_by_field_name(callee, "property", 8));
    std::string_view object = KindOf(objectNode) == K::identifier ? Text(objectNode) : std::string_view{};
    if (object == "Object" && (method == "keys" || method == "getOwnPropertyNames")) return "Array";
    for (std::string_view m : {"toLowerCase", "toUpperCase", "trim", "substring", "substr", "charAt", "toFixed", "join",
                               "toLocaleLowerCase", "toLocaleUpperCase"})
        if (method == m) return "String";
    if (method == "split") return "Array";
    if (method == "querySelectorAll") return "NodeList";
    if (method == "querySelector" || method == "getElementById") return "Element";
    return {};
}

// The builtin prototypes the engine lacks a method on, when no type the engine has carries it: what a
// call of it on a value of unknown type is flagged as. Empty: not flagged.
const std::vector<std::string>& Walker::UnknownReceiverOwners(const std::string& method) {
    auto [it, inserted] = methodOwners_.try_emplace(method);
    if (!inserted) return it->second;
    if (Among(kLibraryMethodNames, method)) return it->second;
    std::vector<std::string> owners;
    for (std::string_view type : kBuiltinTypes) {
        std::string path = "javascript.builtins." + std::string(type) + "." + method;
        if (!Known(path)) continue;
        if (!EngineLacks(path)) return it->second;
        if (type == "String" || type == "Array") owners.push_back(std::string(type) + ".prototype." + method);
    }
    for (std::string_view type : kInterfaceTypes) {
        std::string path = "api." + std::string(type) + "." + method;
        if (Known(path) && !EngineLacks(path)) return it->second;
    }
    it->second = std::move(owners);
    return it->second;
}

void Walker::MemberUse(TSNode node, const Frame* parent, const char* field) {
    TSNode objectNode = ts_node_child_by_field_name(node, "object", 6);
    TSNode propertyNode = ts_node_child_by_field_name(node, "property", 8);
    if (ts_node_is_null(objectNode) || ts_node_is_null(propertyNode) || KindOf(propertyNode) != K::property_identifier)
        return;
    std::string property(Text(propertyNode));
    bool called = Called(frames_.size() - 1);
    if (Guarded(property, called)) return;
    bool assigned = parent && field && std::strcmp(field, "left") == 0 && parent->kind == K::assignment_expression;
    if (assigned) return;

    // window.navigator.clipboard reads as navigator.clipboard.
    std::string object;
    if (KindOf(objectNode) == K::identifier) {
        object = Text(objectNode);
    } else if (KindOf(objectNode) == K::member_expression) {
        TSNode inner = ts_node_child_by_field_name(objectNode, "object", 6);
        if (KindOf(inner) == K::identifier && InterfaceOf(Text(inner)) == "Window")
            object = Text(ts_node_child_by_field_name(objectNode, "property", 8));
    }
    if (!object.empty() && Guarded(object, called)) return;

    if (!object.empty() && Among(kBuiltinObjects, object)) {
        std::string dotted = object + "." + property;
        std::string path = "javascript.builtins." + dotted;
        if (EngineLacks(path)) AddUse(object, dotted, dotted, node);
        return;
    }
    if (std::string_view interface = InterfaceOf(object); !interface.empty()) {
        if (interface == "Window") {
            // window.fetch is the global fetch.
            for (std::string path : {"api.Window." + property, "api." + property, "javascript.builtins." + property}) {
                if (!Known(path)) continue;
                if (EngineLacks(path)) AddUse(property, object + "." + property, property, node, object);
                return;
            }
            return;
        }
        std::string path = "api." + std::string(interface) + "." + property;
        if (EngineLacks(path))
            AddUse(object, object + "." + property, object + "." + property, node);
        return;
    }

    // A method called on a value: by the receiver's type where the expression shows it, else by its name.
    if (!called || parent->kind != K::call_expression) return;
    std::string_view receiver = ReceiverType(objectNode);
    if (!receiver.empty()) {
        bool builtin = receiver == "String" || receiver == "Array" || receiver == "RegExp";
        std::string path = (builtin ? "javascript.builtins." : "api.") + std::string(receiver) + "." + property;
        if (EngineLacks(path)) {
            std::string dotted = std::string(receiver) + ".prototype." + property;
            AddUse(std::string(receiver), dotted, dotted, node);
        }
        return;
    }
    const std::vector<std::string>& owners = UnknownReceiverOwners(property);
    if (owners.empty()) return;
    std::string what = owners[0];
    for (size_t i = 1; i < owners.size(); ++i)
        what += " or " + owners[i];
    AddUse(owners[0].substr(0, owners[0].find('.')), owners[0], what, node);
}

// Declared names, and uses of globals and of members the engine lacks.
void Walker::Names(TSNode node, const char* field, const Frame* parent) {
    const K type = frames_.back().kind;
    const K parentType = parent ? parent->kind : K::other;
    std::string_view fieldName = field ? std::string_view(field) : std::string_view{};

    if (type == K::member_expression) {
        // An assignment to a member defines it here: Object.assign = ..., window.fetch = ...
        if (parentType == K::assignment_expression && fieldName == "left") {
            declared_.emplace(Text(node));
            TSNode objectNode = ts_node_child_by_field_name(node, "object", 6);
            if (KindOf(objectNode) == K::identifier && InterfaceOf(Text(objectNode)) == "Window")
                declared_.emplace(Text(ts_node_child_by_field_name(node, "property", 8)));
        }
        MemberUse(node, parent, field);
        return;
    }
    if (type == K::shorthand_property_identifier_pattern) {
        declared_.emplace(Text(node));
        return;
    }
    if (type != K::identifier && type != K::shorthand_property_identifier) return;
    std::string name(Text(node));
    bool binding =
        (fieldName == "name" &&
         (parentType == K::variable_declarator || parentType == K::function_declaration ||
          parentType == K::function_expression || parentType == K::generator_function_declaration ||
          parentType == K::generator_function || parentType == K::class_declaration ||
          parentType == K::class_expression || parentType == K::import_specifier ||
          parentType == K::export_specifier)) ||
        fieldName == "alias" || parentType == K::formal_parameters || parentType == K::array_pattern ||
        parentType == K::rest_pattern || parentType == K::namespace_import || parentType == K::import_clause ||
        (fieldName == "parameter" && (parentType == K::arrow_function || parentType == K::catch_clause)) ||
        (fieldName == "left" && (parentType == K::assignment_pattern || parentType == K::object_assignment_pattern ||
                                 parentType == K::assignment_expression || parentType == K::for_in_statement)) ||
        (fieldName == "value" && parentType == K::pair_pattern);
    if (binding) {
        declared_.insert(std::move(name));
        return;
    }
    const bool called = Called(frames_.size() - 1);
    if (Guarded(name, called)) return;
    const bool constructed = called && parentType == K::new_expression;
    for (std::string path : {"javascript.builtins." + name, "api." + name, "api.Window." + name}) {
        if (!Known(path)) continue;
        if (EngineLacks(path)) {
            AddUse(name, name, name, node);
        } else if (constructed) {
            // new CustomEvent(...): the interface is there, its constructor may not be.
            std::string constructor = path + "." + name;
            if (EngineLacks(constructor))
                AddUse(name, name, name + " constructor", node);
        }
        return;
    }
}

// Debian's tree-sitter (0.20.7) keeps a node's number of children in 16 bits: a node made of 65,536
// or more stack entries (a script ending inside some 65,000 unclosed brackets, or tens of thousands of
// comments in one expression) wraps that count and later frees memory it never allocated. A script
// with fewer possible tokens than that cannot get there; a bigger one is parsed with the parser's log,
// which tells each shift and reduction of each stack version, and stopped before a stack could hold
// that many entries. The estimate never undercounts: comments are never taken off, and where versions
// split or merge each takes the deepest estimate of them all.
constexpr long kMaxStackEntries = 50'000;

struct DepthWatch {
    std::array<long, 64> entries{}; // by stack version
    unsigned versions = 1;
    unsigned current = 0;
    size_t cancel = 0;

    long Deepest() const { return *std::max_element(entries.begin(), entries.begin() + versions); }
    void Level() { std::fill(entries.begin(), entries.begin() + versions, Deepest()); }
};

void WatchDepth(void* payload, TSLogType type, const char* message) {
    if (type != TSLogTypeParse) return;
    auto& watch = *static_cast<DepthWatch*>(payload);
    const std::string_view text(message);
    const unsigned most = static_cast<unsigned>(watch.entries.size());
    if (text.starts_with("process version:")) {
        size_t at = text.find("version_count:");
        unsigned count = at == std::string_view::npos ? 1 : static_cast<unsigned>(std::atoi(message + at + 14));
        count = std::clamp(count, 1u, most);
        if (count != watch.versions) {
            const long deepest = watch.Deepest();
            watch.versions = count;
            std::fill(watch.entries.begin(), watch.entries.begin() + count, deepest);
        }
        watch.current = std::min(static_cast<unsigned>(std::atoi(message + 16)), count - 1);
        return;
    }
    if (text.starts_with("condense")) {
        watch.Level();
        return;
    }
    long& entries = watch.entries[watch.current];
    if (text.starts_with("shift") || text.starts_with("skip_token") || text.starts_with("recover_with_missing")) {
        ++entries;
    } else if (text.starts_with("reduce ")) {
        size_t at = text.find("child_count:");
        if (at != std::string_view::npos) entries = std::max(1L, entries - (std::atol(message + at + 12) - 1));
    }
    if (entries > kMaxStackEntries) watch.cancel = 1;
}

// Where a JSON text ends that starts at `at`, or npos when none does. Iterative, so depth costs no stack.
size_t JsonEnd(std::string_view text, size_t at) {
    auto space = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) ++at;
    };
    auto literal = [&](std::string_view word) {
        if (text.substr(at, word.size()) != word) return false;
        at += word.size();
        return true;
    };
    auto string = [&] {
        ++at;  // the opening quote
        while (at < text.size()) {
            const unsigned char c = static_cast<unsigned char>(text[at]);
            if (c == '"') return ++at, true;
            if (c < 0x20) return false;
            // U+2028 and U+2029 may stand raw in JSON but end an ES5 string literal.
            if (c == 0xE2 && text.substr(at, 3).size() == 3 && static_cast<unsigned char>(text[at + 1]) == 0x80 &&
                (static_cast<unsigned char>(text[at + 2]) & 0xFE) == 0xA8)
                return false;
            if (c == '\\') {
                if (++at >= text.size()) return false;
                if (text[at] == 'u') {
                    for (int i = 1; i <= 4; ++i)
                        if (at + i >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[at + i]))) return false;
                    at += 4;
                } else if (!std::strchr("\"\\/bfnrt", text[at])) {
                    return false;
                }
            }
            ++at;
        }
        return false;
    };
    auto number = [&] {
        const size_t start = at;
        if (at < text.size() && text[at] == '-') ++at;
        auto digits = [&] {
            const size_t from = at;
            while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
            return at > from;
        };
        if (at < text.size() && text[at] == '0') ++at;
        else if (!digits()) return false;
        if (at < text.size() && text[at] == '.' && (++at, !digits())) return false;
        if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
            ++at;
            if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
            if (!digits()) return false;
        }
        return at > start;
    };
    // A member's name and its colon, up to its value.
    auto key = [&] {
        if (at >= text.size() || text[at] != '"' || !string()) return false;
        space();
        if (at >= text.size() || text[at++] != ':') return false;
        space();
        return true;
    };
    std::vector<char> open;  // the closing bracket each open container waits for
    space();
    for (;;) {
        // A value.
        if (at >= text.size()) return std::string_view::npos;
        const char c = text[at];
        if (c == '{' || c == '[') {
            open.push_back(c == '{' ? '}' : ']');
            ++at;
            space();
            if (at < text.size() && text[at] == open.back()) {
                ++at;
                open.pop_back();
            } else {
                if (open.back() == '}' && !key()) return std::string_view::npos;
                continue;
            }
        } else if (c == '"') {
            if (!string()) return std::string_view::npos;
        } else if (!(literal("true") || literal("false") || literal("null") || number())) {
            return std::string_view::npos;
        }
        // What follows a value: a comma and the next member, or the end of containers.
        for (;;) {
            space();
            if (open.empty()) return at;
            if (at >= text.size()) return std::string_view::npos;
            if (text[at] == open.back()) {
                ++at;
                open.pop_back();
                continue;
            }
            if (text[at++] != ',') return std::string_view::npos;
            space();
            if (open.back() == '}' && !key()) return std::string_view::npos;
            break;
        }
    }
}

// A script that only hands one large JSON text to a function or a variable (a search index, a table of
// data): `Name.f({...});` or `var name = [...];`. JSON is ES5 syntax and calls nothing, so the parser
// reads the script with the data replaced by 0, its line ends kept; the lines of the rest stay. Parsing
// megabytes of data would cost seconds and, with tens of thousands of members in one object, reach the
// parser's limit of children per node. Empty when the script has no such shape.
std::string DataSkeleton(std::string_view source) {
    constexpr size_t kLeastData = 64u << 10;  // below this, the parser is quick enough
    if (source.size() < kLeastData) return {};
    size_t at = 0;
    auto space = [&] {
        while (at < source.size() && std::isspace(static_cast<unsigned char>(source[at]))) ++at;
    };
    auto name = [&] {
        const size_t from = at;
        while (at < source.size() && (std::isalnum(static_cast<unsigned char>(source[at])) || source[at] == '_' ||
                                      source[at] == '$' || source[at] == '.'))
            ++at;
        return at > from;
    };
    space();
    const size_t declaration = at;
    for (std::string_view keyword : {"var ", "let ", "const "})
        if (source.substr(at, keyword.size()) == keyword) at += keyword.size();
    const bool declared = at > declaration;
    space();
    if (!name()) return {};
    space();
    bool call = false;
    if (at < source.size() && source[at] == '(' && !declared) {
        call = true;
    } else if (at >= source.size() || source[at] != '=') {
        return {};
    }
    ++at;
    space();
    if (at >= source.size() || (source[at] != '{' && source[at] != '[')) return {};
    const size_t dataBegin = at;
    const size_t dataEnd = JsonEnd(source, dataBegin);
    if (dataEnd == std::string_view::npos) return {};
    at = dataEnd;
    space();
    if (call && (at >= source.size() || source[at++] != ')')) return {};
    space();
    if (at < source.size() && source[at] == ';') ++at;
    space();
    if (at != source.size()) return {};
    std::string skeleton(source.substr(0, dataBegin));
    skeleton += '0';
    for (size_t i = dataBegin; i < dataEnd; ++i)
        if (source[i] == '\n' || source[i] == '\r') skeleton += source[i];
    skeleton += source.substr(dataEnd);
    return skeleton;
}

// More than the parser's stack could ever hold at once: every token, and a line end or a missing token
// inserted for each.
bool MayNestTooDeep(std::string_view source) {
    size_t possible = 0;
    for (char c : source)
        possible += (c == '\n') ? 2 : (c != ' ' && c != '\t' && c != '\r') ? 2 : 0;
    return possible >= static_cast<size_t>(kMaxStackEntries);
}

// A parser and what its walks have looked up; one per thread reading at the same time.
struct Reader {
    TSParser* parser = nullptr;
    std::unordered_map<std::string, std::vector<std::string>> methodOwners;

    Reader() {
        parser = ts_parser_new();
        ts_parser_set_language(parser, tree_sitter_javascript());
        ts_parser_set_timeout_micros(parser, kParseMicros);
    }
    ~Reader() { ts_parser_delete(parser); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    std::vector<Event> Read(std::string_view source);
};

std::vector<Event> Reader::Read(std::string_view source) {
    if (source.size() > kMaxScriptBytes) return {{kUnreadKind, "it is over 4 MB", -1}};
    const std::string skeleton = DataSkeleton(source);
    if (!skeleton.empty()) source = skeleton;
    ts_parser_reset(parser);
    DepthWatch watch;
    const bool watched = MayNestTooDeep(source);
    if (watched) {
        ts_parser_set_logger(parser, TSLogger{&watch, WatchDepth});
        ts_parser_set_cancellation_flag(parser, &watch.cancel);
    }
    TSTree* tree = ts_parser_parse_string(parser, nullptr, source.data(), static_cast<uint32_t>(source.size()));
    if (watched) {
        ts_parser_set_logger(parser, TSLogger{nullptr, nullptr});
        ts_parser_set_cancellation_flag(parser, nullptr);
        ts_parser_reset(parser); // while the flag it may still read lives
    }
    if (!tree && watch.cancel) return {{kUnreadKind, "it nests deeper than the check reads", -1}};
    if (!tree) return {{kUnreadKind, "reading it took longer than the check allows", -1}};
    Walker walker(source, methodOwners);
    std::vector<Event> events = walker.Walk(ts_tree_root_node(tree));
    ts_tree_delete(tree);
    return events;
}

} // namespace

// The cache and the idle readers are shared by the threads of a check; a script is read outside the lock.
struct ScriptScanner::State {
    std::mutex lock;
    std::vector<std::unique_ptr<Reader>> idle;
    std::unordered_map<std::string, std::vector<Event>> cache; // by the script's text, handlers marked
    size_t cachedBytes = 0;

    void Scan(std::string_view source, char mode, int firstLine, Tally& tally);
};

ScriptScanner::ScriptScanner() : state_(new State) {}

ScriptScanner::~ScriptScanner() { delete state_; }

void ScriptScanner::State::Scan(std::string_view source, char mode, int firstLine, Tally& tally) {
    auto replay = [&](const std::vector<Event>& events) {
        for (const Event& event : events) {
            bool unread = event.row < 0;
            tally.Add(event.kind, unread ? Severity::Note : Severity::Warning, event.what,
                      unread ? firstLine : firstLine + event.row);
        }
    };
    // A script file is reached once; inline blocks and handlers repeat from page to page.
    const bool remember = mode != 'f' && source.size() <= kMaxScriptBytes;
    std::string key;
    if (remember) {
        key.reserve(source.size() + 1);
        key += mode;
        key += source;
    }
    std::unique_ptr<Reader> reader;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (remember) {
            auto it = cache.find(key);
            if (it != cache.end()) return replay(it->second);
        }
        if (!idle.empty()) {
            reader = std::move(idle.back());
            idle.pop_back();
        }
    }
    if (!reader) reader = std::make_unique<Reader>();
    std::vector<Event> events = reader->Read(source);
    replay(events);
    std::lock_guard<std::mutex> hold(lock);
    idle.push_back(std::move(reader));
    const size_t bytes = key.size();
    if (remember && cachedBytes + bytes <= kMaxCachedBytes && cache.emplace(std::move(key), std::move(events)).second)
        cachedBytes += bytes;
}

void ScriptScanner::ScanFile(std::string_view source, Tally& tally) { state_->Scan(source, 'f', 1, tally); }

void ScriptScanner::Scan(std::string_view source, int firstLine, Tally& tally) {
    state_->Scan(source, 's', firstLine, tally);
}

void ScriptScanner::ScanHandler(std::string_view source, int line, Tally& tally) {
    state_->Scan(source, 'h', line, tally);
}

} // namespace publish::engine
