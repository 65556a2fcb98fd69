// Deterministic generator of short CSS-like byte strings for randomized tests, fuzz seeds and
// benchmarks. Each input draws its own token weights, so that rare structures (escaped quotes
// before comments, touching strings, runs of ';' before '}', escapes, line breaks in
// strings, "/ *") keep turning up; the same seed
// always gives the same sequence of inputs.
#ifndef TESTS_CSS_GENERATOR_H_
#define TESTS_CSS_GENERATOR_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

class css_generator {
 public:
  explicit css_generator(std::uint64_t seed) : engine_(seed) {}

  // The next input: usually 0 to 80 bytes, now and then a few hundred.
  std::string next() {
    const std::size_t target = pick(0, 19) == 0 ? pick(80, 400) : pick(0, 80);
    draw_weights();
    std::string text;
    while (text.size() < target) append_token(text);
    return text;
  }

  // A longer input, 200 to 3000 bytes: short ones back to back, now and then with a stretch
  // of up to 150 bytes between them in which no quote, backslash or comment begins or ends.
  // Strings, comments and runs of backslashes then cross the boundaries at which the
  // stages take the text in blocks, and whole blocks pass with nothing to change state.
  // Now and then a rule ends on a line of its own, where compaction may cut the text to
  // share it among threads: inside a string or a comment, after an escape or after a
  // hex digit too, and after a line break that a comment may hold.
  std::string next_long() {
    static constexpr std::string_view plain = "abcxyz09 ;:{}\n\t-#.";
    static constexpr std::string_view rule_ends[] = {
        ";\n}\n.r", "\n}\r\n@m", "x\n} #i{", "\\\n}\n[a", "\\7\n}\tp", "/*\n}\n.c*/}\n#c",
        "\n*/}/*}\n.x*/\na"};
    const std::size_t target = pick(200, 3000);
    std::string text;
    while (text.size() < target) {
      text += next();
      if (pick(0, 2) == 0) text += rule_ends[pick(0, 6)];
      if (pick(0, 1) == 0) {
        // The stretch stands alone, or as the contents of a string or a comment.
        const std::string_view ends[] = {"", "'", "\"", "/*"};
        const std::string_view begin = ends[pick(0, 3)];
        text += begin;
        // Or made of gap bytes only, long enough to fill blocks, with or without a ';'; or
        // with no line break, as a data URI (whole blocks inside one string).
        static constexpr std::string_view uri = "abc09/+=:;,%";
        const std::size_t choice = pick(0, 5);
        const std::string_view bytes =
            choice == 0 ? std::string_view(" \t\n\r;").substr(0, pick(3, 5))
                        : (choice == 1 ? uri : plain);
        for (std::size_t i = pick(1, 150); i > 0; --i) text += bytes[pick(0, bytes.size() - 1)];
        // Now and then the text ends there, the string or comment still open.
        if (text.size() >= target && pick(0, 3) == 0) break;
        text += begin == "/*" ? "*/" : begin;
      }
    }
    return text;
  }

  // A number in [low, high]. Plain modulo rather than a standard distribution: the engine's
  // output is fixed by the standard but distributions differ between libraries, and a seed
  // must give the same inputs on every platform. The bias is far too small to matter here.
  std::size_t pick(std::size_t low, std::size_t high) {
    return low + static_cast<std::size_t>(engine_() % (high - low + 1));
  }

 private:
  enum token_kind : std::size_t {
    apostrophe,
    double_quote,
    backslash,
    comment_opener,
    comment_closer,
    delimiter,
    layout_byte,
    letter,
    odd_control,  // NUL (a whole run refuses the text), VT, FF
    high_byte,    // 0x80 to 0xFF
    asterisk,
    space_run,
    semicolon_run,
    whole_comment,
    empty_pair,
    escaped_byte,      // a backslash before a delimiter, a space, a line break or a quote
    hex_escape,        // a backslash, hex digits, now and then a layout byte after them
    broken_string,     // a string with a line break in it, escaped or not
    slash_space_star,  // '/', layout space, '*'
    joining_byte,      // a byte that may join its neighbour into one token across a comment
    statement_start,   // '@' and a keyword, "@charset \"" among them
    token_kind_count
  };

