#!/usr/bin/python3
"""Minifies every input of a CSS tokenizer test corpus and compares its tokens before and
after, as a real CSS Syntax tokenizer (tinycss2) reads them.

    tokenizer_check.py --expect same|different CORPUS PROGRAM [ARGUMENT...]

CORPUS is the corpus's index.cjs (@rmenke/css-tokenizer-tests: one object mapping each
test's name to its CSS and the tokens it should give; only the CSS is used). Each input is
written to a file of its own, minified in place by `PROGRAM FILE ARGUMENT... </dev/null`,
read back, and both texts are tokenized with comments skipped. Whitespace tokens are set
aside: which spaces a selector needs is the browser check's question, not one of tokens.
Blocks and functions are flattened into their opening token, their contents and a closing
marker. The only other token the result may lack is a ';' the tool removes on purpose: one
followed, past whitespace and comments, by '}' or by another ';'.

Prints each differing input (name, original, result, first differing token) and a last line
"tokenizer check: N inputs, M differ". Exits non-zero when the expectation fails: with
--expect same any difference, with --expect different none at all; and whenever the
program fails, the corpus holds no inputs or the comparison itself goes wrong on the pairs
of ALIGNMENT_ROWS.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

import tinycss2
import tinycss2.ast as ast

SEMICOLON = ("literal", ";")


def corpus_inputs(path):
    """The corpus's inputs as (name, css) pairs, in its order. index.cjs is
    `module.exports = { testCorpus: {...} }`, and the object is plain JSON."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    start = text.index("{", text.index("testCorpus:"))
    corpus, _ = json.JSONDecoder().raw_decode(text, start)
    return [(name, test["css"]) for name, test in corpus.items()]


# The tokens compared by their kind and these fields. A number's representation is the
# number as written: it holds the value, the sign and whether it is an integer, and a
# minifier that only removes bytes has no reason to touch it.
COMPARED_FIELDS = {
    ast.IdentToken: ("ident", ("value",)),
    ast.AtKeywordToken: ("at-keyword", ("value",)),
    ast.StringToken: ("string", ("value",)),
    ast.URLToken: ("url", ("value",)),
    ast.UnicodeRangeToken: ("unicode-range", ("start", "end")),
    ast.NumberToken: ("number", ("representation",)),
    ast.PercentageToken: ("percentage", ("representation",)),
    ast.DimensionToken: ("dimension", ("representation", "unit")),
}


def flatten(nodes, out):
    """Appends the tokens of a tinycss2 component value list to out, as tuples that compare
    equal when tinycss2 read the same token. On a few of the corpus's inputs tinycss2 1.2.1
    reads other tokens than the corpus expects (an escaped surrogate stays a surrogate, any
    non-ASCII code point may be part of a name, a '\\' before a line break inside url( ) is a
    plain byte); it reads an original and its result by the same rules, so this compares
    like with like."""
    for node in nodes:
        if isinstance(node, ast.WhitespaceToken):
            continue
        if isinstance(node, ast.LiteralToken):
            # tinycss2 joins '~=', '|=', '^=', '$=', '*=' and '||' into one literal; CSS
            # Syntax reads two delims, so '|/**/|' (which becomes '||' without its comment)
            # is the same tokens as '||'. '<!--' and '-->' are real tokens (CDO, CDC).
            if node.value in ("<!--", "-->"):
                out.append(("literal", node.value))
            else:
                out.extend(("literal", c) for c in node.value)
        elif isinstance(node, ast.HashToken):
            out.append(("hash", node.value, "id" if node.is_identifier else "unrestricted"))
        elif type(node) in COMPARED_FIELDS:
            kind, fields = COMPARED_FIELDS[type(node)]
            out.append((kind, *(getattr(node, field) for field in fields)))
        elif isinstance(node, ast.FunctionBlock):
            out.append(("function", node.name))
            flatten(node.arguments, out)
            out.append(("close", ")"))
        elif isinstance(node, (ast.ParenthesesBlock, ast.SquareBracketsBlock,
                               ast.CurlyBracketsBlock)):
            pair = {ast.ParenthesesBlock: "()", ast.SquareBracketsBlock: "[]",
                    ast.CurlyBracketsBlock: "{}"}[type(node)]
            out.append(("open", pair[0]))
            flatten(node.content, out)
            # A block left open at the end of the text gets its marker too: tinycss2 does
            # not say whether the closing byte was there.
            out.append(("close", pair[1]))
        elif isinstance(node, ast.ParseError):
            # bad-string, bad-url, eof-in-string, eof-in-url, or a '}', ']' or ')' that
            # closes nothing: each stands where the tokenizer met it.
            out.append(("parse-error", node.kind))
        else:
            raise TypeError("unexpected tinycss2 node %r" % node)
    return out


def tokens(css):
    return flatten(tinycss2.parse_component_value_list(css, skip_comments=True), [])


def ends_semicolon_run(token):
    """Whether a ';' followed by this token is one the tool removes on purpose."""
    return token in (("close", "}"), ("parse-error", "}"))


def first_difference(original, result):
    """None when result is original without some of its removable ';', else the indexes
    (in original, in result) of the first tokens that differ."""
    i = j = 0
    while True:
        if i < len(original) and original[i] == SEMICOLON:
            # A run of ';' (whitespace and comments aside) lines up with the result's run at
            # the same place: every ';' but the last is followed by another, and the last
            # goes only before a '}'.
            run = i
            while run < len(original) and original[run] == SEMICOLON:
                run += 1
            count = run - i
            removable = count if run < len(original) and ends_semicolon_run(original[run]) \
                else count - 1
            kept = 0
            while j + kept < len(result) and result[j + kept] == SEMICOLON:
                kept += 1
            if kept > count:
                return run, j + count
            if kept < count - removable:
                return i + kept, j + kept
            i, j = run, j + kept
            continue
        if i == len(original) and j == len(result):
            return None
        if i == len(original) or j == len(result) or original[i] != result[j]:
            return i, j
        i += 1
        j += 1


# Pairs of texts that the comparison must find the same (True) or different (False), checked
# before every run: the ';' a result may lack and those it may not, two delims tinycss2
# joins, and a bad string.
ALIGNMENT_ROWS = [
    ("a{b:c;}", "a{b:c}", True),
    ("a{b:c ; /**/ }", "a{b:c}", True),
    ("a{b:c;;d:e;;}", "a{b:c;d:e}", True),
    ("a{b;;}", "a{b;}", True),
    ("a;}", "a}", True),
    ("a{b:c;d:e}", "a{b:cd:e}", False),
    ("a{b:c}", "a{b:c;}", False),
    ("a{b;c}", "a{b;;c}", False),
    ("a;", "a", False),
    ("f(a;)", "f(a)", False),
    ("[a;]", "[a]", False),
    ("a|/**/|b", "a||b", True),
    ('"a\n', '"a', False),
]


def check_alignment_rows():
    wrong = [(original, result) for original, result, same in ALIGNMENT_ROWS
             if (first_difference(tokens(original), tokens(result)) is None) != same]
    for original, result in wrong:
        print("the comparison of %s with %s went wrong" % (json.dumps(original),
                                                           json.dumps(result)), file=sys.stderr)
    return not wrong


def describe(sequence, index):
    if index >= len(sequence):
        return "the end"
    kind, *fields = sequence[index]
    return "%s %s (token %d)" % (kind, " ".join(json.dumps(f, ensure_ascii=False)
                                                for f in fields), index + 1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--expect", choices=("same", "different"), required=True)
    parser.add_argument("corpus")
    parser.add_argument("program")
    parser.add_argument("arguments", nargs="*")
    options = parser.parse_args()

    if not check_alignment_rows():
        return 1
    inputs = corpus_inputs(options.corpus)
    if not inputs:
        print("the corpus %s holds no inputs" % options.corpus, file=sys.stderr)
        return 1
    differing = 0
    with tempfile.TemporaryDirectory() as work:
        for number, (name, css) in enumerate(inputs):
            copy = os.path.join(work, "%d.css" % number)
            original_bytes = css.encode("utf-8")
            with open(copy, "wb") as f:
                f.write(original_bytes)
            run = subprocess.run([options.program, copy, *options.arguments],
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, timeout=60)
            if run.returncode != 0:
                sys.stderr.write(run.stderr.decode("utf-8", "replace"))
                print("%s failed on %s (exit status %d)" % (options.program, name,
                                                             run.returncode), file=sys.stderr)
                return 1
            with open(copy, "rb") as f:
                result_bytes = f.read()
            try:
                result = result_bytes.decode("utf-8")
            except UnicodeDecodeError as error:
                where = "the result is no longer UTF-8 (%s)" % error
            else:
                original_tokens, result_tokens = tokens(css), tokens(result)
                found = first_difference(original_tokens, result_tokens)
                if found is None:
                    continue
                where = "first difference: original has %s, result has %s" % (
                    describe(original_tokens, found[0]), describe(result_tokens, found[1]))
            differing += 1
            print("-- %s" % name)
            print("   original: %s" % json.dumps(css, ensure_ascii=False))
            print("   result:   %s" % json.dumps(result_bytes.decode("utf-8", "replace"),
                                                 ensure_ascii=False))
            print("   %s" % where)

    print("tokenizer check: %d inputs, %d differ" % (len(inputs), differing))
    if options.expect == "same" and differing > 0:
        print("%d inputs read as other tokens after minifying" % differing, file=sys.stderr)
        return 1
    if options.expect == "different" and differing == 0:
        print("no input differs, so this check would not notice what %s does to them" %
              " ".join([os.path.basename(options.program), *options.arguments]),
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
