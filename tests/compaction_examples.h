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
     "@media screen and (max-width:100px){a{color:red}}", 9},
    {"  body {\n  color : red ;\n  margin: 0 auto;\n}\n", "body{color:red;margin:0 auto}", 16},
    {"p { margin : 0 ; ; }", "p{margin:0}", 9},
    // The typical 22-byte file as loaded (its final LF already dropped).
    {"a {\n  color : red ;\n}", "a{color:red}", 9},
    // Space that CSS reads as a separator stays: before '(', after ')', before a ':' in a
    // selector or prelude; a delimiter on the gap's other side still pulls it away.
    {"tr:nth-child(2n) td { x: y }", "tr:nth-child(2n) td{x:y}", 4},
    {".a :hover { x: y }", ".a :hover{x:y}", 4},
    {"a { b : c; .d :e { f : g } }", "a{b:c;.d :e{f:g}}", 11},
    {"x { width: calc(100% - (2 * 1rem)); }", "x{width:calc(100% - (2 * 1rem))}", 5},
    {"a ( b ) , c", "a (b),c", 4},
    {"a { color : red }", "a{color:red}", 5},
    {"x { c: rgb( 1 , 2 ) }", "x{c:rgb(1,2)}", 8},
    {"f(a) ;", "f(a);", 1},
    // The byte after a backslash is part of a name, and so is the layout byte that ends a
    // hex escape of one to six digits: never deleted, and no delimiter or ';' to the space
    // or the look-ahead beside it.
    {".md\\: .x { a : b }", ".md\\: .x{a:b}", 5},
    {".\\31  p { a : b }", ".\\31  p{a:b}", 5},
    {".\\31 {a:b}", ".\\31 {a:b}", 0},
    {".\\1234567 {a:b}", ".\\1234567{a:b}", 1},
    {"a{b:c\\;;}", "a{b:c\\;}", 1},
    {".dark :hover .x\\;y { a : b }", ".dark :hover .x\\;y{a:b}", 5},
    {".a\\ { color: red }", ".a\\ {color:red}", 3},
    // '/' and '*' keep one byte between them, or they would open a comment.
    {"*, /deep/ * { a : b }", "*,/deep/ *{a:b}", 6},
    {"x/  *y", "x/ *y", 1},
};

#endif  // TESTS_COMPACTION_EXAMPLES_H_
