// The hand-worked compaction examples, checked against both the fast stage and the
// step-by-step model, so that the two are held to the very same rows.
#ifndef TESTS_COMPACTION_EXAMPLES_H_
#define TESTS_COMPACTION_EXAMPLES_H_

#include <cstdint>
#include <string>

struct compaction_example {
  std::string before;
  std::string after;
  std::int32_t count;
};

inline const compaction_example compaction_examples[] = {
    {"a  b", "a b", 1},
    {"a \n\tb", "a\tb", 2},
    {"a  \nb", "a\nb", 2},
    {"a ; b", "a;b", 2},
    {"a;;;b", "a;b", 2},
    {"a; }", "a}", 2},
    {"a{b:c;;;}", "a{b:c}", 3},
    {"h1 , h2 { font: 12px / 1.5 serif ; }", "h1,h2{font:12px/1.5 serif}", 10},
    {"a:hover  >  b { }", "a:hover > b{}", 4},
    {"@media screen and (max-width: 100px) { a { color: red; } }",
     "@media screen and(max-width:100px){a{color:red}}", 10},
    {"  body {\n  color : red ;\n  margin: 0 auto;\n}\n", "body{color:red;margin:0 auto}", 16},
    {"p { margin : 0 ; ; }", "p{margin:0}", 9},
    // The typical 22-byte file as loaded (its final LF already dropped).
    {"a {\n  color : red ;\n}", "a{color:red}", 9},
};

#endif  // TESTS_COMPACTION_EXAMPLES_H_