  // Each kind gets a weight of 0, 1, 3 or 9 per input: some inputs have no quotes at all,
  // others are nearly all quotes and backslashes.
  void draw_weights() {
    constexpr std::array<std::size_t, 4> choices = {0, 1, 3, 9};
    total_weight_ = 0;
    for (std::size_t& weight : weights_) {
      weight = choices[pick(0, choices.size() - 1)];
      total_weight_ += weight;
    }
    if (total_weight_ == 0) {
      weights_[letter] = 1;
      total_weight_ = 1;
    }
  }

  void append_token(std::string& text) {
    std::size_t draw = pick(0, total_weight_ - 1);
    std::size_t kind = 0;
    while (draw >= weights_[kind]) draw -= weights_[kind++];

    // Every byte the stages give a role, and punctuation they leave alone on purpose
    // (combinators, "!important"): a byte moved into or out of a class shows at once.
    static constexpr std::string_view delimiters = ";:{}(),/>+~!";
    static constexpr std::string_view layout = "\t\n\r ";
    static constexpr std::string_view escapable = ";:{}(),/\t\n\r \f'\"\\*";
    static constexpr std::string_view hex = "0123456789abcdefABCDEFg";
    static constexpr std::string_view breaks = "\n\r\f";
    static constexpr std::string_view controls("\0\v\f", 3);
    static constexpr std::string_view joining = "09|=^$<-@#%.uUeE_";
    static constexpr std::string_view statements[] = {"@import ", "@layer a,b", "@charset \"",
                                                      "@x"};
    switch (kind) {
      case apostrophe: text += '\''; break;
      case double_quote: text += '"'; break;
      case backslash: text += '\\'; break;
      case comment_opener: text += "/*"; break;
      case comment_closer: text += "*/"; break;
      case delimiter: text += delimiters[pick(0, delimiters.size() - 1)]; break;
      case layout_byte: text += layout[pick(0, layout.size() - 1)]; break;
      case letter: text += static_cast<char>('a' + pick(0, 25)); break;
      case odd_control: text += controls[pick(0, controls.size() - 1)]; break;
      case high_byte: text += static_cast<char>(pick(0x80, 0xFF)); break;
      case asterisk: text += '*'; break;
      case space_run: text.append(pick(2, 8), ' '); break;
      case semicolon_run: text.append(pick(2, 5), ';'); break;
      case whole_comment: text += pick(0, 1) == 0 ? "/**/" : "/* x */"; break;
      case empty_pair: text += pick(0, 1) == 0 ? "''" : "\"\""; break;
      case escaped_byte:
        text += '\\';
        text += escapable[pick(0, escapable.size() - 1)];
        break;
      case hex_escape:
        text += '\\';
        for (std::size_t i = pick(1, 8); i > 0; --i) text += hex[pick(0, hex.size() - 1)];
        if (pick(0, 3) == 0) {
          text += "\r\n";
        } else if (pick(0, 2) != 0) {
          text += layout[pick(0, layout.size() - 1)];
        }
        break;
      case broken_string: {
        const char quote = pick(0, 1) == 0 ? '\'' : '"';
        text += quote;
        text += static_cast<char>('a' + pick(0, 25));
        if (pick(0, 2) == 0) text += '\\';
        if (pick(0, 3) == 0) {
          text += "\r\n";
        } else {
          text += breaks[pick(0, breaks.size() - 1)];
        }
        if (pick(0, 1) == 0) text += quote;
        break;
      }
      case slash_space_star: text += '/' + std::string(pick(1, 3), ' ') + '*'; break;
      case joining_byte: text += joining[pick(0, joining.size() - 1)]; break;
      default: text += statements[pick(0, std::size(statements) - 1)]; break;
    }
  }

  std::mt19937_64 engine_;
  std::array<std::size_t, token_kind_count> weights_{};
  std::size_t total_weight_ = 0;
};

#endif  // TESTS_CSS_GENERATOR_H_
