// Builds large stylesheets in memory for the benchmarks and for make_stylesheet: a typical
// one, made of the things real stylesheets hold, and pathological ones that a stage doing
// per-byte erasure or rescanning would take quadratic time on. Deterministic: the same
// size and seed always give the same bytes, so numbers from different runs compare.
#ifndef BENCH_STYLESHEET_GENERATOR_H_
#define BENCH_STYLESHEET_GENERATOR_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace stylesheet_generator {

// splitmix64: small, fast and the same on every platform, unlike std:: distributions.
class random_source {
 public:
  explicit random_source(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A value in [0, bound); bound > 0. The slight bias does not matter here.
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
  bool one_in(std::size_t n) { return below(n) == 0; }
  template <std::size_t N>
  std::string_view pick(const std::array<std::string_view, N>& choices) {
    return choices[below(N)];
  }

 private:
  std::uint64_t state_;
};

inline constexpr std::array<std::string_view, 16> elements = {
    "a", "p", "ul", "li", "nav", "div", "span", "table", "td", "th", "h1", "h2",
    "input", "button", "section", "footer"};
inline constexpr std::array<std::string_view, 16> class_names = {
    ".btn", ".card", ".header", ".menu", ".active", ".hero", ".grid", ".col-6",
    ".is-open", ".notice", ".price", ".sidebar", ".tab", ".title", ".row", ".icon"};
inline constexpr std::array<std::string_view, 8> pseudo = {
    ":hover", ":focus", ":first-child", ":nth-child(2n+1)", "::before", "::after",
    ":not(.disabled)", ":focus-visible"};
inline constexpr std::array<std::string_view, 5> combinators = {" ", " > ", " + ", " ~ ", ">"};
inline constexpr std::array<std::string_view, 16> properties = {
    "color", "background", "margin", "padding", "font", "font-family", "border",
    "display", "width", "height", "content", "box-shadow", "transition", "transform",
    "line-height", "grid-template-columns"};
inline constexpr std::array<std::string_view, 24> values = {
    "#fff", "#1d1d1d", "rgba(0, 0, 0, 0.5)", "0 auto", "1rem 2rem", "0", "block",
    "flex", "none", "100%", "calc(100% - 2 * var(--gap))", "1px solid #ccc",
    "16px/1.5 \"Helvetica Neue\", Arial, sans-serif", "url(\"img/bg image.png\") no-repeat",
    "url(img/sprite.svg#icon)", "\"\\201C\"", "'  (see notes)'", "\" / \"",
    "0 1px 2px rgba(0,0,0,.2), 0 0 0 1px #eee", "opacity 0.2s ease-in-out",
    "translate(-50%, -50%) rotate(45deg)", "repeat(auto-fill, minmax(12rem, 1fr))",
    "\"it's \\\"quoted\\\"\"", "attr(data-label)"};
inline constexpr std::array<std::string_view, 6> comments = {
    "/* layout */", "/* TODO: remove after the redesign */",
    "/*\n * Section: forms\n * Inputs, labels and buttons.\n */", "/**/",
    "/* url(\"old.png\") was too big */", "/*! keep: licence notice */"};
inline constexpr std::array<std::string_view, 4> indents = {"  ", "    ", "\t", "  "};

inline void append_selector(random_source& random, std::string& out) {
  const std::size_t parts = 1 + random.below(3);
  for (std::size_t i = 0; i < parts; ++i) {
    if (i > 0) out += random.pick(combinators);
    if (random.one_in(3)) {
      out += random.pick(class_names);
    } else {
      out += random.pick(elements);
      if (random.one_in(3)) out += random.pick(class_names);
    }
    if (random.one_in(12)) out += "[type=\"text\"]";
    // Pseudo-elements such as ::before may only end a selector.
    if (i + 1 == parts && random.one_in(5)) out += random.pick(pseudo);
  }
}

inline void append_rule(random_source& random, std::string& out, std::string_view indent) {
  append_selector(random, out);
  while (random.one_in(3)) {
    out += random.one_in(2) ? ",\n" : ", ";
    out += indent;
    append_selector(random, out);
  }
  out += random.one_in(8) ? "{" : " {";
  out += '\n';
  const std::string_view step = random.pick(indents);
  const std::size_t declarations = 1 + random.below(7);
  for (std::size_t i = 0; i < declarations; ++i) {
    out += indent;
    out += step;
    out += random.pick(properties);
    out += random.one_in(10) ? " : " : ": ";
    out += random.pick(values);
    if (random.one_in(15)) out += " !important";
    // Most rules end their last declaration with ';' too; a few double it by mistake.
    if (i + 1 < declarations || !random.one_in(4)) out += ';';
    if (random.one_in(40)) out += ';';
    if (random.one_in(20)) out += "  ";
    out += random.one_in(30) ? "\r\n" : "\n";
  }
  out += indent;
  out += "}\n";
}

inline void append_at_rule(random_source& random, std::string& out) {
  switch (random.below(4)) {
    case 0:
      out += "@media screen and (max-width: 48em) {\n";
      for (std::size_t i = 1 + random.below(4); i > 0; --i) {
        append_rule(random, out, "  ");
        out += '\n';
      }
      out += "}\n";
      break;
    case 1:
      out += "@font-face {\n  font-family: \"Brand Sans\";\n"
             "  src: url('fonts/brand sans.woff2') format(\"woff2\"),\n"
             "       url('fonts/brand sans.woff') format(\"woff\");\n  font-display: swap;\n}\n";
      break;
    case 2:
      out += "@keyframes fade-in {\n  from { opacity: 0; }\n  to { opacity: 1; }\n}\n";
      break;
    default:
      // Not @import: it belongs at the top only, and some minifiers slow down a great
      // deal on the warnings about one further down.
      out += "@supports (display: grid) {\n";
      append_rule(random, out, "  ");
      out += "}\n";
      break;
  }
}

// A typical stylesheet of at least min_bytes bytes (it ends after the rule that passes it).
inline std::string make_typical(std::size_t min_bytes, std::uint64_t seed = 1) {
  random_source random(seed);
  std::string out;
  out.reserve(min_bytes + 4096);
  out += "/*\n * Generated stylesheet for timing cssqueeze.\n * Do not edit.\n */\n\n"
         "@import url(\"theme/print.css\") print;\n\n";
  while (out.size() < min_bytes) {
    if (random.one_in(6)) {
      out += random.pick(comments);
      out += '\n';
    }
    if (random.one_in(10)) {
      append_at_rule(random, out);
    } else {
      append_rule(random, out, "");
    }
    out += '\n';
  }
  return out;
}

// unit repeated until the text holds at least min_bytes bytes.
inline std::string repeat(std::string_view unit, std::size_t min_bytes) {
  std::string out;
  out.reserve(min_bytes + unit.size());
  while (out.size() < min_bytes) out += unit;
  return out;
}

// One string of min_bytes bytes of content with spaces, inside a rule.
inline std::string make_one_long_string(std::size_t min_bytes) {
  return "a{content:\"" + repeat("word  and\tmore  ", min_bytes) + "\"}";
}

// Quotes each behind a run of 1000 backslashes: every escape test has a long way back.
inline std::string make_long_backslash_runs(std::size_t min_bytes) {
  return repeat(std::string(1000, '\\') + "\" ", min_bytes);
}

// Comment openers inside strings, with one closer at the very end: a comment search that
// looks for the closer again from each opener goes to the end every time.
inline std::string make_openers_in_strings(std::size_t min_bytes) {
  return repeat("a{content:\"/*\"}\n", min_bytes) + "*/";
}

// Every line end of text as CR LF, as a stylesheet saved on Windows has them.
inline std::string with_crlf_line_ends(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char byte : text) {
    if (byte == '\n' && (out.empty() || out.back() != '\r')) out += '\r';
    out += byte;
  }
  return out;
}

