// The page side of scripts/run-browser-check.sh. The page holds two stylesheets, base64 in
// <script type="text/plain" id="original"> and id="minified"; this script loads each through
// a <style> element (which, unlike a constructed stylesheet, keeps @import), lists every
// rule as the browser's CSSOM reads it, compares the two lists in order and writes its report, base64 of UTF-8 text so that no markup escaping
// gets in the way, into the element "report": a first line with the counts, or one that
// starts "error:". A page that writes neither fails the check too.
'use strict';

(function () {
  function decode_base64(base64) {
    const binary = atob(base64.trim());
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return new TextDecoder('utf-8').decode(bytes);
  }

  function encode_base64(text) {
    const bytes = new TextEncoder().encode(text);
    let binary = '';
    for (let i = 0; i < bytes.length; i += 0x8000) {
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    }
    return btoa(binary);
  }

  // Chromium keeps some text as the author wrote it, comments and spacing included: custom
  // property values, values holding var(), attr() or env(), conditions, @property's
  // initial-value. Those are compared as token streams, with this rule for whitespace
  // (comments count as whitespace, since they separate tokens as whitespace does):
  //   - a run of whitespace counts as one space, wherever it is;
  //   - none counts at either end of the text;
  //   - none counts next to ',' ';' '{' '}' '/', right after '(' or right before ')': the
  //     grammar never reads it there;
  //   - none counts next to ':', except inside selector(...), where a space before ':' is a
  //     descendant combinator and one after it makes the selector invalid;
  //   - every other space counts. So a space before '(' counts ("not (" is a keyword and a
  //     block, "not(" a function), one after ')' counts (")and" is not ") and", ") td" is a
  //     descendant), and so do those around '+' and '-' (calc needs them).
  // Strings and escaped characters are copied as they are; the '(' or ')' of an escape or
  // inside a string is no parenthesis.
  const quiet_after = new Set([',', ';', '{', '}', '/', '(']);
  const quiet_before = new Set([',', ';', '{', '}', '/', ')']);

  function is_name_character(c) {
    return /[A-Za-z0-9_-]/.test(c) || c.charCodeAt(0) >= 0x80;
  }

  function token_stream(text) {
    let out = '';
    let last = '';        // the last character written, '' at the start, 'a' for a string or escape
    let space = false;    // whitespace or a comment since then
    let name = '';        // the name characters written just before, with no space between
    const in_selector = [];  // per open '(': whether it opened selector( or sits inside one

    function space_counts(next) {
      if (last === '' || quiet_after.has(last) || quiet_before.has(next)) return false;
      if (last === ':' || next === ':') return in_selector.length > 0 && in_selector[in_selector.length - 1];
      return true;
    }
    function write(piece, as) {
      if (space && space_counts(as)) out += ' ';
      space = false;
      out += piece;
      last = as;
    }

    const length = text.length;
    let i = 0;
    while (i < length) {
      const c = text[i];
      if (c === '/' && text[i + 1] === '*') {
        const end = text.indexOf('*/', i + 2);
        i = end < 0 ? length : end + 2;
        space = true;
        name = '';
      } else if (c === ' ' || c === '\t' || c === '\n' || c === '\r' || c === '\f') {
        space = true;
        name = '';
        ++i;
      } else if (c === '"' || c === "'") {
        let j = i + 1;
        while (j < length && text[j] !== c && text[j] !== '\n') j += text[j] === '\\' ? 2 : 1;
        j = Math.min(j + 1, length);
        write(text.slice(i, j), 'a');
        name = '';
        i = j;
      } else if (c === '\\') {
        write(text.slice(i, i + 2), 'a');
        name += text.slice(i, i + 2);
        i += 2;
      } else {
        const opens_selector = c === '(' && !space && name.toLowerCase() === 'selector';
        write(c, c);
        if (c === '(') {
          in_selector.push(opens_selector || (in_selector.length > 0 && in_selector[in_selector.length - 1]));
        } else if (c === ')') {
          in_selector.pop();
        }
        name = is_name_character(c) ? name + c : '';
        ++i;
      }
    }
    return out;
  }

  function is_raw_value(property, value) {
    return property.startsWith('--') || /(?:var|attr|env)\(/i.test(value);
  }

  // The rule's own fields that name or select it, or that hold its descriptors (@property,
  // @counter-style, @font-feature-values, @font-palette-values, @import, the bounds of
  // @scope), and whether each is kept as written.
  const header_fields = [
    ['selectorText', false], ['conditionText', true], ['name', false], ['keyText', false],
    ['nameList', false], ['containerName', false], ['containerQuery', true],
    ['syntax', false], ['inherits', false], ['initialValue', true],
    ['start', false], ['end', false], ['prefix', false], ['namespaceURI', false],
    ['href', false], ['media', true], ['layerName', false], ['supportsText', true],
    ['system', false], ['symbols', false], ['additiveSymbols', false], ['negative', false],
    ['suffix', false], ['range', false], ['pad', false], ['speakAs', false], ['fallback', false],
    ['fontFamily', false], ['basePalette', false], ['overrideColors', false],
    ['annotation', false], ['ornaments', false], ['stylistic', false], ['swash', false],
    ['characterVariant', false], ['styleset', false],
  ];

  // The rule's text without the text of the rules nested in it, which have entries of their
  // own.
  function own_text(rule) {
    let text = rule.cssText;
    for (const child of rule.cssRules || []) {
      const inner = child.cssText;
      const at = text.indexOf(inner);
      if (at >= 0) text = text.slice(0, at) + text.slice(at + inner.length);
    }
    return text;
  }

  // The rule's kind, its fields, and its own text as a token stream: the fields read what
  // the CSSOM understood, the text whatever it kept that no field shows.
  function header_of(rule) {
    const header = [rule.constructor.name];
    for (const [field, raw] of header_fields) {
      if (!(field in rule)) continue;
      let value = rule[field];
      if (value === null || value === undefined) value = '';
      if (typeof value === 'object') value = Array.from(value).join(',');
      value = String(value);
      header.push(field + '=' + (raw ? token_stream(value) : value));
    }
    header.push('text=' + token_stream(own_text(rule)));
    return header;
  }

  // Each declaration as longhand, value, priority. A shorthand holding var() leaves its
  // longhands empty until the values are known; the block's text, which keeps it as
  // written, then stands for them.
  function declarations_of(style) {
    const declarations = [];
    let pending = false;
    for (let i = 0; i < style.length; ++i) {
      const property = style[i];
      let value = style.getPropertyValue(property);
      if (value === '') pending = true;
      if (is_raw_value(property, value)) value = token_stream(value);
      declarations.push([property, value, style.getPropertyPriority(property)]);
    }
    if (pending) declarations.push(['(block text)', token_stream(style.cssText), '']);
    return declarations;
  }

  // One entry per rule, in order, depth first. An entry holds the headers of the rules
  // around it, so that a rule whose condition or selector changed changes every rule inside.
  function list_rules(rules, around, entries) {
    for (const rule of rules) {
      const header = header_of(rule);
      const declarations = rule.style ? declarations_of(rule.style) : [];
      entries.push(JSON.stringify({ within: around, rule: header, declarations }));
      if (rule.cssRules) list_rules(rule.cssRules, around.concat([header.join(' ')]), entries);
    }
    return entries;
  }

  // The number of entries in the longest common subsequence of a and b, by Myers' greedy
  // search for the shortest edit script (time about (a + b) * edits, memory a + b).
  function common_length(a, b) {
    const n = a.length;
    const m = b.length;
    const max = n + m;
    const furthest = new Int32Array(2 * max + 3);
    for (let edits = 0; edits <= max; ++edits) {
      for (let k = -edits; k <= edits; k += 2) {
        const down = k === -edits || (k !== edits && furthest[max + k - 1] < furthest[max + k + 1]);
        let x = down ? furthest[max + k + 1] : furthest[max + k - 1] + 1;
        let y = x - k;
        while (x < n && y < m && a[x] === b[y]) {
          ++x;
          ++y;
        }
        furthest[max + k] = x;
        if (x >= n && y >= m) return (n + m - edits) / 2;
      }
    }
    return 0;
  }

  // Entries of from that to lacks, counted with repetition, at most limit of them.
  function missing_from(from, to, limit) {
    const left = new Map();
    for (const entry of to) left.set(entry, (left.get(entry) || 0) + 1);
    const missing = [];
    for (const entry of from) {
      const count = left.get(entry) || 0;
      if (count > 0) left.set(entry, count - 1);
      else if (missing.length < limit) missing.push(entry);
    }
    return missing;
  }

  function rules_of(id) {
    const style = document.createElement('style');
    style.textContent = decode_base64(document.getElementById(id).textContent);
    document.head.appendChild(style);
    return list_rules(style.sheet.cssRules, [], []);
  }

  // The two subtle parts on small cases, before they are trusted with the stylesheets: a
  // slip in either could hide a difference. Throws at the first case that goes wrong.
  function check_own_rules() {
    // [text, text, whether the token rule finds them equal]
    const token_rows = [
      ['  a  ,  b  ', 'a,b', true], ['f( a , b )', 'f(a,b)', true], ['a / b', 'a/b', true],
      ['(a : b) { c ; }', '(a:b){c;}', true], ['a\n\tb', 'a b', true], ['a /* c */ , b', 'a,b', true],
      ['not (a)', 'not(a)', false], ['(a) and (b)', '(a)and (b)', false],
      ['calc(var(--a) + var(--b))', 'calc(var(--a)+ var(--b))', false],
      ['calc(100% - (2 * 1rem))', 'calc(100% -(2 * 1rem))', false], ['a + b', 'a +b', false],
      ['selector(.a :hover)', 'selector(.a:hover)', false],
      ['selector(:is(.a) :b)', 'selector(:is(.a):b)', false],
      ['selector(.a) :b', 'selector(.a):b', true], ['selector (.a :b)', 'selector (.a:b)', true],
      ['"a  ( b"', '"a (b"', false], ['a\\( b', 'a\\(b', false], ['a/**/b', 'ab', false],
    ];
    for (const [a, b, equal] of token_rows) {
      if ((token_stream(a) === token_stream(b)) !== equal) {
        throw new Error('token rule on ' + a + ' | ' + b + ': ' + token_stream(a) + ' | ' + token_stream(b));
      }
    }
    // [list, list, length of their longest common subsequence]
    const common_rows = [
      [['a', 'b', 'c'], ['a', 'c'], 2], [[], ['x'], 0], [['a', 'b'], ['b', 'a'], 1],
      [['a', 'b', 'c', 'd'], ['x', 'b', 'y', 'd'], 2], [['a', 'a'], ['a', 'a', 'a'], 2],
    ];
    for (const [a, b, expected] of common_rows) {
      if (common_length(a, b) !== expected) throw new Error('common length of ' + a + ' and ' + b);
    }
  }

  function compare() {
    check_own_rules();
    const original = rules_of('original');
    const minified = rules_of('minified');
    const common = common_length(original, minified);
    // A rule differs when it has no equal partner in the other list, partners matched in
    // order; a changed rule leaves one unmatched entry on each side and counts once.
    const differing = Math.max(original.length - common, minified.length - common);
    const lines = ['rules ' + original.length + ' minified ' + minified.length + ' differing ' + differing];
    for (const entry of missing_from(original, minified, 10)) lines.push('- ' + entry);
    for (const entry of missing_from(minified, original, 10)) lines.push('+ ' + entry);
    return lines.join('\n') + '\n';
  }

  let report;
  try {
    report = compare();
  } catch (error) {
    report = 'error: ' + error.message + '\n';
  }
  document.getElementById('report').textContent = encode_base64(report);
})();
