"""The snippets of docs/hosts.md for other languages are taken from
examples/: each of its blocks in those languages must appear, line for line
(indentation aside), in that language's example, up to the C++ section.
usage: readme_examples_test.py SOURCE_DIR"""
import os
import re
import sys

EXAMPLES = {
    "csharp": "csharp/Program.cs",
    "java": "java/DecodeAndRepair.java",
    "js": "node/decode_and_repair.js",
    "rust": "rust/src/main.rs",
    "go": "go/main.go",
}


def stripped(lines):
    return [line.strip() for line in lines]


def main():
    src = sys.argv[1]
    text = open(os.path.join(src, "docs", "hosts.md"), encoding="utf-8").read()
    # The sections from C++ on (its whole program, the calling conventions)
    # are tested elsewhere or are declarations only.
    text = text.split("\n## C++\n")[0]
    failures, seen = [], set()
    for block in re.finditer(r"^```(\w+)\n(.*?)^```", text, re.S | re.M):
        language, code = block.group(1), block.group(2)
        if language not in EXAMPLES:
            continue
        seen.add(language)
        path = os.path.join(src, "examples", EXAMPLES[language])
        with open(path, encoding="utf-8") as example:
            have = stripped(example.read().splitlines())
        want = stripped(code.splitlines())
        if not any(have[i:i + len(want)] == want for i in range(len(have) - len(want) + 1)):
            failures.append("%s: not in %s:\n%s" % (language, path, code))
    missing = set(EXAMPLES) - seen
    if missing:
        failures.append("no snippet for: " + ", ".join(sorted(missing)))
    if failures:
        sys.exit("\n".join(failures))
    print("docs/hosts.md snippets found in examples/:", ", ".join(sorted(seen)))


main()