// The inputs the benchmarks time, by name: the typical stylesheet first (with LF line ends,
// then CR LF), then the pathological ones.
inline constexpr std::array<std::string_view, 17> input_names = {
    "typical",
    "typical_crlf",
    "only_spaces",
    "only_semicolons",
    "only_empty_comments",
    "only_empty_strings",
    "semicolon_space_brace",
    "spaces_semicolons_before_brace",
    "one_long_string",
    "many_short_strings",
    "backslash_before_every_quote",
    "long_backslash_runs",
    "openers_in_strings",
    "unclosed_comment",
    "comment_per_rule",
    "colons_without_brace",
    "colons_before_last_brace"};

// The input of that name, of about size bytes; empty for an unknown name.
inline std::string make_input(std::string_view name, std::size_t size, std::uint64_t seed = 1) {
  if (name == "typical") return make_typical(size, seed);
  if (name == "typical_crlf") return with_crlf_line_ends(make_typical(size - size / 16, seed));
  if (name == "only_spaces") return repeat(" ", size);
  if (name == "only_semicolons") return repeat(";", size);
  if (name == "only_empty_comments") return repeat("/**/", size);
  if (name == "only_empty_strings") return repeat("''", size);
  // "; " and "}" alternating.
  if (name == "semicolon_space_brace") return repeat("; }", size);
  if (name == "spaces_semicolons_before_brace") return repeat("a{b:c ;  ; ;\t;\n }", size);
  if (name == "one_long_string") return make_one_long_string(size);
  // Two strings per ten bytes: twenty million of them in 100 MB.
  if (name == "many_short_strings") return repeat("\"a b\" 'c'", size);
  if (name == "backslash_before_every_quote") return repeat("a\\\"b \\'c ", size);
  if (name == "long_backslash_runs") return make_long_backslash_runs(size);
  if (name == "openers_in_strings") return make_openers_in_strings(size);
  if (name == "unclosed_comment") return "a{b:c}/*" + repeat(" x ", size);
  if (name == "comment_per_rule") return repeat("/* c */a{b:c}\n", size);
  // A space before every fifth byte's ':', whose fate hangs on the first '{', ';' or '}'
  // after it: none at all, or one '{' at the very end.
  if (name == "colons_without_brace") return repeat("a :b ", size);
  if (name == "colons_before_last_brace") return repeat("a :b ", size - 1) + "{";
  return std::string();
}

struct named_input {
  std::string name;
  std::string text;
};

// Every input the stage benchmarks time, each of about size bytes.
inline std::vector<named_input> make_bench_inputs(std::size_t size) {
  std::vector<named_input> inputs;
  for (const std::string_view name : input_names) {
    inputs.push_back({std::string(name), make_input(name, size)});
  }
  return inputs;
}

}  // namespace stylesheet_generator

#endif  // BENCH_STYLESHEET_GENERATOR_H_
